#include "script/runner.h"

#include <algorithm>
#include <stdexcept>

#include "fib/database.h"
#include "fib/errors.h"
#include "fib/query.h"
#include "fib/transaction.h"
#include "script/script_text.h"

namespace nimbus {

namespace {

// Statements the EXECUTE BLOCK buffer may take.
bool Batchable(TStatementKind kind) {
  return kind == skDML || kind == skInsert || kind == skReinsert;
}

} // namespace

TpFIBScripter::TpFIBScripter(TComponent* owner) : TComponent(owner) {
  script_.OnChanging = [this] { ScriptChanging(); };
  own_transaction_ = new TpFIBTransaction(this);
  own_statement_ = new TpFIBQuery(this);
  own_statement_->SetTransaction(own_transaction_);
  // Script statements are mostly plain DML: one round trip each instead of
  // prepare and execute (a build option turns it off to measure the gain).
  own_statement_->ImmediateWhenPlain = NIMBUS_IMMEDIATE_PLAIN != 0;
}

TpFIBScripter::~TpFIBScripter() {
  script_.OnChanging = nullptr;
  // The own statement, the own transaction and an owned attachment are
  // children: the component tree releases them.
}

// --- references ---------------------------------------------------------------

TpFIBTransaction* TpFIBScripter::EffectiveTransaction() const {
  return transaction_ ? transaction_ : own_transaction_;
}

void TpFIBScripter::SetDatabase(TpFIBDatabase* value) {
  TpFIBTransaction* effective = EffectiveTransaction();
  if (effective->Active())
    effective->Commit();
  if (owns_database_ && value != owned_database_) {
    TpFIBDatabase* owned = owned_database_;
    owned_database_ = nullptr;
    owns_database_ = false;
    delete owned; // its free notification clears database_ when it is the one in use
  }
  if (database_ && database_ != value)
    RemoveFreeNotification(database_);
  database_ = value;
  if (value)
    FreeNotification(value);
  if (own_transaction_->DefaultDatabase() != value)
    own_transaction_->SetDefaultDatabase(value);
  if (transaction_ && transaction_->DefaultDatabase() != value)
    transaction_->SetDefaultDatabase(value);
  own_statement_->SetDatabase(value);
  own_statement_->SetTransaction(EffectiveTransaction());
}

void TpFIBScripter::SetTransaction(TpFIBTransaction* value) {
  if (transaction_ && transaction_ != value)
    RemoveFreeNotification(transaction_);
  transaction_ = value;
  if (value) {
    FreeNotification(value);
    if (value->DefaultDatabase() != database_)
      value->SetDefaultDatabase(database_);
  }
  own_statement_->SetTransaction(EffectiveTransaction());
}

void TpFIBScripter::Notification(TComponent* component, TOperation operation) {
  TComponent::Notification(component, operation);
  if (operation != TOperation::opRemove || !component)
    return;
  if (component == owned_database_) {
    owned_database_ = nullptr;
    owns_database_ = false;
  }
  if (component == database_)
    database_ = nullptr;
  if (component == transaction_) {
    transaction_ = nullptr;
    try {
      own_statement_->SetTransaction(own_transaction_);
    } catch (...) {
      // A notification must not throw; the statement is checked again when
      // it next runs.
    }
  }
}

void TpFIBScripter::ScriptChanging() {
  statements_.clear();
  directive_map_.clear();
  parsed_ = false;
}

// --- parse and run --------------------------------------------------------------

void TpFIBScripter::SetProgressHandler(TScriptProgressHandler handler) {
  progress_ = std::move(handler);
}

void TpFIBScripter::ParseScript(const std::string& Terminator) {
  script_connects_ = script_has_dml_ = script_has_unrecognized_ = false;
  client_library_name_ = "gds32.dll";
  parsed_ = false;
  std::string terminator = Terminator; // a SET TERM in the script stays inside
  parser_.Parse(script_.Lines(), terminator, true, directive_map_, statements_);
  parsed_ = true;
  script_connects_ = parser_.MakesConnection();
  script_has_dml_ = parser_.HasDML();
  script_has_unrecognized_ = parser_.HasUnrecognized();
}

std::int32_t TpFIBScripter::StatementCount() const {
  return static_cast<std::int32_t>(statements_.size());
}

void TpFIBScripter::RunScript(std::int32_t N) {
  last_insert_text_.clear();
  reinsert_head_valid_ = false;
  stop_requested_ = false;
  stopped_at_ = 0;
  if (!parsed_)
    ParseScript(";");
  dialect_ = 3;
  names_charset_.clear();
  database_commands_.BeginRun();

  // Unsent statements and an open batch belong to the script that left them.
  exec_block_.Discard();
  running_ = true;
  const auto endOfRun = [this](bool errorLeaving) {
    running_ = false;
    exec_block_.Discard();
    database_commands_.Cleanup(false, errorLeaving);
    script_file_.CloseBlobFile();
  };
  try {
    // The built-in symbol and constants describe the attachment the script
    // runs on: without this a caller's own attachment would have none.
    if (database_ && database_->Connected())
      RefreshServerConstants();
    std::vector<std::string> lines;
    const std::int32_t count = StatementCount();
    bool stopped = false;
    for (std::int32_t k = std::max(N, 1); k <= count; ++k) {
      if (stop_requested_) {
        stopped_at_ = k;
        stopped = true;
        break;
      }
      // A handler that changed Script emptied the map.
      if (k > StatementCount())
        throw std::runtime_error("Statement \xB9" + std::to_string(k) + " don't exist");
      // A copy: the entry must outlive a handler that changes Script.
      const TStatementDesc entry = statements_[k - 1];
      StatementText(*source_, entry.StartPos, entry.EndPos, lines);
      if (entry.Kind == skBatchStart || entry.Kind == skBatchExecute || in_batch_)
        exec_block_.HandleBatchStatement(entry, lines, entry.StartPos.Line + 1, k);
      else
        ExecuteStatement(entry, lines, -1, k - 1);
    }
    // The last statement's handler may have asked to stop as well.
    if (!stopped && stop_requested_) {
      stopped_at_ = count + 1;
      stopped = true;
    }
    if (!stopped)
      exec_block_.FinishRun();
  } catch (...) {
    try {
      endOfRun(true);
    } catch (...) {
      // The error that ended the run is the one to report.
    }
    throw;
  }
  endOfRun(false);
}

void TpFIBScripter::ExecuteFile(const std::string& FileName, const std::string& Terminator) {
  script_file_.ExecuteFile(FileName, Terminator);
}

// --- one statement --------------------------------------------------------------

void TpFIBScripter::ExecuteStatement(const TStatementDesc& entry, std::vector<std::string>& lines,
                                     std::int32_t Line, std::int32_t index) {
  const std::int32_t statementNo = index + 1;
  const std::int32_t line = Line < 0 ? entry.StartPos.Line + 1 : Line;
  if (own_statement_->Open())
    own_statement_->Close();
  if (entry.DirectiveIndex >= 0 && !DirectiveAllows(entry.DirectiveIndex, entry.InElseBranch))
    return;
  if (BeforeStatementExecute)
    BeforeStatementExecute(this, line, statementNo, entry, lines);
  if (UseExecBlockForDML && !Batchable(entry.Kind) && exec_block_.HoldsStatements() &&
      !exec_block_.FlushBefore(entry, lines, line, statementNo))
    return; // a statement of the block failed and its handler stopped the run

  switch (entry.Kind) {
  case skConnect:
  case skDisconnect:
  case skReconnect:
  case skCreateDatabase:
  case skDropDatabase:
    database_commands_.Execute(entry, lines, statementNo);
    return;
  case skCommit:
    RunCommit(entry, lines, statementNo);
    return;
  case skRollback:
    if (IsRollbackToSavepoint(entry))
      break; // the server undoes the work after the savepoint
    if (TpFIBTransaction* t = EffectiveTransaction(); t->Active())
      t->Rollback();
    return;
  case skSet:
    RunSet(entry);
    return;
  case skDescribe:
    RunDescribe(entry, lines, line, statementNo);
    return;
  case skInput:
    script_file_.Input(entry);
    return;
  case skDirective:
    RunDirectiveStatement(lines, entry);
    return;
  case skInsert:
    last_insert_text_ = JoinLines(lines);
    reinsert_head_valid_ = false;
    break;
  case skReinsert:
    RewriteReinsert(lines);
    break;
  default:
    break;
  }
  RunAsDML(entry, lines, line, statementNo);
}

void TpFIBScripter::RunAsDML(const TStatementDesc& entry, std::vector<std::string>& lines,
                             std::int32_t Line, std::int32_t StatementNo) {
  try {
    own_statement_->SQL().Assign(lines);
  } catch (const EFIBError& error) {
    // The statement layer refused the text (a parameter marker without a
    // name...): a failing statement like any other.
    if (!OnExecuteError)
      throw;
    ErrorPath(error, entry, lines, StatementNo);
    return;
  }
  if (UseExecBlockForDML && Batchable(entry.Kind) &&
      exec_block_.Take(entry, lines, Line, StatementNo))
    return;
  ExecuteCurrent(entry, lines, Line, StatementNo);
}

void TpFIBScripter::ExecuteCurrent(const TStatementDesc& entry,
                                   const std::vector<std::string>& lines, std::int32_t Line,
                                   std::int32_t StatementNo) {
  TpFIBTransaction* t = EffectiveTransaction();
  const bool ddl = AutoDDL && own_statement_->SQLKind() == KindDDL;
  bool committing = false;
  try {
    RefuseUnboundParams();
    // Firebird does a DDL statement's deferred work at commit, where it can
    // still fail and the commit after it has to roll back: the work before
    // it is committed first, so that such a failure takes only its own.
    if (ddl && t->Active()) {
      committing = true;
      t->Commit();
      committing = false;
    }
    if (!t->Active())
      t->StartTransaction();
    if (!blob_file_name_.empty() && own_statement_->ParamCount() > 0)
      script_file_.BindBlobParams();
    own_statement_->ExecQuery();
    if (progress_)
      progress_(Line, StatementNo);
    if (AfterStatementExecute)
      AfterStatementExecute(this, Line, StatementNo, entry, lines);
    if (ddl) {
      committing = true;
      own_statement_->Transaction()->Commit();
    }
  } catch (const EFIBError& error) {
    if (!OnExecuteError)
      throw;
    if (committing)
      CommitFailed(error, entry, lines, StatementNo);
    else
      ErrorPath(error, entry, lines, StatementNo);
  }
}

void TpFIBScripter::RefuseUnboundParams() {
  // Only blob-file parameters get values in a script; any other would go to
  // the server as NULL and overwrite data without a word. A value left by an
  // earlier statement under the same name does not count.
  const bool blobFile = !blob_file_name_.empty();
  std::vector<std::string> unbound;
  for (int i = 0; i < own_statement_->ParamCount(); ++i) {
    const std::string& name = own_statement_->ParamName(i);
    if (blobFile && TScriptFileRunner::IsBlobFileParam(name))
      continue;
    if (std::find(unbound.begin(), unbound.end(), name) == unbound.end())
      unbound.push_back(name);
  }
  if (unbound.empty())
    return;
  std::string list;
  for (const std::string& name : unbound)
    list += (list.empty() ? ":" : ", :") + name;
  RaiseClientErrorMessage(
      (unbound.size() == 1 ? "Parameter " + list + " has" : "Parameters " + list + " have") +
      " no value; the statement was not executed");
}

void TpFIBScripter::ErrorPath(const EFIBError& error, const TStatementDesc& entry,
                              const std::vector<std::string>& lines, std::int32_t StatementNo) {
  stop_requested_ = true;
  bool doRollBack = true;
  OnExecuteError(this, StatementNo, entry.StartPos.Line + 1, lines, error.SQLCode(),
                 error.Message(), doRollBack, stop_requested_);
  // Every later statement would fail the same way, and a script that ran
  // none of them must not end as if it had succeeded. Called from handlers
  // only: this rethrows the error being handled.
  if (IsConnectionLost(error))
    throw;
  // Not when the failure was the start itself: there is nothing to undo.
  if (TpFIBTransaction* t = EffectiveTransaction(); doRollBack && t->Active())
    t->Rollback();
}

void TpFIBScripter::CommitFailed(const EFIBError& error, const TStatementDesc& entry,
                                 const std::vector<std::string>& lines, std::int32_t StatementNo) {
  ErrorPath(error, entry, lines, StatementNo);
  // Firebird raises deferred DDL errors at commit and keeps the transaction
  // with the failed work: every later commit would fail the same way and
  // take the rest of the script with it.
  if (TpFIBTransaction* t = EffectiveTransaction(); t->Active())
    t->Rollback();
}

void TpFIBScripter::RunCommit(const TStatementDesc& entry, const std::vector<std::string>& lines,
                              std::int32_t StatementNo) {
  TpFIBTransaction* t = EffectiveTransaction();
  if (!t->Active())
    return;
  try {
    t->Commit();
  } catch (const EFIBError& error) {
    if (!OnExecuteError)
      throw;
    CommitFailed(error, entry, lines, StatementNo);
  }
}

bool TpFIBScripter::IsRollbackToSavepoint(const TStatementDesc& entry) const {
  const std::vector<std::string>& source = *source_;
  TScriptPos pos = NextToken(source, entry.StartPos, entry.EndPos);
  if (pos.Col && MatchKeyword("WORK", source[pos.Line], pos.Col))
    pos = NextToken(source, pos, entry.EndPos);
  return pos.Col && MatchKeyword("TO", source[pos.Line], pos.Col);
}

} // namespace nimbus
