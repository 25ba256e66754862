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
  // Ends the process at once with the exit code, without the shutdown. A
  // test's hook may return: the caller then raises TProcessEnded.
  std::function<void(int)> EndProcess;
  // The system's own client library ("libfbclient.so.2") when it loads, else
  // empty text: the last place the client library is looked for.
  std::function<std::string()> SystemClientLibrary;
  // The command-line arguments after the program name.
  std::vector<std::string> Arguments;

  static TEnvironment FromSystem(std::vector<std::string> arguments);
};

// Raised where the process was to end at once but the EndProcess hook
// returned. It passes through the run without the shutdown sequence; not an
// std::exception, so that no handler of ordinary errors takes it.
struct TProcessEnded {
  int ExitCode = 0;
};

} // namespace nimbus
