#pragma once

#include <string>
#include <vector>

#include "app/run_state.h"

namespace nimbus {

class TIniFile;
class TRunLog;
class Ui;
struct TEnvironment;

// Fills the station settings from "orvan.conf" in the product folder under
// the program-files folder; defaults when the file is missing.
void ReadStationSettings(TRunState& state, const TEnvironment& env);

// The path of an existing file for `name`: beside the executable first (for
// a relative name), else `name` as given; empty when neither is a file.
std::string ResolvePath(const std::string& name, const std::string& executableFolder);

// The command-line argument's file: `Real` as found by ResolvePath, `Shown`
// its lower-cased form; both empty when no file was found.
TScriptPath ResolveArgument(const std::string& argument, const std::string& executableFolder);

// ".sql" or ".rhtz" after the last "." of the file-name part: one script
// rather than a run description.
bool IsScriptPath(const std::string& path);

// Section "configuration" read key by key into the run options, so "ip" and
// "port" default to the station settings already in `state`.
void ReadRunOptions(const TIniFile& ini, TRunState& state);

// One entry of section "scripts": key=path[;label].
struct TScriptEntry {
  std::string Key;
  std::string Value; // whole, as written
  std::string Label; // everything after the first ";"
  // The path part resolved by ResolvePath; empty when no file was found.
  std::string Resolved;
};
// The entries of section "scripts" in file order, duplicates included.
std::vector<TScriptEntry> ReadScriptEntries(const TIniFile& ini,
                                            const std::string& executableFolder);

// The server-only rule: refused unless the server address is exactly
// "127.0.0.1".
bool ServerOnlyRefuses(const TRunState& state);

// Interprets the command-line argument: a run description or one script.
// Fills the run options and lists and writes the first log lines. Returns
// false when the server-only rule refused the run; the main window has then
// been closed.
bool ReadRunDescription(const std::string& argument, TRunState& state, TRunLog& log, Ui& ui,
                        const TEnvironment& env);

} // namespace nimbus
