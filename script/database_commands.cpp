#include "script/database_commands.h"

#include <exception>
#include <functional>
#include <stdexcept>
#include <string_view>

#include "fib/database.h"
#include "fib/errors.h"
#include "fib/transaction.h"
#include "platform/text.h"
#include "script/runner.h"
#include "script/script_text.h"

namespace nimbus {

namespace {

constexpr int kForceWrite = isc_dpb_force_write;
constexpr int kNoReserve = isc_dpb_no_reserve;

// Tokens of one statement, read with their quotes removed.
struct StatementTokens {
  const std::vector<std::string>& source;
  TScriptPos end;

  TScriptPos Next(TScriptPos pos) const { return pos.Col ? NextToken(source, pos, end) : pos; }
  // The token `count` places after `pos`.
  TScriptPos Skip(TScriptPos pos, int count) const {
    while (count-- > 0)
      pos = Next(pos);
    return pos;
  }
  std::string Text(TScriptPos pos) const {
    return pos.Col ? TokenText(source, pos, true) : std::string();
  }
  bool Is(TScriptPos pos, std::string_view keyword) const {
    return pos.Col && MatchKeyword(keyword, Text(pos), 1);
  }
};

// The server's own name of the attached database: alias and path spellings
// of one file give the same text.
std::string ServerFileName(TpFIBDatabase& db) {
  const TVariant value = db.QueryValue("SELECT MON$DATABASE_NAME FROM MON$DATABASE", 0);
  std::string name = value.Is<std::string>() ? value.Get<std::string>() : std::string();
  while (!name.empty() && name.back() == ' ')
    name.pop_back();
  return name;
}

// The value of a SET NAMES clause from `p` onwards; empty when none.
std::string ClauseNames(const StatementTokens& tokens, TScriptPos p) {
  for (; p.Col; p = tokens.Next(p))
    if (tokens.Is(p, "SET") && tokens.Is(tokens.Next(p), "NAMES"))
      return tokens.Text(tokens.Skip(p, 2));
  return {};
}

// `message` with every PASSWORD value of the statement masked where it stands
// as a word of its own: server errors quote the token they stumbled on,
// which may be the password itself.
std::string MaskPasswords(std::string message, const StatementTokens& tokens, TScriptPos p) {
  constexpr std::string_view kMask = "****";
  for (; p.Col; p = tokens.Next(p)) {
    if (!tokens.Is(p, "PASSWORD"))
      continue;
    const std::string value = tokens.Text(tokens.Next(p));
    if (value.empty())
      continue;
    for (std::size_t at = 0; (at = message.find(value, at)) != std::string::npos;) {
      const std::size_t end = at + value.size();
      const bool word =
          (at == 0 || !IsWordByte(static_cast<unsigned char>(message[at - 1]))) &&
          (end == message.size() || !IsWordByte(static_cast<unsigned char>(message[end])));
      if (word) {
        message.replace(at, value.size(), kMask);
        at += kMask.size();
      } else {
        at = end;
      }
    }
  }
  return message;
}

// Windows servers may answer one file in different cases; refusing a drop
// of a differently-cased twin is the safe side.
bool SameFile(const std::string& a, const std::string& b) {
  return !a.empty() && AnsiUpperCase(a) == AnsiUpperCase(b);
}

} // namespace

void TScriptDatabaseCommands::Execute(const TStatementDesc& entry,
                                      const std::vector<std::string>& lines,
                                      std::int32_t StatementNo) {
  switch (entry.Kind) {
  case skConnect:
    Connect(entry, lines, StatementNo);
    return;
  case skDisconnect:
    Disconnect();
    return;
  case skReconnect:
    Reconnect();
    return;
  case skCreateDatabase:
    CreateDatabase(entry, lines, StatementNo);
    return;
  case skDropDatabase:
    DropDatabase(entry);
    return;
  default:
    throw std::logic_error("not a database command");
  }
}

void TScriptDatabaseCommands::EnsureDatabase() {
  if (runner_.database_)
    return;
  auto* db = new TpFIBDatabase(&runner_);
  runner_.SetDatabase(db);
  runner_.owned_database_ = db;
  runner_.owns_database_ = true;
}

void TScriptDatabaseCommands::ApplyConnectOptions(TScriptPos p, TScriptPos end) {
  TpFIBDatabase& db = *runner_.database_;
  const StatementTokens tokens{runner_.Source(), end};
  db.SetConnected(false);
  db.DBParams().Clear();
  TConnectParams& params = db.ConnectParams();
  for (; p.Col; p = tokens.Next(p)) {
    void (TConnectParams::*set)(const std::string&) = nullptr;
    if (tokens.Is(p, "USER"))
      set = &TConnectParams::SetUserName;
    else if (tokens.Is(p, "PASSWORD"))
      set = &TConnectParams::SetPassword;
    else if (tokens.Is(p, "ROLE"))
      set = &TConnectParams::SetRoleName;
    if (!set)
      continue;
    p = tokens.Next(p);
    if (!p.Col)
      break;
    (params.*set)(tokens.Text(p));
  }
  db.SetSQLDialect(runner_.dialect_);
  if (!runner_.client_library_name_.empty())
    db.SetLibraryName(runner_.client_library_name_);
  params.SetCharSet(runner_.names_charset_);
}

void TScriptDatabaseCommands::BeginRun() {
  caller_attachment_changed_ = false;
  run_database_noted_ = false;
  run_database_unknown_ = false;
  run_database_name_.clear();
}

void TScriptDatabaseCommands::Cleanup(bool afterFile, bool errorLeaving) {
  std::exception_ptr failure;
  if (runner_.force_write_changed_) {
    TpFIBDatabase* db = runner_.database_;
    try {
      if (db && OnCreatedDatabase(*db)) {
        const bool attached = db->Connected();
        if (attached)
          EndTransaction(errorLeaving);
        RestoreForcedWrites(*db, afterFile, attached);
      }
    } catch (...) {
      failure = std::current_exception();
    }
    runner_.force_write_changed_ = false;
  }
  if (runner_.owns_database_) {
    // Released in any case: the next run must not find it.
    try {
      EndTransaction(errorLeaving);
    } catch (...) {
      if (!failure)
        failure = std::current_exception();
    }
    runner_.SetDatabase(nullptr);
  }
  run_database_noted_ = false;
  if (failure)
    std::rethrow_exception(failure);
}

// --- the commands ---------------------------------------------------------------

void TScriptDatabaseCommands::Connect(const TStatementDesc& entry,
                                      const std::vector<std::string>& lines,
                                      std::int32_t StatementNo) {
  EnsureDatabase();
  BeforeMoving();
  TpFIBDatabase& db = *runner_.database_;
  const StatementTokens tokens{runner_.Source(), entry.EndPos};
  try {
    LeaveDatabase(db);
    const TScriptPos name = tokens.Next(entry.StartPos);
    db.SetDBName(tokens.Text(name));
    ApplyConnectOptions(tokens.Next(name), entry.EndPos);
    db.SetConnected(true);
    runner_.RefreshServerConstants();
  } catch (const EFIBError& error) {
    if (!runner_.OnExecuteError)
      throw;
    ReportError(error, entry, lines, StatementNo);
  }
}

void TScriptDatabaseCommands::Disconnect() {
  TpFIBDatabase* db = runner_.database_;
  if (!db)
    return;
  // Noted before it goes: a later DROP must still know the run's database.
  BeforeMoving();
  LeaveDatabase(*db);
}

void TScriptDatabaseCommands::Reconnect() {
  TpFIBDatabase* db = runner_.database_;
  if (!db)
    return;
  // A new attachment has none of the session state the caller set up.
  BeforeMoving();
  EndTransaction(false);
  db->SetConnected(false);
  db->SetConnected(true);
}

void TScriptDatabaseCommands::CreateDatabase(const TStatementDesc& entry,
                                             const std::vector<std::string>& lines,
                                             std::int32_t StatementNo) {
  EnsureDatabase();
  BeforeMoving();
  TpFIBDatabase& db = *runner_.database_;
  const StatementTokens tokens{runner_.Source(), entry.EndPos};
  LeaveDatabase(db);
  const TScriptPos name = tokens.Skip(entry.StartPos, 2);
  db.SetDBName(tokens.Text(name));
  // Dialect and library first: a failure there must not find the clauses
  // in the parameter lines.
  db.SetSQLDialect(runner_.dialect_);
  if (!runner_.client_library_name_.empty())
    db.SetLibraryName(runner_.client_library_name_);
  const TScriptPos clauses = tokens.Next(name);
  std::vector<std::string> clauseLines;
  if (clauses.Col)
    StatementText(runner_.Source(), clauses, entry.EndPos, clauseLines);
  db.DBParams().Assign(std::move(clauseLines));

  try {
    bool forceWritesOff = false;
    try {
      db.CreateDatabase();
      runner_.RefreshServerConstants();
      forceWritesOff = db.UTF8Metadata() && db.AttachmentCharsetId() == 0;
    } catch (...) {
      // The clauses hold the password: the next attach must not read them.
      try {
        db.Close();
      } catch (...) {
      }
      db.DBParams().Clear();
      throw;
    }
    // Always through the connection options, so that only name=value lines
    // remain; the new database is filled with forced writes off.
    ApplyConnectOptions(clauses, entry.EndPos);
    // The creation's own SET NAMES clause names the character set the
    // script meant to fill the database with.
    if (const std::string names = ClauseNames(tokens, clauses); !names.empty())
      db.ConnectParams().SetCharSet(names);
    if (forceWritesOff)
      db.DBParams().Add("force_write=0");
    db.SetConnected(true);
    if (forceWritesOff) {
      runner_.force_write_changed_ = true;
      created_name_ = db.DBName();
    }
  } catch (const EFIBError& error) {
    if (!runner_.OnExecuteError)
      throw;
    ReportError(error, entry, lines, StatementNo);
  }
}

void TScriptDatabaseCommands::DropDatabase(const TStatementDesc& entry) {
  const StatementTokens tokens{runner_.Source(), entry.EndPos};
  const TScriptPos name = tokens.Skip(entry.StartPos, 2);
  // Without a name the attachment's current database would go.
  if (tokens.Text(name).empty())
    throw std::runtime_error("DROP DATABASE needs the name of the database to drop");
  EnsureDatabase();
  BeforeMoving();
  TpFIBDatabase& db = *runner_.database_;
  const auto login = [&](TFIBDatabase& target) {
    TScriptPos p = tokens.Next(name);
    for (int i = 0; i < 2; ++i) {
      const bool user = tokens.Is(p, "USER");
      if (!user && !tokens.Is(p, "PASSWORD"))
        break;
      p = tokens.Next(p);
      if (user)
        target.ConnectParams().SetUserName(tokens.Text(p));
      else
        target.ConnectParams().SetPassword(tokens.Text(p));
      p = tokens.Next(p);
    }
  };
  // Before the attachment leaves: a refusal must change nothing.
  RefuseRunDatabase(db, tokens.Text(name), login);
  LeaveDatabase(db);
  if (!runner_.client_library_name_.empty())
    db.SetLibraryName(runner_.client_library_name_);
  db.SetDBName(tokens.Text(name));
  login(db);
  db.SetConnected(true);
  db.DropDatabase();
}

// --- helpers ----------------------------------------------------------------------

void TScriptDatabaseCommands::BeforeMoving() {
  if (runner_.owns_database_)
    return;
  caller_attachment_changed_ = true;
  if (run_database_noted_)
    return;
  run_database_noted_ = true;
  TpFIBDatabase& db = *runner_.database_;
  if (!db.Connected())
    return;
  try {
    run_database_name_ = ServerFileName(db);
  } catch (const EFIBError&) {
    // A server without monitoring tables: no drop can be allowed then.
    run_database_unknown_ = true;
  }
}

void TScriptDatabaseCommands::LeaveDatabase(TpFIBDatabase& db) {
  if (db.Connected())
    EndTransaction(false);
  if (OnCreatedDatabase(db))
    RestoreForcedWrites(db, false, false);
  db.SetConnected(false);
}

bool TScriptDatabaseCommands::OnCreatedDatabase(const TpFIBDatabase& db) const {
  return runner_.force_write_changed_ && db.DBName() == created_name_;
}

void TScriptDatabaseCommands::RestoreForcedWrites(TpFIBDatabase& db, bool afterFile,
                                                  bool stayAttached) {
  // Once: a failure here must not make every later run try again.
  runner_.force_write_changed_ = false;
  db.SetConnected(false);
  db.DBParams().WriteParam(kForceWrite, "1");
  if (afterFile)
    db.DBParams().WriteParam(kNoReserve, "0");
  db.SetConnected(true); // the server keeps the setting in the database
  if (!stayAttached)
    db.SetConnected(false);
}

void TScriptDatabaseCommands::ReportError(const EFIBError& error, const TStatementDesc& entry,
                                          const std::vector<std::string>& lines,
                                          std::int32_t StatementNo) {
  runner_.stop_requested_ = true;
  bool doRollBack = true; // not acted upon: the command ended the transaction itself
  const StatementTokens tokens{runner_.Source(), entry.EndPos};
  runner_.OnExecuteError(&runner_, StatementNo, entry.StartPos.Line + 1, lines, error.SQLCode(),
                         MaskPasswords(error.Message(), tokens, entry.StartPos), doRollBack,
                         runner_.stop_requested_);
}

void TScriptDatabaseCommands::EndTransaction(bool rollBack) {
  TpFIBTransaction* t = runner_.EffectiveTransaction();
  if (!t->Active())
    return;
  if (rollBack)
    t->Rollback();
  else
    t->Commit();
}

void TScriptDatabaseCommands::RefuseRunDatabase(const TpFIBDatabase& db, const std::string& name,
                                                const std::function<void(TFIBDatabase&)>& login) {
  if (!run_database_unknown_ && run_database_name_.empty())
    return; // no caller's database in this run
  if (run_database_unknown_)
    throw std::runtime_error("DROP DATABASE refused: the run's own database cannot be told apart");
  // A look through an attachment of its own, as the drop would attach.
  TpFIBDatabase probe;
  probe.SetLibraryName(runner_.client_library_name_.empty() ? db.LibraryName()
                                                            : runner_.client_library_name_);
  probe.SetSQLDialect(db.SQLDialect());
  probe.DBParams().Assign(db.DBParams().Lines());
  // Attaching with these would change the target's setting.
  probe.DBParams().WriteParam(kForceWrite, "");
  probe.DBParams().WriteParam(kNoReserve, "");
  probe.SetDBName(name);
  login(probe);
  probe.SetConnected(true);
  const std::string target = ServerFileName(probe);
  probe.Close();
  if (SameFile(target, run_database_name_))
    throw std::runtime_error("DROP DATABASE refused: " + target +
                             " is the database this run works on");
}

} // namespace nimbus
