#pragma once

#include <string>

namespace nimbus {

class TRunLog;
class Ui;
struct TEnvironment;
struct TRunState;

// Fills the station settings from "orvan.conf" in the product folder under
// the program-files folder; defaults when the file is missing.
void ReadStationSettings(TRunState& state, const TEnvironment& env);

// The path of an existing file for `name`: beside the executable first (for
// a relative name), else `name` as given; empty when neither is a file.
std::string ResolvePath(const std::string& name, const std::string& executableFolder);

// Interprets the command-line argument: a run description or one script.
// Fills the run options and lists and writes the first log lines. Returns
// false when the server-only rule refused the run; the main window has then
// been closed.
bool ReadRunDescription(const std::string& argument, TRunState& state, TRunLog& log, Ui& ui,
                        const TEnvironment& env);

} // namespace nimbus
