#pragma once

#include <exception>
#include <functional>
#include <memory>

#include "app/environment.h"
#include "app/run_log.h"
#include "app/run_state.h"
#include "fib/database.h"
#include "fib/transaction.h"
#include "platform/component.h"
#include "platform/ui.h"

namespace nimbus {

// The main window and the one run it drives: start-up step, run loop over
// the scripts with its progress dialog and cancel, and the shutdown
// sequence. Everything runs on the UI thread; re-entrancy comes only from
// message dispatching.
class TForm1 : public TComponent {
public:
  // Creates the window state (the creation handler).
  TForm1(Ui& ui, TEnvironment env, TComponent* owner = nullptr);
  ~TForm1() override;

  void FormCreate();
  void Timer1Timer();
  void RunScripts();
  void JvProgressDialog1Cancel();
  void bQuitClick();
  void FormClose();
  void WaitPumping(std::uint32_t Milliseconds);

  void LogLine(const std::string& text, bool show) { log_.LogLine(text, show); }
  std::int32_t TimedMessageDlg(const std::string& Msg, TMsgDlgType DlgType, TMsgDlgButtons Buttons,
                               std::int32_t Seconds);

  // The per-script work on the script named in Edit1.
  std::function<void()> bExecClick;

  // Owned by the window for the life of the process.
  TpFIBDatabase* dbNimbus = nullptr;
  TpFIBTransaction* TransNimbus = nullptr;

  TRunState State;
  Ui& ui() { return ui_; }
  IMainWindow& Window() { return ui_.MainWindow(); }
  IProgressDialog& JvProgressDialog1() { return *progress_; }
  ITimer& Timer1() { return *timer1_; }
  const TEnvironment& Environment() const { return env_; }
  bool Running() const { return running_; }

private:
  void OnCloseRequest();

  Ui& ui_;
  TEnvironment env_;
  TRunLog log_;
  std::unique_ptr<ITimer> timer1_;
  std::unique_ptr<IProgressDialog> progress_;
  bool running_ = false;
};

} // namespace nimbus
