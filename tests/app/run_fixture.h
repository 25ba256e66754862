#pragma once

#include <ctime>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/main_window.h"
#include "platform/scripted_ui.h"
#include "platform/text.h"
#include "tests/support/local_moment.h"
#include "tests/support/temp_dir.h"

namespace nimbus::test {

using Lines = std::vector<std::string>;

// A UTF-8 literal as the program's Windows-1252 text.
inline std::string Ansi(const char* utf8) {
  return Utf8ToCp1252(utf8);
}

// Lines as the log file holds them, each ended by CR LF.
inline std::string Joined(const Lines& lines) {
  std::string out;
  for (const auto& line : lines)
    out += line + "\r\n";
  return out;
}

// A whole run on the scripted window system: the executable's folder is
// <tmp>/bin, the program-files folder <tmp>/pf, the clock stands still at
// 10 Dec 2026 14:03:05, the shell only records what it is asked to open, and
// ending the process only records the exit code.
class RunFixture {
public:
  RunFixture() : now(LocalMoment(2026, 12, 10, 14, 3, 5)) {
    dir.File("bin/.keep");
    dir.File("pf/.keep");
  }

  std::string Bin() const { return dir.Path() + "/bin"; }
  std::string ProgramFiles() const { return dir.Path() + "/pf"; }
  std::string LogPath() const { return Bin() + "/Log101226-140305.txt"; }
  // The log when <tmp>/bin takes no file: the fallback folder is
  // <tmp>/state/nimbus-scripts.
  std::string FallbackLogPath() const {
    return dir.Path() + "/state/nimbus-scripts/Log101226-140305.txt";
  }
  std::string MenuPath() const { return ProgramFiles() + "/orvan system/program/menucirrus"; }

  TEnvironment Environment(std::vector<std::string> arguments) {
    TEnvironment env;
    env.ExecutableFolder = [this] { return Bin(); };
    env.LogFallbackFolder = [this] { return dir.Path() + "/state/nimbus-scripts"; };
    env.ProgramFilesFolder = [this] { return ProgramFiles(); };
    env.Now = [this] { return now; };
    env.ShellOpen = [this](const std::string& path) {
      opened.push_back(path);
      return true;
    };
    env.EndProcess = [this](int code) { endedWith = code; };
    env.SystemClientLibrary = [this] { return systemLibrary; };
    env.Arguments = std::move(arguments);
    return env;
  }

  // Creates the main window and runs the message loop to its end, or until
  // the program ends the process at once. Returns the exit code.
  int Start(std::vector<std::string> arguments) {
    form = std::make_unique<TForm1>(ui, Environment(std::move(arguments)));
    if (!realStep)
      form->bExecClick = [] {};
    if (onForm)
      onForm(*form);
    try {
      return ui.Run();
    } catch (const TProcessEnded& ended) {
      return ended.ExitCode;
    }
  }

  // The main window alone, its start-up timer stopped: for driving one
  // operation of it directly.
  TForm1& Form() {
    form = std::make_unique<TForm1>(ui, Environment({}));
    form->Timer1().SetEnabled(false);
    return *form;
  }

  std::vector<std::string> Memo() { return ui.MainWindow().MemoLines(); }
  std::string Log() const { return ReadFile(LogPath()); }

  TempDir dir;
  std::time_t now;
  ScriptedUi ui;
  std::vector<std::string> opened;
  std::optional<int> endedWith;
  std::string systemLibrary = "libfbclient.so.2";
  std::function<void(TForm1&)> onForm;
  // Without it the run loop's steps do nothing, so that a run reaches no
  // database; tests against the server set it.
  bool realStep = false;
  std::unique_ptr<TForm1> form;
};

} // namespace nimbus::test
