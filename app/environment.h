#pragma once

#include <ctime>
#include <functional>
#include <string>
#include <vector>

namespace nimbus {

// What the run takes from the machine it runs on. The defaults ask the
// operating system; tests put their own folders, clock and shell in place.
struct TEnvironment {
  std::function<std::string()> ExecutableFolder;
  // Where the log goes when the executable's folder takes no file (installed
  // in /usr/bin, say): nimbus-scripts in the user's state folder; empty text
  // when the user has none.
  std::function<std::string()> LogFallbackFolder;
  std::function<std::string()> ProgramFilesFolder;
  std::function<std::time_t()> Now;
  // Starts a program detached; false when it could not be started.
  std::function<bool(const std::string&)> ShellOpen;
  // The command-line arguments after the program name.
  std::vector<std::string> Arguments;

  static TEnvironment FromSystem(std::vector<std::string> arguments);
};

} // namespace nimbus
