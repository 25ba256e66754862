#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "script/script_types.h"

namespace nimbus {

class EFIBError;
class TFIBDatabase;
class TpFIBDatabase;
class TpFIBScripter;

// CONNECT, DISCONNECT, RECONNECT, CREATE DATABASE and DROP DATABASE: carried
// out by the runner on its attachment, never sent to the server as
// statements. They fire BeforeStatementExecute only; AutoDDL does not apply.
// A runner without an attachment gets one of its own for the run.
//
// Invariants kept here beyond the commands themselves:
// - a database a script creates has forced writes off only until the
//   attachment leaves it or the run ends, and is the only one re-attached
//   for that;
// - the attachment's parameter lines never keep the clauses of a CREATE
//   DATABASE (they hold the password and would be quoted by the next
//   attach's error);
// - DROP DATABASE never drops the database the caller's attachment was on
//   when the run started, whatever name or alias the script gives it.
//
// Errors: CONNECT and the creation step of CREATE DATABASE report access-layer
// errors through OnExecuteError when it is set (doRollBack is not acted
// upon); everything else propagates out of the run.
class TScriptDatabaseCommands {
public:
  explicit TScriptDatabaseCommands(TpFIBScripter& runner) : runner_(runner) {}

  // For kinds skConnect, skDisconnect, skReconnect, skCreateDatabase and
  // skDropDatabase.
  void Execute(const TStatementDesc& entry, const std::vector<std::string>& lines,
               std::int32_t StatementNo);

  // A runner without Database gets an attachment of its own (OwnsDatabase).
  void EnsureDatabase();
  // Detaches, clears the parameter lines and reads USER, PASSWORD and ROLE
  // from the tokens at `p` onwards (up to `end`); then the run's SQL dialect,
  // client library and SET NAMES character set.
  void ApplyConnectOptions(TScriptPos p, TScriptPos end);

  // Start of RunScript.
  void BeginRun();
  // End of RunScript (`afterFile` false) or of the outermost ExecuteFile
  // (true), also when an error leaves them (`errorLeaving`: the work is then
  // rolled back instead of committed): forced writes back on, an owned
  // attachment released. Does nothing when nothing is to be undone.
  void Cleanup(bool afterFile, bool errorLeaving = false);

  // A command of the run moved, re-opened or closed the caller's attachment.
  bool CallerAttachmentChanged() const { return caller_attachment_changed_; }

private:
  void Connect(const TStatementDesc& entry, const std::vector<std::string>& lines,
               std::int32_t StatementNo);
  void Disconnect();
  void Reconnect();
  void CreateDatabase(const TStatementDesc& entry, const std::vector<std::string>& lines,
                      std::int32_t StatementNo);
  void DropDatabase(const TStatementDesc& entry);

  // Before a command moves, re-opens or closes the attachment: notes the
  // caller's database and that its attachment changed.
  void BeforeMoving();
  // Ends the attachment's stay on its database: the effective transaction
  // committed, forced writes back on when this run created the database,
  // then detached.
  void LeaveDatabase(TpFIBDatabase& db);
  bool OnCreatedDatabase(const TpFIBDatabase& db) const;
  // Re-attaches the created database with forced writes on.
  void RestoreForcedWrites(TpFIBDatabase& db, bool afterFile, bool stayAttached);
  // The error rule of CONNECT and of the creation step of CREATE DATABASE,
  // with OnExecuteError set: the handler is told, the error consumed.
  void ReportError(const EFIBError& error, const TStatementDesc& entry,
                   const std::vector<std::string>& lines, std::int32_t StatementNo);
  void EndTransaction(bool rollBack);
  // Throws when `name`, attached with `db`'s settings and `login`, is the
  // run's own database.
  void RefuseRunDatabase(const TpFIBDatabase& db, const std::string& name,
                         const std::function<void(TFIBDatabase&)>& login);

  TpFIBScripter& runner_;
  bool caller_attachment_changed_ = false;
  // The caller's database as the server names it (MON$DATABASE_NAME), taken
  // before the run's first command moves the attachment.
  bool run_database_noted_ = false;
  bool run_database_unknown_ = false;
  std::string run_database_name_;
  // DBName of the database created with forced writes off (while
  // ForceWriteChanged holds).
  std::string created_name_;
};

} // namespace nimbus
