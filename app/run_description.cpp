#include "app/run_description.h"

#include "app/environment.h"
#include "app/run_log.h"
#include "app/run_state.h"
#include "app/texts.h"
#include "app/timed_message.h"
#include "platform/ini_file.h"
#include "platform/os.h"
#include "platform/text.h"

namespace nimbus {

namespace {

const char kConfiguration[] = "configuration";

// ".sql" or ".rhtz" after the last "." of the file-name part.
bool IsScriptPath(const std::string& path) {
  const auto slash = path.rfind(os::kPathSeparator);
  const auto dot = path.rfind('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash))
    return false;
  const std::string extension = path.substr(dot);
  return extension == ".sql" || extension == ".rhtz";
}

} // namespace

void ReadStationSettings(TRunState& state, const TEnvironment& env) {
  state.StationSettings = TConfigOrvan{};
  state.ProgramFilesFolder = env.ProgramFilesFolder();
  const std::string stationFile =
      state.ProgramFilesFolder + "/orvan system/program/" + "orvan.conf";
  if (!os::FileExists(stationFile))
    return;
  const TIniFile ini(stationFile);
  state.StationSettings.ServerAddress = ini.ReadString("Configuration", "IPServeur", "127.0.0.1");
  state.StationSettings.Port = ini.ReadInteger("Configuration", "PortDonnee", 3050);
}

std::string ResolvePath(const std::string& name, const std::string& executableFolder) {
  if (name.empty())
    return "";
  // An absolute name stands for itself; gluing the folder in front of it
  // would name another file.
  if (name[0] != os::kPathSeparator) {
    const std::string beside = executableFolder + os::kPathSeparator + name;
    if (os::FileExists(beside))
      return beside;
  }
  return os::FileExists(name) ? name : "";
}

bool ReadRunDescription(const std::string& argument, TRunState& state, TRunLog& log, Ui& ui,
                        const TEnvironment& env) {
  ReadStationSettings(state, env);
  state.CentreId = 1000;
  state.SilentMode = false;
  state.DebugMode = false;

  // Shown lower-cased, but opened as found: the lower-cased name may be
  // another file, or none.
  const std::string real = ResolvePath(argument, env.ExecutableFolder());
  const std::string path = AnsiLowerCase(real);
  if (path.empty()) {
    TimedMessageDlg(ui,
                    texts::kNoFileFound + "\n\r" + std::to_string(env.Arguments.size()) + "\n\r" +
                        (env.Arguments.empty() ? std::string() : env.Arguments.front()),
                    mtInformation, ButtonBit(mbOK), 6);
    return true;
  }

  if (IsScriptPath(path)) {
    log.CreateLogFile();
    log.LogLine("ajout fichier " + path, true);
    state.ScriptList->push_back({path, real});
    state.LabelList.push_back(texts::kSingleScriptLabel);
    return true;
  }

  log.CreateLogFile();
  const TIniFile ini(real);
  state.StationSettings.DatabaseAlias = ini.ReadString(kConfiguration, "base", "nimbus_gestion");
  state.StationSettings.ServerAddress =
      ini.ReadString(kConfiguration, "ip", state.StationSettings.ServerAddress);
  state.StationSettings.Port = ini.ReadInteger(kConfiguration, "port", state.StationSettings.Port);
  state.CentreId = ini.ReadInteger(kConfiguration, "centre", 1000);
  state.DebugMode = ini.ReadBool(kConfiguration, "param1", false);
  state.SilentMode = ini.ReadBool(kConfiguration, "param2", false);
  state.ServerOnly = ini.ReadBool(kConfiguration, "param3", false);
  state.WaitMode = ini.ReadBool(kConfiguration, "wait", false);

  const std::string now = TimePrefix(env.Now());
  log.LogLine(now + " transaction " + (state.WaitMode ? "\"Wait\"" : "\"no Wait\""), true);

  for (const auto& [key, value] : ini.ReadSectionPairs("scripts")) {
    const auto semicolon = value.find(';');
    const std::string pathPart = value.substr(0, semicolon);
    const std::string label =
        semicolon == std::string::npos ? std::string() : value.substr(semicolon + 1);
    const std::string resolved = ResolvePath(pathPart, env.ExecutableFolder());
    if (resolved.empty()) {
      log.LogLine(TimePrefix(env.Now()) + texts::kNotFoundPrefix + key + "=" + value, true);
      continue;
    }
    state.ScriptList->push_back({resolved, resolved});
    state.LabelList.push_back(label);
    log.LogLine(TimePrefix(env.Now()) + "-Added : " + resolved, false);
  }

  if (state.ServerOnly && state.StationSettings.ServerAddress != "127.0.0.1") {
    state.SilentMode = true;
    log.LogLine("# Ce poste n'est pas un serveur, aucune action.", true);
    ui.MainWindow().Close();
    return false;
  }
  return true;
}

} // namespace nimbus
