// The execution step of the main window: everything done to one script, and
// the handlers hooked onto the transaction and the script runner.
#include <exception>
#include <memory>

#include "app/main_window.h"
#include "app/password_candidate.h"
#include "app/script_source.h"
#include "app/texts.h"
#include "crypto/script_key.h"
#include "platform/os.h"
#include "platform/text.h"

namespace nimbus {

namespace {

constexpr const char* kSiteLookup = "SELECT FIRST 1 CTR_ID FROM CENTRE WHERE CTR_GENERATOR = "
                                    "(GEN_ID(IDGENERIQUE,0) / 100000000 * 100000000)";
constexpr const char* kActivation = "execute procedure CONTEXT_ACTIVATION(0,:idctr,'')";
constexpr std::int32_t kDefaultCentre = 1000;

bool IsEncrypted(const std::string& path) {
  const auto dot = path.rfind('.');
  const auto slash = path.rfind(os::kPathSeparator);
  return dot != std::string::npos && (slash == std::string::npos || dot > slash) &&
         AnsiLowerCase(path.substr(dot)) == ".rhtz";
}

} // namespace

void TForm1::ExecuteScript() {
  StepSucceeded = false;
  progress_->SetPosition(0);
  std::unique_ptr<ISplash> splash;
  if (!State.ProgressShown)
    splash = ui_.ShowSplash("Please wait...", true, true);
  WaitPumping(50);
  const TScriptPath script = State.CurrentScript;
  const bool encrypted = IsEncrypted(script.Shown);
  if (encrypted && ScriptExpired(script.Real, env_.Now())) {
    LogLine(texts::kFileExpired, true);
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
    return;
  }
  if (!os::FileExists(script.Real)) {
    LogLine(TimeNow() + texts::kScriptNotFound, true);
    return;
  }
  LogLine("Execution script...", true);
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
