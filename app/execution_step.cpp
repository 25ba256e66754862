// The execution step of the main window: everything done to one script, and
// the handlers hooked onto the transaction and the script runner.
#include <algorithm>
#include <exception>
#include <iterator>
#include <memory>
#include <string_view>

#include "app/main_window.h"
#include "app/password_candidate.h"
#include "app/script_source.h"
#include "app/texts.h"
#include "crypto/script_key.h"
#include "fib/errors.h"
#include "fib/param_lines.h"
#include "platform/os.h"
#include "platform/text.h"

namespace nimbus {

namespace {

constexpr const char* kSiteLookup = "SELECT FIRST 1 CTR_ID FROM CENTRE WHERE CTR_GENERATOR = "
                                    "(GEN_ID(IDGENERIQUE,0) / 100000000 * 100000000)";
constexpr const char* kActivation = "execute procedure CONTEXT_ACTIVATION(0,:idctr,'')";
constexpr std::int32_t kDefaultCentre = 1000;
constexpr std::string_view kCentrePlaceholder = "%CENTRE%";

std::string ReplaceAll(std::string_view text, std::string_view what, std::string_view with) {
  std::string out;
  out.reserve(text.size());
  std::size_t from = 0;
  for (std::size_t at; (at = text.find(what, from)) != std::string_view::npos;
       from = at + what.size()) {
    out.append(text, from, at - from);
    out.append(with);
  }
  out.append(text, from);
  return out;
}

bool IsEncrypted(const std::string& path) {
  const auto dot = path.rfind('.');
  const auto slash = path.rfind(os::kPathSeparator);
  return dot != std::string::npos && (slash == std::string::npos || dot > slash) &&
         AnsiLowerCase(path.substr(dot)) == ".rhtz";
}

} // namespace

void TForm1::ExecuteScript() {
  StepSucceeded = false;
  // Until the step says otherwise: an error escaping it leaves the script failed.
  StepOutcome = TStepOutcome::Failed;
  progress_->SetPosition(0);
  // Closed however the step ends.
  std::unique_ptr<ISplash> splash;
  if (!State.ProgressShown)
    splash = ui_.ShowSplash("Please wait...", true, true);
  WaitPumping(50);
  const TScriptPath script = State.CurrentScript;
  const bool encrypted = IsEncrypted(script.Shown);
  if (encrypted && ScriptExpired(script.Real, env_.Now())) {
    LogLine(texts::kFileExpired, true);
    StepOutcome = TStepOutcome::Skipped;
    WaitPumping(3500);
    return;
  }
  LogLine(TimeNow() + "---Ouverture script \"" + script.Shown + "\"", true);
  if (!ConnectDatabase()) {
    ShowErrorBox(texts::kOpenFailedBox);
    LogLine(texts::kOpenFailedLine, true);
    return;
  }
  LogLine(TimeNow() + texts::kConnected, true);
  if (script.Shown.empty()) {
    LogLine(TimeNow() + "-Pas de fichier", true);
    StepOutcome = TStepOutcome::Skipped;
    return;
  }
  if (!os::FileExists(script.Real)) {
    LogLine(TimeNow() + texts::kScriptNotFound, true);
    StepOutcome = TStepOutcome::Skipped;
    return;
  }
  LogLine("Execution script...", true);
  LoadScript(script, encrypted);
  // Its INPUT and SET BLOBFILE names are relative to the script's own folder.
  pFIBScripter1->ScriptFolder = FolderOf(script.Real);
  LogLine(TimeNow() + "-Execution...", true);
  pFIBScripter1->ParseScript(";");
  progress_->SetMax(pFIBScripter1->StatementCount());
  WaitPumping(50);
  if (!TransNimbus->Active())
    TransNimbus->StartTransaction();
  // Only now: a script that cannot be parsed or started stays in place.
  // Still before its first statement runs, so it runs at most once.
  if (!State.DebugMode)
    os::DeleteFile(script.Real);

  bool mentionsContext = false;
  bool hasPlaceholder = false;
  {
    // Not kept for the run: a large script would be held twice meanwhile.
    const std::string text = pFIBScripter1->Script().Text();
    mentionsContext = text.find("CONTEXT_ACTIVATION") != std::string::npos;
    hasPlaceholder = text.find(kCentrePlaceholder) != std::string::npos;
  }
  try {
    // A script that mentions the procedure handles the context itself.
    if (!State.ContextActivated && !mentionsContext)
      ActivateContext();
  } catch (const std::exception&) {
    LogLine("Erreur Context", false);
  }
  EnsureCentre();
  if (hasPlaceholder)
    pFIBScripter1->Script().SetText(ReplaceAll(pFIBScripter1->Script().Text(), kCentrePlaceholder,
                                               std::to_string(State.CentreId)));

  RunLoadedScript();
  FinishTransaction();
  splash.reset();
  dbNimbus->EndTransactions();
  // A script's CONNECT, CREATE DATABASE... leave dbNimbus on the script's
  // database or on an attachment without the site context: the next script
  // must attach to the run's database again.
  if (pFIBScripter1->CallerAttachmentChanged())
    LeaveScriptAttachment();
  StepOutcome = StepSucceeded ? TStepOutcome::Applied : TStepOutcome::Failed;
  if (StepSucceeded) {
    LogLine(TimeNow() + texts::kApplied, true);
    WaitPumping(500);
  } else {
    LogLine("Erreur.", true);
    WaitPumping(3500);
  }
  LogLine(" - - - - - - - - - - - - - - - - - - - - - -", true);
}

void TForm1::LoadScript(const TScriptPath& script, bool encrypted) {
  if (!encrypted) {
    pFIBScripter1->Script().SetText(ReadScriptText(script.Real));
    LogLine(std::to_string(pFIBScripter1->Script().Count()) + texts::kLinesLoaded, true);
    return;
  }
  std::uint8_t key[16];
  DeriveScriptKey(key, sizeof key, PasswordCandidate(1));
  // The plain copy lives only while it is read.
  std::unique_ptr<TTemporaryScript> copy;
  try {
    copy = std::make_unique<TTemporaryScript>(script.Real, env_.Now(), key);
  } catch (...) {
    std::fill(std::begin(key), std::end(key), 0);
    throw;
  }
  std::fill(std::begin(key), std::end(key), 0);
  pFIBScripter1->Script().SetText(ReadScriptText(copy->Path()));
}

void TForm1::RunLoadedScript() {
  // What one script says with SET AUTODDL or {$EXECUTE_BLOCK} stays with it.
  pFIBScripter1->AutoDDL = true;
  pFIBScripter1->UseExecBlockForDML = false;
  try {
    pFIBScripter1->RunScript(1);
    LogLine(TimeNow() + texts::kFinished, false);
    StepSucceeded = true;
  } catch (const EFIBError& error) {
    LogLine(std::string("Erreur ") + error.what(), true);
    if (IsConnectionLost(error))
      DropAttachment();
  } catch (const std::exception& error) {
    LogLine(std::string("Erreur ") + error.what(), true);
  }
}

void TForm1::FinishTransaction() {
  try {
    if (StepSucceeded) {
      LogLine(TimeNow() + texts::kFinished, true);
      if (TransNimbus->Active()) {
        try {
          TransNimbus->Commit();
        } catch (...) {
          // Work that was not committed was not applied.
          StepSucceeded = false;
          ForceRollback();
          throw;
        }
      }
    } else {
      LogLine(TimeNow() + "-Erreur", true);
      if (TransNimbus->Active()) {
        try {
          TransNimbus->Rollback();
        } catch (...) {
          ForceRollback();
          throw;
        }
      }
    }
  } catch (const std::exception& error) {
    LogLine(std::string("Erreur ") + error.what(), true);
  }
}

void TForm1::ForceRollback() noexcept {
  if (!TransNimbus->Active())
    return;
  try {
    TransNimbus->EndTransaction(TARollback, true);
  } catch (...) {
  }
}

void TForm1::DropAttachment() noexcept {
  ForceRollback();
  try {
    dbNimbus->CloseAttachment(true);
  } catch (...) {
  }
  State.ContextActivated = false;
}

void TForm1::LeaveScriptAttachment() noexcept {
  DropAttachment();
  try {
    // The connection procedure sets name, library and lines, not the dialect
    // a script's SET SQL DIALECT gave.
    dbNimbus->SetSQLDialect(3);
  } catch (...) {
  }
}

void TForm1::pFIBScripter1AfterStatementExecute(TpFIBScripter*, std::int32_t,
                                                std::int32_t StatementNo, const TStatementDesc&,
                                                const std::vector<std::string>&) {
  if (State.SilentMode)
    return;
  progress_->SetPosition(StatementNo);
  // Keeps the window painted; waiting here would cost more than the statements.
  ui_.ProcessMessages();
}

void TForm1::pFIBScripter1ExecuteError(TpFIBScripter*, std::int32_t, std::int32_t Line,
                                       const std::vector<std::string>&, std::int32_t SQLCode,
                                       const std::string& Msg, bool& doRollBack, bool& Stop) {
  const std::string line = TimeNow() + "-ExecuteError #" + std::to_string(SQLCode) + " - line" +
                           std::to_string(Line) + " : " + TrimmedLine(Msg);
  if (State.DebugMode) {
    LogLine(line, true);
  } else {
    LogLine(line, false);
    LogLine(TimeNow() + "-Erreur sql (" + std::to_string(Line) + ")", true);
  }
  // A failing statement is skipped: the script goes on and keeps its work.
  doRollBack = false;
  Stop = false;
  ui_.ProcessMessages();
}

void TForm1::TransNimbusBeforeStart(TComponent*) {
  TransNimbus->TRParams().Assign(
      {"write", State.WaitMode ? "wait" : "nowait", "rec_version", "read_committed"});
}

void TForm1::LookUpCentre() {
  qContext->SQL().Assign({kSiteLookup});
  qContext->ExecQuery();
  TFIBXSQLVAR& id = qContext->Fields(0);
  State.CentreId = id.IsNull() ? kDefaultCentre : id.AsInteger();
  qContext->Close();
}

void TForm1::ActivateContext() {
  if (State.CentreId == 0)
    LookUpCentre();
  qContext->SQL().Assign({kActivation});
  qContext->Params().Vars(0).SetAsInteger(State.CentreId);
  qContext->ExecQuery();
  qContext->Close();
  qContext->FreeHandle();
  if (State.DebugMode)
    LogLine(TimeNow() + "-Context enabled #" + std::to_string(State.CentreId), false);
  State.ContextActivated = true;
}

void TForm1::EnsureCentre() {
  if (State.CentreId != 0)
    return;
  try {
    LookUpCentre();
  } catch (const std::exception&) {
    State.CentreId = kDefaultCentre;
  }
  try {
    qContext->Close();
  } catch (const std::exception&) {
  }
}

} // namespace nimbus
