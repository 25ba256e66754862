#pragma once

#include <sys/wait.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>

namespace nimbus::test {

// A command-line program run whole: exit status, standard output and
// standard error.
struct ToolRun {
  int status = -1; // -1 when it could not be started or did not exit
  std::string out;
  std::string err;
};

// Runs `command` through the shell as it stands; standard error goes through
// the file `errPath`.
inline ToolRun RunTool(const std::string& command, const std::string& errPath) {
  ToolRun run;
  std::FILE* pipe = popen((command + " 2>'" + errPath + "'").c_str(), "r");
  if (!pipe)
    return run;
  char buffer[4096];
  for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;)
    run.out.append(buffer, n);
  const int status = pclose(pipe);
  run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  std::ifstream in(errPath, std::ios::binary);
  run.err.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return run;
}

} // namespace nimbus::test
