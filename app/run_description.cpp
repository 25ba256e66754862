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

} // namespace

bool IsScriptPath(const std::string& path) {
  const auto slash = path.rfind(os::kPathSeparator);
  const auto dot = path.rfind('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash))
    return false;
  const std::string extension = path.substr(dot);
  return extension == ".sql" || extension == ".rhtz";
}

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

TScriptPath ResolveArgument(const std::string& argument, const std::string& executableFolder) {
  // Shown lower-cased, but opened as found: the lower-cased name may be
  // another file, or none.
  const std::string real = ResolvePath(argument, executableFolder);
  return {AnsiLowerCase(real), real};
}

void ReadRunOptions(const TIniFile& ini, TRunState& state) {
  state.StationSettings.DatabaseAlias = ini.ReadString(kConfiguration, "base", "nimbus_gestion");
  state.StationSettings.ServerAddress =
      ini.ReadString(kConfiguration, "ip", state.StationSettings.ServerAddress);
  state.StationSettings.Port = ini.ReadInteger(kConfiguration, "port", state.StationSettings.Port);
  state.CentreId = ini.ReadInteger(kConfiguration, "centre", 1000);
  state.DebugMode = ini.ReadBool(kConfiguration, "param1", false);
  state.SilentMode = ini.ReadBool(kConfiguration, "param2", false);
  state.ServerOnly = ini.ReadBool(kConfiguration, "param3", false);
  state.WaitMode = ini.ReadBool(kConfiguration, "wait", false);
}

std::vector<TScriptEntry> ReadScriptEntries(const TIniFile& ini,
                                            const std::string& executableFolder) {
  std::vector<TScriptEntry> entries;
  for (auto& [key, value] : ini.ReadSectionPairs("scripts")) {
    const auto semicolon = value.find(';');
    TScriptEntry entry;
    entry.Resolved = ResolvePath(value.substr(0, semicolon), executableFolder);
    entry.Label = semicolon == std::string::npos ? std::string() : value.substr(semicolon + 1);
    entry.Key = std::move(key);
    entry.Value = std::move(value);
    entries.push_back(std::move(entry));
  }
  return entries;
}

bool ServerOnlyRefuses(const TRunState& state) {
  return state.ServerOnly && state.StationSettings.ServerAddress != "127.0.0.1";
}

bool ReadRunDescription(const std::string& argument, TRunState& state, TRunLog& log, Ui& ui,
                        const TEnvironment& env) {
  ReadStationSettings(state, env);
  state.CentreId = 1000;
  state.SilentMode = false;
  state.DebugMode = false;

  const TScriptPath path = ResolveArgument(argument, env.ExecutableFolder());
  if (path.Shown.empty()) {
    TimedMessageDlg(ui,
                    texts::kNoFileFound + "\n\r" + std::to_string(env.Arguments.size()) + "\n\r" +
                        (env.Arguments.empty() ? std::string() : env.Arguments.front()),
                    mtInformation, ButtonBit(mbOK), 6);
    return true;
  }

  if (IsScriptPath(path.Shown)) {
    log.CreateLogFile();
    log.LogLine("ajout fichier " + path.Shown, true);
    state.ScriptList->push_back(path);
    state.LabelList.push_back(texts::kSingleScriptLabel);
    return true;
  }

  log.CreateLogFile();
  const TIniFile ini(path.Real);
  ReadRunOptions(ini, state);

  const std::string now = TimePrefix(env.Now());
  log.LogLine(now + " transaction " + (state.WaitMode ? "\"Wait\"" : "\"no Wait\""), true);

  for (const TScriptEntry& entry : ReadScriptEntries(ini, env.ExecutableFolder())) {
    if (entry.Resolved.empty()) {
      log.LogLine(TimePrefix(env.Now()) + texts::kNotFoundPrefix + entry.Key + "=" + entry.Value,
                  true);
      ++state.Tally.Skipped;
      continue;
    }
    state.ScriptList->push_back({entry.Resolved, entry.Resolved});
    state.LabelList.push_back(entry.Label);
    log.LogLine(TimePrefix(env.Now()) + "-Added : " + entry.Resolved, false);
  }

  if (ServerOnlyRefuses(state)) {
    state.SilentMode = true;
    log.LogLine("# Ce poste n'est pas un serveur, aucune action.", true);
    ui.MainWindow().Close();
    return false;
  }
  return true;
}

} // namespace nimbus
