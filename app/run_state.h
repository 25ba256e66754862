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

// The state of the one run this process makes.
struct TRunState {
  // Full script paths in run order, lower-cased; released when the main
  // window closes (null afterwards).
  std::unique_ptr<std::vector<std::string>> ScriptList =
      std::make_unique<std::vector<std::string>>();
  std::vector<std::string> LabelList; // one label per script, may be empty
  std::string LogFileName;
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
};

} // namespace nimbus
