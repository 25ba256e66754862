#include <cstdio>
#include <cstring>
#include <exception>
#include <memory>
#include <string>
#include <vector>

#include "app/main_window.h"
#include "app/usage.h"
#include "fib/access_layer.h"
#include "fib/client_library.h"
#include "fib/database.h"
#include "platform/display.h"
#include "platform/os.h"
#include "platform/ui.h"

namespace {

// Shows an error that ended the run, the way the window system's default
// handler would.
void ShowError(nimbus::Ui& ui, const std::string& message) {
  auto dialog = ui.CreateMessageDialog(message, nimbus::mtError, nimbus::ButtonBit(nimbus::mbOK));
  dialog->ShowModal();
}

} // namespace

int main(int argc, char** argv) {
  // Answered before anything else runs: no window, no log, no database.
  if (const auto text = nimbus::InformationRequested({argv + 1, argv + argc})) {
    if (std::fputs(text->c_str(), stdout) >= 0 && std::fflush(stdout) == 0)
      return 0;
    std::fputs("nimbus-scripts: cannot write to standard output\n", stderr);
    return 1;
  }
  // "--console" picks the console window system; every other word is the
  // command line the run sees.
  bool console = false;
  std::vector<char*> args{argv[0]};
  std::vector<std::string> arguments;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--console") == 0) {
      console = true;
      continue;
    }
    args.push_back(argv[i]);
    arguments.emplace_back(argv[i]);
  }
  // The access layer's process-wide state exists before the main window.
  nimbus::InitAccessLayer();

  int qtArgc = static_cast<int>(args.size());
  args.push_back(nullptr);
  nimbus::os::SetCommandLine(qtArgc, args.data());

  std::unique_ptr<nimbus::Ui> ui;
  if (!console) {
    const nimbus::TDisplayProbe display = nimbus::ProbeDisplay();
    if (display.Usable)
      ui = nimbus::CreateQtUi(qtArgc, args.data());
    else if (!display.Named.empty())
      std::fprintf(stderr, "nimbus-scripts: no display can be opened (%s); console mode\n",
                   display.Named.c_str());
  }
  const bool consoleUi = !ui;
  if (!ui)
    ui = nimbus::CreateConsoleUi();
  ui->SetApplicationTitle("Excuteur de scripts");
  int exitCode = nimbus::kExitApplied;
  std::unique_ptr<nimbus::TForm1> form;
  try {
    form = std::make_unique<nimbus::TForm1>(*ui, nimbus::TEnvironment::FromSystem(arguments));
    form->Window().Show();
    exitCode = ui->Run();
    nimbus::CloseAllDatabases();
  } catch (const std::exception& error) {
    ShowError(*ui, error.what());
    exitCode = nimbus::kExitFailed;
  } catch (...) {
    ShowError(*ui, "Unknown error");
    exitCode = nimbus::kExitFailed;
  }
  // One line a shell or a scheduler can read, after everything else.
  if (consoleUi && form) {
    const std::string summary = form->SummaryLine();
    if (!summary.empty())
      std::printf("%s\n", summary.c_str());
  }
  form.reset();
  nimbus::ShutdownClientLibraries(200);
  nimbus::os::CheckLeaksNow();
  return exitCode;
}
