#pragma once

#include <exception>
#include <functional>
#include <memory>

#include "app/environment.h"
#include "app/run_log.h"
#include "app/run_state.h"
#include "fib/database.h"
#include "fib/query.h"
#include "fib/transaction.h"
#include "platform/component.h"
#include "platform/ui.h"
#include "script/runner.h"

namespace nimbus {

// Exit statuses of the process, for shells and schedulers.
constexpr int kExitApplied = 0;    // every listed script applied (or the operator's No)
constexpr int kExitFailed = 1;     // a script not applied, or the run ended on an error
constexpr int kExitNotStarted = 2; // no argument, nothing to run

// How one execution step left its script.
enum class TStepOutcome { Applied, Failed, Skipped };

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

  // The per-script work on the script named in Edit1: the execution step,
  // unless a test of the run loop puts its own in place.
  std::function<void()> bExecClick;

  // The connection procedure (connection.cpp). ConnectDatabase returns
  // whether dbNimbus is attached; the operator's refusal to continue beside
  // other users ends the process through Environment().EndProcess.
  bool ConnectDatabase();
  // The accepted candidate's number in Index (-1 when none); writes no log
  // line and never lets a candidate out.
  bool ProbeAdminPassword(std::int32_t& Index);
  // The client library's path, or empty text after logging that none exists.
  std::string LocateClientLibrary();

  // The execution step and its handlers (execution_step.cpp).
  void ExecuteScript();
  void ActivateContext();
  void TransNimbusBeforeStart(TComponent* Sender);
  void pFIBScripter1AfterStatementExecute(TpFIBScripter* Sender, std::int32_t Line,
                                          std::int32_t StatementNo, const TStatementDesc& Desc,
                                          const std::vector<std::string>& Statement);
  void pFIBScripter1ExecuteError(TpFIBScripter* Sender, std::int32_t StatementNo, std::int32_t Line,
                                 const std::vector<std::string>& Statement, std::int32_t SQLCode,
                                 const std::string& Msg, bool& doRollBack, bool& Stop);

  // Owned by the window for the life of the process.
  TpFIBDatabase* dbNimbus = nullptr;
  TpFIBTransaction* TransNimbus = nullptr;
  TpFIBQuery* qContext = nullptr;
  TpFIBScripter* pFIBScripter1 = nullptr;
  // Set by the step when the runner ran the script without an error escaping.
  bool StepSucceeded = false;
  // Set by the step before it returns. The run loop sets Applied before each
  // step, so a step put in place by a test reports success unless it says
  // otherwise; an error escaping a step counts as Failed.
  TStepOutcome StepOutcome = TStepOutcome::Applied;

  // The exit status the run ends with (the kExit values).
  int ExitStatus() const;
  // The console's last line: "nimbus-scripts: N script(s): A applied, F
  // failed, S skipped"; empty when the run loop was never reached.
  std::string SummaryLine() const;

  TRunState State;
  Ui& ui() { return ui_; }
  IMainWindow& Window() { return ui_.MainWindow(); }
  IProgressDialog& JvProgressDialog1() { return *progress_; }
  ITimer& Timer1() { return *timer1_; }
  const TEnvironment& Environment() const { return env_; }
  bool Running() const { return running_; }

private:
  void CountStep(TStepOutcome outcome);
  void OnCloseRequest();
  void CreateDatabaseComponents();
  void AttachWithRetries(ISplash& splash);
  // CentreId from the site whose generator block matches IDGENERIQUE; 1000
  // when no site matches.
  void LookUpCentre();
  // A CentreId still 0 is looked up, 1000 when that fails: a script never
  // gets 0 in place of its placeholder.
  void EnsureCentre();
  // Stages of the execution step.
  void LoadScript(const TScriptPath& script, bool encrypted);
  void RunLoadedScript();
  void FinishTransaction();
  // Rolls TransNimbus back so that nothing can commit it afterwards, even
  // when the rollback itself fails.
  void ForceRollback() noexcept;
  // After a lost attachment: the next script attaches again and activates
  // the context again.
  void DropAttachment() noexcept;
  // After a script that moved or re-opened dbNimbus itself.
  void LeaveScriptAttachment() noexcept;
  std::string TimeNow() const;
  // The window system's standard error box, untimed.
  void ShowErrorBox(const std::string& text);

  Ui& ui_;
  TEnvironment env_;
  TRunLog log_;
  std::unique_ptr<ITimer> timer1_;
  std::unique_ptr<IProgressDialog> progress_;
  bool running_ = false;
  bool runError_ = false; // an error escaped a step
};

} // namespace nimbus
