#pragma once

#include <memory>
#include <vector>

#include "platform/ui.h"
#include "platform/ui_support.h"

class QApplication;
class QEventLoop;
class QWidget;

namespace nimbus {

// The window system on Qt Widgets. Quit is our own pending flag rather than
// QCoreApplication::exit, which would also end every modal dialog: only Run's
// loop and the pumps end on it, and a pump takes it as PumpMessages says.
class QtUi : public Ui {
public:
  // Uses the running QApplication when there is one, else creates it from
  // the command line (`argc` must outlive this object).
  QtUi(int& argc, char** argv);
  ~QtUi() override;

  IMainWindow& MainWindow() override;
  std::unique_ptr<IProgressDialog> CreateProgressDialog() override;
  std::unique_ptr<IMessageDialog> CreateMessageDialog(const std::string& text, TMsgDlgType type,
                                                      TMsgDlgButtons buttons) override;
  std::unique_ptr<ISplash> ShowSplash(const std::string& text, bool withImage,
                                      bool overMainWindow) override;
  std::unique_ptr<ITimer> CreateTimer() override;
  std::uint32_t TickCount() override;
  bool PumpMessages(std::uint32_t maxWaitMs, int& exitCode) override;
  void ProcessMessages() override;
  void PostQuit(int exitCode) override;
  // Rethrows, once the loop is left, the first exception a callback threw.
  int Run() override;
  // The application name: Qt's display name would be appended to every
  // window title, which must stay exactly as given.
  void SetApplicationTitle(const std::string& title) override;

  // The main window's widget: parent of the dialogs, and for tests.
  QWidget* MainWidget() const;
  // Runs a callback of the program; see CallbackGuard.
  void Invoke(const std::function<void()>& callback) { guard_.Call(callback); }

  class Window;

private:
  std::unique_ptr<QApplication> app_; // null when the QApplication was there before
  std::unique_ptr<Window> window_;
  std::vector<QEventLoop*> loops_; // Run's and the pumps' loops, innermost last
  PendingQuit quit_;
  CallbackGuard guard_;
};

} // namespace nimbus
