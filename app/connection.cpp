// The connection procedure of the main window: where the client library is,
// which SYSDBA password the server takes, attaching with three attempts and
// the question about other attached users.
#include <exception>
#include <memory>

#include "app/main_window.h"
#include "app/password_candidate.h"
#include "app/texts.h"
#include "fib/param_lines.h"
#include "fib/service.h"
#include "platform/os.h"

namespace nimbus {

namespace {

constexpr const char* kClientLibraryFile = "libfbclient.so";
// How long a probe waits for a service task on its attachment to end; none
// is ever started, so the wait only guards against a server that says so.
constexpr std::uint32_t kProbeRunningLimitMs = 5000;

void SetAttachLines(TFIBDatabase& db, const std::string& password) {
  db.DBParams().Assign({"user_name=SYSDBA", "password=" + password, "lc_ctype=ISO8859_1"});
}

} // namespace

std::string TForm1::TimeNow() const {
  return TimePrefix(env_.Now());
}

void TForm1::ShowErrorBox(const std::string& text) {
  ui_.CreateMessageDialog(text, mtError, ButtonBit(mbOK))->ShowModal();
}

std::string TForm1::LocateClientLibrary() {
  const std::string beside = env_.ExecutableFolder() + os::kPathSeparator + kClientLibraryFile;
  if (os::FileExists(beside))
    return beside;
  const std::string product =
      State.ProgramFilesFolder + "/orvan system/program/" + kClientLibraryFile;
  if (!State.ProgramFilesFolder.empty() && os::FileExists(product))
    return product;
  if (env_.SystemClientLibrary) {
    std::string system = env_.SystemClientLibrary();
    if (!system.empty())
      return system;
  }
  LogLine(TimeNow() + texts::kLibraryNotFound, true);
  return {};
}

bool TForm1::ProbeAdminPassword(std::int32_t& Index) {
  Index = -1;
  auto service = std::make_unique<TpFIBSecurityService>(this);
  service->SetProtocol(TCP);
  service->SetServerName(State.StationSettings.ServerAddress);
  service->LoginPrompt = false;
  service->SetLibraryName(LocateClientLibrary());
  for (const std::int32_t k : {2, 1, 0}) {
    service->Params().Assign({"user_name=SYSDBA", "password=" + PasswordCandidate(k)});
    // A refused candidate is dropped without a trace: its error could name it.
    try {
      service->SetActive(true);
    } catch (const std::exception&) {
      continue;
    }
    // The attach alone proves the password; what follows only ends it.
    Index = k;
    try {
      const std::uint32_t start = ui_.TickCount();
      while (service->IsServiceRunning() && ui_.TickCount() - start < kProbeRunningLimitMs)
        WaitPumping(5);
    } catch (const std::exception&) {
    }
    try {
      service->SetActive(false);
    } catch (const std::exception&) {
    }
    break;
  }
  return Index >= 0;
}

bool TForm1::ConnectDatabase() {
  if (dbNimbus->Connected())
    return true;
  std::unique_ptr<ISplash> splash = ui_.ShowSplash(texts::kConnecting, false, true);
  // Runs however the procedure ends, except when the process ends at once.
  const auto finish = [&] {
    splash.reset();
    if (!dbNimbus->Connected()) {
      LogLine(texts::kCannotConnect, true);
      ShowErrorBox(texts::kCannotConnect);
    }
  };
  try {
    AttachWithRetries(*splash);
  } catch (const TProcessEnded&) {
    throw;
  } catch (...) {
    finish();
    throw;
  }
  finish();
  return dbNimbus->Connected();
}

void TForm1::AttachWithRetries(ISplash& splash) {
  TConfigOrvan& station = State.StationSettings;
  try {
    dbNimbus->Close();
    ui_.ProcessMessages();
    if (TrimmedLine(station.ServerAddress).empty())
      station.ServerAddress = "127.0.0.1";
    if (TrimmedLine(station.DatabaseAlias).empty())
      station.DatabaseAlias = "nimbus_gestion";
    const std::string& alias = station.DatabaseAlias;
    // A drive-letter path names a file on this machine only when the
    // server is local; the attach is tried anyway.
    if (alias.size() > 1 && alias[1] == ':' && !os::FileExists(alias))
      LogLine(TimeNow() + texts::kBaseFileMissing, true);
    dbNimbus->SetDBName(station.ServerAddress + ":" + alias);
    dbNimbus->SetLibraryName(LocateClientLibrary());
    LogLine(TimeNow() + "---Connexion DB \"" + dbNimbus->DBName() + "\"", true);
    LogLine("lib \"" + dbNimbus->LibraryName() + "\")", false);
  } catch (const std::exception& error) {
    LogLine(TimeNow() + " erreur \"" + error.what() + "\"", true);
  }

  for (int k = 1; k <= 3 && !dbNimbus->Connected(); ++k) {
    splash.SetText(texts::kConnectingAttempt + std::to_string(k) + ")...");
    std::int32_t index = -1;
    ProbeAdminPassword(index);
    SetAttachLines(*dbNimbus, PasswordCandidate(index));
    try {
      dbNimbus->SetConnected(true);
    } catch (const std::exception& error) {
      LogLine(texts::kConnectionError + error.what(), true);
    }
    ui_.ProcessMessages();
    if (!dbNimbus->Connected())
      WaitPumping(1000);
  }
  if (!dbNimbus->Connected())
    return;

  const std::size_t users = dbNimbus->AttachedUserNames().size();
  Window().SetTop(Window().Top() - 80);
  if (State.SilentMode || users <= 1)
    return;
  const std::string others = std::to_string(users - 1);
  const std::int32_t answer =
      TimedMessageDlg("Il y a " + others + texts::kUsersAttached + "\r\nVoulez vous continuer ?",
                      mtWarning, ButtonBit(mbYes) | ButtonBit(mbNo), 5);
  if (answer != mrNo)
    return;
  LogLine(others + texts::kUsersAttached, true);
  try {
    dbNimbus->Close();
  } catch (const std::exception&) {
  }
  env_.EndProcess(0);
  throw TProcessEnded{0};
}

} // namespace nimbus
