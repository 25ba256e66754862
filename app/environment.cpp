#include "app/environment.h"

#include <exception>

#include "platform/dynamic_library.h"
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
  env.EndProcess = [](int exitCode) { os::EndProcess(exitCode); };
  env.SystemClientLibrary = []() -> std::string {
    static const std::string name = "libfbclient.so.2";
    try {
      DynamicLibrary::Open(name);
      return name;
    } catch (const std::exception&) {
      return {};
    }
  };
  env.Arguments = std::move(arguments);
  return env;
}

} // namespace nimbus
