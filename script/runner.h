#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/component.h"
#include "script/database_commands.h"
#include "script/directives.h"
#include "script/exec_block.h"
#include "script/parser.h"
#include "script/script_file.h"
#include "script/script_lines.h"
#include "script/script_types.h"

namespace nimbus {

class EFIBError;
class TpFIBDatabase;
class TpFIBQuery;
class TpFIBTransaction;
class TpFIBScripter;

// Before a statement is handled, and after it ran through the runner's own
// statement. Line is the 1-based line of the statement's first character,
// StatementNo its 1-based number; Statement holds the text that runs.
using TOnStatementExecute =
    std::function<void(TpFIBScripter* Sender, std::int32_t Line, std::int32_t StatementNo,
                       const TStatementDesc& Desc, const std::vector<std::string>& Statement)>;

// A statement failed with an access-layer error. doRollBack and Stop arrive
// true: left so, the transaction is rolled back and the run ends before the
// next statement. Note the order: StatementNo before Line, unlike above.
using TOnSQLScriptExecError =
    std::function<void(TpFIBScripter* Sender, std::int32_t StatementNo, std::int32_t Line,
                       const std::vector<std::string>& Statement, std::int32_t SQLCode,
                       const std::string& Msg, bool& doRollBack, bool& Stop)>;

// Told after each statement that ran, before AfterStatementExecute.
using TScriptProgressHandler = std::function<void(std::int32_t Line, std::int32_t StatementNo)>;

// The runner as a service, for callers that drive it without the component.
class IFIBScripter {
public:
  virtual void SetProgressHandler(TScriptProgressHandler handler) = 0;
  virtual void ParseScript(const std::string& Terminator) = 0;
  virtual void RunScript(std::int32_t N) = 0;
  virtual void ExecuteFile(const std::string& FileName, const std::string& Terminator) = 0;
  virtual std::int32_t StatementCount() const = 0;

protected:
  ~IFIBScripter() = default;
};

// Runs an SQL script against an attachment, statement by statement, through
// one statement object of its own, inside the transaction it is given (its
// own one when none). Beside SQL it carries out COMMIT, ROLLBACK, the SET
// forms that change its settings, REINSERT, DESCRIBE and the directive
// statements itself; conditional directives decide which statements run.
//
// Ending the caller's transaction is the caller's business: the runner
// commits only at COMMIT and after DDL (AutoDDL), and rolls back only at
// ROLLBACK and on the error path.
//
// Failures: access-layer errors (EFIBError) while executing go to
// OnExecuteError when it is set; one that says the attachment is lost
// (IsConnectionLost) then leaves RunScript as well. Every other error (parse, directive,
// conversion, general errors of script commands) leaves RunScript, after the
// end-of-run clean-up. Not re-entrant: a handler must not run the runner or
// change Script.
class TpFIBScripter : public TComponent, public IFIBScripter {
public:
  explicit TpFIBScripter(TComponent* owner = nullptr);
  ~TpFIBScripter() override;

  // Any change of the lines forgets the parse, at the moment it begins.
  TScriptLines& Script() { return script_; }
  const TScriptLines& Script() const { return script_; }
  void SetScript(const std::vector<std::string>& lines) { script_.Assign(lines); }

  TpFIBDatabase* Database() const { return database_; }
  // Commits an active effective transaction first; points the transactions
  // and the own statement at `value`.
  void SetDatabase(TpFIBDatabase* value);
  TpFIBTransaction* Transaction() const { return transaction_; }
  // A transaction whose default database is not Database gets Database.
  void SetTransaction(TpFIBTransaction* value);
  // Transaction when set, else OwnTransaction.
  TpFIBTransaction* EffectiveTransaction() const;

  bool AutoDDL = true; // commit after every statement the statement layer sees as DDL
  bool UseExecBlockForDML = false;
  // Folder of the main script: relative INPUT and SET BLOBFILE names are
  // read against it. Empty: the working folder.
  std::string ScriptFolder;
  TOnSQLScriptExecError OnExecuteError;
  TOnStatementExecute BeforeStatementExecute;
  TOnStatementExecute AfterStatementExecute;

  void SetProgressHandler(TScriptProgressHandler handler) override;
  // Parses Script; a SET TERM in it leaves `Terminator` unchanged. A parse
  // error propagates and leaves Parsed false.
  void ParseScript(const std::string& Terminator) override;
  // Runs statements N (1-based; below 1 counts as 1) to the last, parsing
  // with ";" first when the script is not parsed.
  void RunScript(std::int32_t N) override;
  // Runs a script file line by line (INPUT).
  void ExecuteFile(const std::string& FileName, const std::string& Terminator) override;
  // Entries of the statement map; 0 before a parse.
  std::int32_t StatementCount() const override;

  // One statement whose text is in `lines`. Line -1 takes the event line from
  // the entry; StatementNo is index + 1. `lines` may be rewritten (REINSERT,
  // DESCRIBE).
  void ExecuteStatement(const TStatementDesc& entry, std::vector<std::string>& lines,
                        std::int32_t Line, std::int32_t index);
  // Runs what OwnStatement holds for the current statement, with the events,
  // the AutoDDL commit and the error path.
  void ExecuteCurrent(const TStatementDesc& entry, const std::vector<std::string>& lines,
                      std::int32_t Line, std::int32_t StatementNo);

