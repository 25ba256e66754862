#include "app/environment.h"

#include "platform/os.h"

namespace nimbus {

TEnvironment TEnvironment::FromSystem(std::vector<std::string> arguments) {
  TEnvironment env;
  env.ExecutableFolder = [] { return os::ExecutableFolder(); };
  env.LogFallbackFolder = [] {
    const std::string state = os::UserStateFolder();
    return state.empty() ? state : state + "/nimbus-scripts";
  };
  env.ProgramFilesFolder = [] { return os::ProgramFilesFolder(); };
  env.Now = [] { return std::time(nullptr); };
  env.ShellOpen = [](const std::string& path) { return os::ShellOpen(path); };
  env.Arguments = std::move(arguments);
  return env;
}

} // namespace nimbus
