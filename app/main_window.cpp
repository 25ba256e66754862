#include "app/main_window.h"

#include "app/run_description.h"
#include "app/texts.h"
#include "app/timed_message.h"
#include "platform/os.h"

namespace nimbus {

namespace {

std::string FileNamePart(const std::string& path) {
  const auto slash = path.rfind(os::kPathSeparator);
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Clears a flag when the scope ends, however it ends.
class TFlagScope {
public:
  explicit TFlagScope(bool& flag) : flag_(flag) { flag_ = true; }
  ~TFlagScope() { flag_ = false; }

private:
  bool& flag_;
};

} // namespace

TForm1::TForm1(Ui& ui, TEnvironment env, TComponent* owner)
    : TComponent(owner), ui_(ui), env_(std::move(env)), log_(State, ui.MainWindow()),
      timer1_(ui.CreateTimer()), progress_(ui.CreateProgressDialog()) {
  SetName("Form1");
  CreateDatabaseComponents();
  bExecClick = [this] { ExecuteScript(); };
  timer1_->SetInterval(500);
  timer1_->SetEnabled(false);
  timer1_->OnTimer = [this] { Timer1Timer(); };
  progress_->SetCaption("wait");
  progress_->SetText("wait");
  progress_->OnCancel = [this] { JvProgressDialog1Cancel(); };
  IMainWindow& window = ui_.MainWindow();
  window.SetExecEnabled(false); // bExec is hidden; the run loop calls the step itself
  window.OnClose = [this] { FormClose(); };
  window.OnCloseRequest = [this] { OnCloseRequest(); };
  window.OnQuitClick = [this] { bQuitClick(); };
  window.OnExecClick = [this] {
    if (bExecClick)
      bExecClick();
  };
  FormCreate();
}

void TForm1::CreateDatabaseComponents() {
  dbNimbus = new TpFIBDatabase(this);
  dbNimbus->SetName("dbNimbus");
  TransNimbus = new TpFIBTransaction(this);
  TransNimbus->SetName("TransNimbus");
  qContext = new TpFIBQuery(this);
  qContext->SetName("qContext");

  dbNimbus->SetDBName("127.0.0.1:nimbus_gestion");
  dbNimbus->DBParams().Assign({"lc_ctype=ISO8859_1", "user_name=SYSDBA"});
  dbNimbus->SetSQLDialect(3);
  dbNimbus->SetLibraryName("fbclient.dll");
  dbNimbus->SetTimeout(0);
  dbNimbus->WaitForRestoreConnect = 0;
  dbNimbus->SetDefaultTransaction(TransNimbus);
  dbNimbus->SetDefaultUpdateTransaction(TransNimbus);
  dbNimbus->Loaded();

  TransNimbus->SetDefaultDatabase(dbNimbus);
  TransNimbus->SetTimeoutAction(TACommit);
  TransNimbus->TPBMode = tpbDefault;
  TransNimbus->BeforeStart = [this](TComponent* sender) { TransNimbusBeforeStart(sender); };
  TransNimbus->TRParams().Assign({"write", "nowait", "rec_version", "read_committed"});

  qContext->SetDatabase(dbNimbus);
  qContext->SetTransaction(TransNimbus);

  pFIBScripter1 = new TpFIBScripter(this);
  pFIBScripter1->SetName("pFIBScripter1");
  pFIBScripter1->SetDatabase(dbNimbus);
  pFIBScripter1->SetTransaction(TransNimbus);
  pFIBScripter1->OnExecuteError = [this](TpFIBScripter* sender, std::int32_t statementNo,
                                         std::int32_t line,
                                         const std::vector<std::string>& statement,
                                         std::int32_t sqlCode, const std::string& msg,
                                         bool& doRollBack, bool& stop) {
    pFIBScripter1ExecuteError(sender, statementNo, line, statement, sqlCode, msg, doRollBack, stop);
  };
  pFIBScripter1->AfterStatementExecute =
      [this](TpFIBScripter* sender, std::int32_t line, std::int32_t statementNo,
             const TStatementDesc& desc, const std::vector<std::string>& statement) {
        pFIBScripter1AfterStatementExecute(sender, line, statementNo, desc, statement);
      };
}

TForm1::~TForm1() {
  IMainWindow& window = ui_.MainWindow();
  window.OnClose = nullptr;
  window.OnCloseRequest = nullptr;
  window.OnQuitClick = nullptr;
  window.OnExecClick = nullptr;
}

void TForm1::FormCreate() {
  State = TRunState{};
  const std::time_t created = env_.Now();
  State.LogFileName = LogFileNameFor(env_.ExecutableFolder(), created);
  const std::string fallback = env_.LogFallbackFolder ? env_.LogFallbackFolder() : "";
  if (!fallback.empty())
    State.LogFallbackFileName = LogFileNameFor(fallback, created);
  timer1_->SetEnabled(true);
}

void TForm1::Timer1Timer() {
  timer1_->SetEnabled(false);
  const std::string first = env_.Arguments.empty() ? std::string() : env_.Arguments.front();
  if (!env_.Arguments.empty() && os::FileExists(first)) {
    if (!ReadRunDescription(first, State, log_, ui_, env_))
      return;
    if (!State.ScriptList->empty()) {
      if (State.DebugMode)
        LogLine("mode DEBUG", true);
      Window().SetExecEnabled(false);
      Window().SetQuitEnabled(false);
      LogLine("", true);
      ui_.ProcessMessages();
      RunScripts();
    } else {
      TimedMessageDlg(texts::kNoSqlFileFound, mtInformation, ButtonBit(mbOK), 6);
      ui_.PostQuit(kExitNotStarted);
    }
    return;
  }
  TimedMessageDlg(texts::kNoConfiguration + "\n\r" + std::to_string(env_.Arguments.size()) +
                      "\n\r" + first,
                  mtInformation, ButtonBit(mbOK), 6);
  ui_.PostQuit(kExitNotStarted);
}

void TForm1::RunScripts() {
  std::exception_ptr escaped;
  TRunTally& tally = State.Tally;
  tally.Started = true;
  // Scripts the loop has not handed to a step yet; skipped when it stops early.
  std::size_t pending = State.ScriptList->size();
  {
    TFlagScope running(running_);
    try {
      std::vector<TScriptPath>& scripts = *State.ScriptList;
      if (scripts.empty()) {
        LogLine(texts::kEmptyRunList, true);
      } else {
        if (!State.SilentMode) {
          State.ProgressShown = true;
          progress_->SetCaption("Execution du script...");
          progress_->SetText("Veuillez patienter...");
          progress_->SetPosition(0);
          progress_->Show();
        }
        const std::size_t count = scripts.size();
        for (std::size_t i = 0; i < count; ++i) {
          State.CurrentScript = scripts[i];
          Window().SetEditText(scripts[i].Shown);
          if (!State.SilentMode && scripts.size() > 1)
            progress_->SetCaption("Execution de scripts " + std::to_string(i + 1) + "/" +
                                  std::to_string(scripts.size()) + "...");
          const std::string label = i < State.LabelList.size() ? State.LabelList[i] : "";
          if (!label.empty()) {
            LogLine(label, true);
            if (!State.SilentMode)
              progress_->SetText(label + "...");
          } else if (!State.SilentMode) {
            progress_->SetText("Veuillez patienter...");
          }
          LogLine(TimePrefix(env_.Now()) +
                      " - Chargement fichier : " + FileNamePart(scripts[i].Shown),
                  true);
          WaitPumping(50);
          if (State.CancelRequested)
            break;
          --pending;
          StepOutcome = TStepOutcome::Applied;
          try {
            if (bExecClick)
              bExecClick();
          } catch (const TProcessEnded&) {
            throw;
          } catch (...) {
            ++tally.Failed;
            throw;
          }
          CountStep(StepOutcome);
          if (State.CancelRequested)
            break;
        }
      }
      if (!State.SilentMode)
        progress_->Hide();
    } catch (const TProcessEnded&) {
      throw; // the process was to end at once: no shutdown
    } catch (...) {
      escaped = std::current_exception();
      if (!State.SilentMode)
        progress_->Hide();
    }
  }
  tally.Skipped += static_cast<std::int32_t>(pending);
  if (escaped)
    runError_ = true;
  bQuitClick();
  if (escaped)
    std::rethrow_exception(escaped);
}

void TForm1::JvProgressDialog1Cancel() {
  State.CancelRequested = true;
}

void TForm1::bQuitClick() {
  Window().Close();
  ui_.PostQuit(ExitStatus());
}

void TForm1::CountStep(TStepOutcome outcome) {
  switch (outcome) {
  case TStepOutcome::Applied:
    ++State.Tally.Applied;
    break;
  case TStepOutcome::Failed:
    ++State.Tally.Failed;
    break;
  case TStepOutcome::Skipped:
    ++State.Tally.Skipped;
    break;
  }
}

int TForm1::ExitStatus() const {
  const TRunTally& tally = State.Tally;
  if (!tally.Started)
    return kExitApplied; // quit before any run: nothing was listed to apply
  return runError_ || tally.Failed > 0 || tally.Skipped > 0 ? kExitFailed : kExitApplied;
}

std::string TForm1::SummaryLine() const {
  const TRunTally& t = State.Tally;
  if (!t.Started)
    return {};
  return "nimbus-scripts: " + std::to_string(t.Applied + t.Failed + t.Skipped) +
         " script(s): " + std::to_string(t.Applied) + " applied, " + std::to_string(t.Failed) +
         " failed, " + std::to_string(t.Skipped) + " skipped";
}

void TForm1::FormClose() {
  dbNimbus->Close();
  State.ScriptList.reset();
  TimedMessageDlg(texts::kDone, mtInformation, ButtonBit(mbOK), State.SilentMode ? 1 : 6);
  if (!State.SilentMode) {
    const std::string menu = env_.ProgramFilesFolder() + "/orvan system/program/menucirrus";
    if (os::FileExists(menu))
      env_.ShellOpen(menu);
  }
  // Before the window's own quit, which says 0 whatever the run did; posted
  // only now, as a pending quit would end the closing box at once.
  ui_.PostQuit(ExitStatus());
}

void TForm1::WaitPumping(std::uint32_t Milliseconds) {
  nimbus::WaitPumping(ui_, Milliseconds);
}

std::int32_t TForm1::TimedMessageDlg(const std::string& Msg, TMsgDlgType DlgType,
                                     TMsgDlgButtons Buttons, std::int32_t Seconds) {
  return nimbus::TimedMessageDlg(ui_, Msg, DlgType, Buttons, Seconds);
}

void TForm1::OnCloseRequest() {
  // Closing while the run loop is on the stack would release the list under
  // it; stop as after a cancel and let the loop close the window once.
  if (running_) {
    State.CancelRequested = true;
    return;
  }
  Window().Close();
}

} // namespace nimbus