  // Conditional directives (see TScriptDirectives).
  bool DirectiveAllows(std::int32_t directiveIndex, bool inElseBranch) {
    return directives_.DirectiveAllows(directiveIndex, inElseBranch);
  }
  std::uint8_t EvaluateDirective(const TDirectiveDesc& entry) {
    return directives_.EvaluateDirective(entry);
  }
  void RunDirectiveStatement(const std::vector<std::string>& lines, const TStatementDesc& entry) {
    directives_.RunDirectiveStatement(lines, entry);
  }
  void RefreshServerConstants() { directives_.RefreshServerConstants(); }
  const std::vector<std::string>& Defines() const { return directives_.Defines(); }
  const std::vector<std::string>& Constants() const { return directives_.Constants(); }

  // Owned parts.
  TpFIBScriptParser& Parser() { return parser_; }
  TpFIBTransaction* OwnTransaction() const { return own_transaction_; }
  TpFIBQuery* OwnStatement() const { return own_statement_; }
  const TScriptMap& StatementMap() const { return statements_; }
  TDirectivesMap& DirectiveMap() { return directive_map_; }
  // The lines the current statement positions point into: Script, or the
  // chunk of a file being run.
  const std::vector<std::string>& Source() const { return *source_; }

  // Run state.
  bool Parsed() const { return parsed_; }
  bool ScriptConnects() const { return script_connects_; }
  bool ScriptHasDML() const { return script_has_dml_; }
  bool ScriptHasUnrecognized() const { return script_has_unrecognized_; }
  bool StopRequested() const { return stop_requested_; }
  // Number of the statement before which the last run stopped; 0 when it
  // ran to its end.
  std::int32_t StoppedAt() const { return stopped_at_; }
  std::int32_t Dialect() const { return dialect_; }
  const std::string& NamesCharset() const { return names_charset_; }
  const std::string& ClientLibraryName() const { return client_library_name_; }
  const std::string& BlobFileName() const { return blob_file_name_; }
  bool OwnsDatabase() const { return owns_database_; }
  bool ForceWriteChanged() const { return force_write_changed_; }
  // A database command of the last run (CONNECT, DISCONNECT, RECONNECT,
  // CREATE or DROP DATABASE) worked on the caller's attachment: it may now
  // stand on another database, with the script's settings, or be a new
  // attachment; the caller closes it before its next script.
  bool CallerAttachmentChanged() const { return database_commands_.CallerAttachmentChanged(); }
  const std::string& LastInsertText() const { return last_insert_text_; }
  const std::string& ReinsertHead() const { return reinsert_head_; }
  bool ReinsertHeadValid() const { return reinsert_head_valid_; }
  bool InBatch() const { return in_batch_; }
  const std::vector<std::string>& BatchTexts() const { return batch_texts_; }

protected:
  void Notification(TComponent* component, TOperation operation) override;

private:
  friend class TScriptDirectives;
  friend class TScriptDatabaseCommands;
  friend class TExecBlockBatcher;
  friend class TScriptFileRunner;

  void ScriptChanging();
  // Algorithm of an access-layer error with a handler: reports it, rolls
  // back when the handler leaves doRollBack, and consumes it.
  void ErrorPath(const EFIBError& error, const TStatementDesc& entry,
                 const std::vector<std::string>& lines, std::int32_t StatementNo);
  // A failed commit: reported, then the transaction is rolled back, because
  // every later commit of it would fail the same way.
  void CommitFailed(const EFIBError& error, const TStatementDesc& entry,
                    const std::vector<std::string>& lines, std::int32_t StatementNo);
  // Raises a client error for the parameters of OwnStatement that nothing
  // gives a value: every one but the blob-file parameters after SET BLOBFILE.
  void RefuseUnboundParams();
  void RunCommit(const TStatementDesc& entry, const std::vector<std::string>& lines,
                 std::int32_t StatementNo);
  // ROLLBACK [WORK] TO [SAVEPOINT] goes to the server instead.
  bool IsRollbackToSavepoint(const TStatementDesc& entry) const;
  void RunAsDML(const TStatementDesc& entry, std::vector<std::string>& lines, std::int32_t Line,
                std::int32_t StatementNo);

  // Script commands (runner_commands.cpp).
  void RunSet(const TStatementDesc& entry);
  void RewriteReinsert(std::vector<std::string>& lines);
  void RunDescribe(const TStatementDesc& entry, std::vector<std::string>& lines, std::int32_t Line,
                   std::int32_t StatementNo);
  bool CommentOnDescribes() const;

  TScriptLines script_;
  const std::vector<std::string>* source_ = &script_.Lines();
  TpFIBScriptParser parser_;
  TScriptMap statements_;
  TDirectivesMap directive_map_;
  TScriptDirectives directives_{*this};
  TScriptDatabaseCommands database_commands_{*this};
  TExecBlockBatcher exec_block_{*this};
  TScriptFileRunner script_file_{*this};

  TpFIBDatabase* database_ = nullptr;
  TpFIBTransaction* transaction_ = nullptr;
  // The attachment a database command created for a runner that had none;
  // a child component, released when Database moves elsewhere.
  TpFIBDatabase* owned_database_ = nullptr;
  TpFIBTransaction* own_transaction_ = nullptr; // owned through the component tree
  TpFIBQuery* own_statement_ = nullptr;         // likewise
  TScriptProgressHandler progress_;

  bool parsed_ = false;
  bool script_connects_ = false;
  bool script_has_dml_ = false;
  bool script_has_unrecognized_ = false;
  bool stop_requested_ = false;
  bool running_ = false; // inside RunScript
  std::int32_t stopped_at_ = 0;
  std::int32_t dialect_ = 3;
  std::string names_charset_;
  std::string client_library_name_;
  std::string blob_file_name_;
  bool owns_database_ = false;
  bool force_write_changed_ = false;
  std::string last_insert_text_;
  std::string reinsert_head_;
  bool reinsert_head_valid_ = false;
  bool in_batch_ = false;
  std::vector<std::string> batch_texts_;
};

} // namespace nimbus
