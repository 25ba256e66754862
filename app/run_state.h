#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace nimbus {

// Station settings: where the database server is.
struct TConfigOrvan {
  std::string ServerAddress = "127.0.0.1";
  std::string DatabaseAlias = "nimbus_gestion";
  std::int32_t Port = 3050; // read and kept; the database name carries no port
};

// A script of the run. The log, Edit1 and the lists show `Shown` (for the
// command-line argument, its path lower-cased); the file is opened, examined
// and deleted by `Real`, the path under which it was found. On a file system
// that tells case apart the shown path may name another file, or none.
struct TScriptPath {
  std::string Shown;
  std::string Real;

  bool operator==(const TScriptPath&) const = default;
};

// How the listed scripts ended, for the exit status and the console's
// closing summary. A script the run description names but that is not found,
// that has expired or that a cancel kept from running counts as skipped.
struct TRunTally {
  bool Started = false; // the run loop was reached
  std::int32_t Applied = 0;
  std::int32_t Failed = 0;
  std::int32_t Skipped = 0;
};

// The state of the one run this process makes.
struct TRunState {
  // The scripts in run order; released when the main window closes (null
  // afterwards).
  std::unique_ptr<std::vector<TScriptPath>> ScriptList =
      std::make_unique<std::vector<TScriptPath>>();
  std::vector<std::string> LabelList; // one label per script, may be empty
  // The script of the current execution step; Edit1 shows its Shown path.
  TScriptPath CurrentScript;
  std::string LogFileName;
  // The same name in the fallback log folder; empty when there is none.
  std::string LogFallbackFileName;
  bool DebugMode = false;
  bool SilentMode = false;
  bool ServerOnly = false;
  bool WaitMode = false;
  std::int32_t CentreId = 1000;
  TConfigOrvan StationSettings;
  std::string ProgramFilesFolder;
  bool CancelRequested = false;
  bool ProgressShown = false;
  bool ContextActivated = false;
  TRunTally Tally;
};

} // namespace nimbus
