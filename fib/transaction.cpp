#include "fib/transaction.h"

#include <algorithm>

#include "fib/base.h"
#include "fib/client_library.h"
#include "fib/database.h"
#include "fib/errors.h"
#include "fib/timer.h"
#include "fib/tpb.h"
#include "platform/fpu.h"

namespace nimbus {

namespace {

// One database of isc_start_multiple's list, laid out as the client expects.
struct TTransactionExistenceBlock {
  isc_db_handle* Database;
  int32_t TPBLength;
  const char* TPB;
};

} // namespace

// --- TTRParams --------------------------------------------------------------

TTRParams::TTRParams(TFIBTransaction& owner) {
  OnChanging = [&owner] { owner.CheckNotInTransaction(); };
  OnChange = [&owner] { owner.tpb_dirty_ = true; };
}

// --- TFIBTransaction --------------------------------------------------------

TFIBTransaction::TFIBTransaction(TComponent* owner) : TComponent(owner), tr_params_(*this) {}

TFIBTransaction::~TFIBTransaction() {
  try {
    if (Active())
      EndByTimeoutAction();
  } catch (...) {
    // A destructor must not throw; the forced end has dropped the handle.
  }
  FreeListeners.FireBackward(this);
  while (!sql_objects_.empty()) {
    TFIBBase* link = sql_objects_.back();
    sql_objects_.pop_back();
    if (!link)
      continue;
    // Unlinked before its handler runs, so the handler cannot remove it twice.
    link->transaction_ = nullptr;
    link->index_in_transaction_ = -1;
    if (link->OnTransactionFree)
      link->OnTransactionFree(link);
  }
  while (!databases_.empty())
    RemoveDatabase(static_cast<int>(databases_.size()) - 1);
}

void TFIBTransaction::SetActive(bool value) {
  if (value && !Active())
    StartTransaction();
  else if (!value && Active())
    Rollback();
}

void TFIBTransaction::SetDefaultDatabase(TFIBDatabase* db) {
  CheckNotInTransaction();
  if (db == default_database_)
    return;
  TFIBDatabase* old = default_database_;
  if (db)
    db->AddTransaction(this);
  const int old_index = FindDatabase(old);
  if (old_index >= 0)
    RemoveDatabase(old_index);
  try {
    AddDatabase(db);
  } catch (...) {
    // Leave both databases as they were rather than listed on one side only.
    if (db && FindDatabase(db) < 0)
      db->DropTransactionEntry(this);
    if (old_index >= 0)
      AddDatabase(old);
    default_database_ = old;
    throw;
  }
  default_database_ = db;
}

TFIBDatabase* TFIBTransaction::MainDatabase() const {
  if (default_database_)
    return default_database_;
  return databases_.empty() ? nullptr : databases_.front();
}

void TFIBTransaction::SetTimeout(uint32_t milliseconds) {
  timeout_ = milliseconds;
  if (milliseconds == 0) {
    timer_.reset();
    return;
  }
  if (!timer_) {
    timer_ = CreateFIBTimer();
    timer_->SetOnTimer([this] { TimerTick(); });
  }
  timer_->SetInterval(milliseconds);
  if (Active())
    timer_->Start();
}

void TFIBTransaction::TimerTick() {
  if (!Active())
    return;
  if (!idle_marker_) {
    idle_marker_ = true;
    return;
  }
  // Runs from the message loop: nothing may escape.
  try {
    EndTransaction(timeout_action_, true);
    if (OnTimeout)
      OnTimeout(this);
  } catch (...) {
  }
}

int TFIBTransaction::FindDatabase(const TFIBDatabase* db) const {
  if (!db)
    return -1;
  const auto it = std::find(databases_.begin(), databases_.end(), db);
  return it == databases_.end() ? -1 : static_cast<int>(it - databases_.begin());
}

int TFIBTransaction::AddDatabase(TFIBDatabase* db) {
  if (!db)
    return -1;
  const int found = FindDatabase(db);
  if (found >= 0)
    return found;
  if (!databases_.empty() && databases_.front()->LibraryName() != db->LibraryName())
    throw Exception(ComponentPath(this) +
                    ".\r\nTransaction can't work with different client library.");
  db->AddTransaction(this);
  databases_.push_back(db);
  return static_cast<int>(databases_.size()) - 1;
}

void TFIBTransaction::RemoveDatabase(int index) {
  if (index < 0 || index >= DatabaseCount())
    return;
  TFIBDatabase* db = databases_[index];
  databases_.erase(databases_.begin() + index);
  UnlinkDatabase(db);
}

void TFIBTransaction::UnlinkDatabase(TFIBDatabase* db) {
  db->DropTransactionEntry(this);
  if (default_database_ == db)
    default_database_ = nullptr;
  db->ForgetDefaultTransaction(this);
}

int TFIBTransaction::AddSQLObject(TFIBBase* link) {
  const auto empty = std::find(sql_objects_.begin(), sql_objects_.end(), nullptr);
  if (empty != sql_objects_.end()) {
    *empty = link;
    return static_cast<int>(empty - sql_objects_.begin());
  }
  sql_objects_.push_back(link);
  return static_cast<int>(sql_objects_.size()) - 1;
}

void TFIBTransaction::RemoveSQLObject(int index) {
  TFIBBase::RemoveLinkAt(sql_objects_, index, &TFIBBase::transaction_,
                         &TFIBBase::index_in_transaction_);
}

ISC_STATUS TFIBTransaction::CheckStatus(ISC_STATUS status, bool raise) {
  RestoreDefaultFPUControlWord();
  idle_marker_ = false;
  for (TFIBDatabase* db : databases_)
    db->CheckStatus(status, false);
  if (raise && status > 0) {
    if (databases_.empty() || !databases_.front()->ClientLibrary())
      RaiseClientError(18, {ComponentPath(this)});
    RaiseServerError(*databases_.front()->ClientLibrary(), this);
  }
  return status;
}

void TFIBTransaction::CheckInTransaction() {
  if (Active())
    return;
  const bool all_reconnect =
      !databases_.empty() && std::all_of(databases_.begin(), databases_.end(),
                                         [](TFIBDatabase* db) { return db->AutoReconnect; });
  if (all_reconnect) {
    StartTransaction();
    return;
  }
  RaiseClientError(15, {ComponentPath(this)});
}

void TFIBTransaction::CheckNotInTransaction() {
  if (Active())
    RaiseClientError(16, {ComponentPath(this)});
}

void TFIBTransaction::CheckDatabasesInList() {
  if (databases_.empty())
    RaiseClientError(18, {ComponentPath(this)});
}

template <typename Member> void TFIBTransaction::NotifyLinks(Member member) {
  // By index: a handler may unlink itself or others.
  for (size_t i = 0; i < sql_objects_.size(); ++i)
    if (TFIBBase* link = sql_objects_[i]; link && link->*member)
      (link->*member)(this);
}

void TFIBTransaction::StartTransaction() {
  CheckNotInTransaction();
  CheckDatabasesInList();
  for (TFIBDatabase* db : databases_) {
    db->CheckConnected(true);
    if (!db->Connected())
      return;
  }
  if (tpb_dirty_) {
    tpb_dirty_ = false;
    // Trimmed lines are stored back, which dirties the block again: every
    // start rebuilds it, so a failed build never leaves a stale one behind.
    struct Redirty {
      TFIBTransaction& t;
      ~Redirty() { t.tpb_dirty_ = !t.tr_params_.Empty(); }
    } redirty{*this};
    TFIBDatabase* main = MainDatabase();
    BuildTPB(tr_params_.lines_, tpb_, tpb_length_, main && main->IsFirebird21OrLater());
  }
  std::vector<TTransactionExistenceBlock> blocks;
  for (TFIBDatabase* db : databases_)
    blocks.push_back({db->HandleAddress(), tpb_length_, tpb_.data()});

  NotifyLinks(&TFIBBase::BeforeTransactionStart);
  if (!Active()) {
    StartListeners.FireBackward(this);
    IIBClientLibrary& library = Library();
    const ISC_STATUS status =
        CheckStatus(library.isc_start_multiple(StatusVector(), &handle_,
                                               static_cast<short>(blocks.size()), blocks.data()),
                    false);
    if (status > 0) {
      handle_ = 0;
      RaiseServerError(*databases_.front()->ClientLibrary(), this);
    }
    StartedListeners.FireBackward(this);
  }
  NotifyLinks(&TFIBBase::AfterTransactionStart);
  state_ = tsActive;
  if (timer_ && timer_->Interval() > 0)
    timer_->Start();
}

IIBClientLibrary& TFIBTransaction::Library() const {
  TFIBDatabase* main = MainDatabase();
  if (!main || !main->ClientLibrary())
    RaiseClientError(18, {ComponentPath(this)});
  return *main->ClientLibrary();
}

void TFIBTransaction::NotifyEnding(TTransactionAction action, bool force) {
  NotifyLinks(&TFIBBase::BeforeTransactionEnd);
  EndListeners.Fire(this, action, force);
}

void TFIBTransaction::NotifyEnded(TTransactionAction action, bool force) {
  NotifyLinks(&TFIBBase::AfterTransactionEnd);
  EndedListeners.Fire(this, action, force);
}

void TFIBTransaction::EndTransaction(TTransactionAction action, bool force) {
  CheckInTransaction();
  IIBClientLibrary& library = Library();
  switch (action) {
  case TARollbackRetaining:
    state_ = tsRollingBackRetaining;
    NotifyEnding(action, force);
    CheckStatus(library.isc_rollback_retaining(StatusVector(), &handle_), true);
    NotifyEnded(action, force);
    break;
  case TACommitRetaining:
    state_ = tsCommittingRetaining;
    NotifyEnding(action, force);
    CheckStatus(library.isc_commit_retaining(StatusVector(), &handle_), true);
    NotifyEnded(action, force);
    break;
  case TARollback:
  case TACommit: {
    state_ = action == TACommit ? tsCommitting : tsRollingBack;
    NotifyEnding(action, force);
    ISC_STATUS status =
        CheckStatus(action == TACommit ? library.isc_commit_transaction(StatusVector(), &handle_)
                                       : library.isc_rollback_transaction(StatusVector(), &handle_),
                    false);
    if (force && status > 0)
      status = CheckStatus(library.isc_rollback_transaction(StatusVector(), &handle_), false);
    if (force)
      handle_ = 0;
    else if (status > 0)
      RaiseServerError(*databases_.front()->ClientLibrary(), this);
    NotifyEnded(action, force);
    break;
  }
  }
  if (Active()) {
    state_ = tsActive;
  } else {
    state_ = tsInactive;
    if (timer_)
      timer_->Stop();
  }
}

void TFIBTransaction::NotifySQLExecute(TFIBQuery*, TFIBSQLTypes, int) {
  // Watching uncommitted updates is off in this system: nothing to record.
}

void TFIBTransaction::Commit() {
  EndTransaction(TACommit, false);
}
void TFIBTransaction::CommitRetaining() {
  EndTransaction(TACommitRetaining, false);
}
void TFIBTransaction::Rollback() {
  EndTransaction(TARollback, false);
}
void TFIBTransaction::RollbackRetaining() {
  EndTransaction(TARollbackRetaining, false);
}

void TFIBTransaction::EndByTimeoutAction() {
  if (!Active())
    return;
  TTransactionAction action = timeout_action_;
  if (action == TACommitRetaining)
    action = TACommit;
  else if (action == TARollbackRetaining)
    action = TARollback;
  EndTransaction(action, true);
}

// --- TpFIBTransaction -------------------------------------------------------

TpFIBTransaction::TpFIBTransaction(TComponent* owner) : TFIBTransaction(owner) {}

TpFIBTransaction::~TpFIBTransaction() {
  // Ended here rather than in the base so the end events still run.
  try {
    EndByTimeoutAction();
  } catch (...) {
  }
}

void TpFIBTransaction::StartTransaction() {
  if (Active())
    return;
  if (TPBMode == tpbReadCommitted || TPBMode == tpbRepeatableRead) {
    std::vector<std::string> lines = {"write", "isc_tpb_nowait"};
    if (TPBMode == tpbReadCommitted) {
      lines.push_back("read_committed");
      lines.push_back("rec_version");
    } else {
      lines.push_back("concurrency");
    }
    TRParams().Assign(std::move(lines));
  }
  auto* db = dynamic_cast<TpFIBDatabase*>(DefaultDatabase());
  if (db && db->BeforeStartTransaction)
    db->BeforeStartTransaction(this);
  if (BeforeStart)
    BeforeStart(this);
  TFIBTransaction::StartTransaction();
  if (AfterStart)
    AfterStart(this);
  if (db && db->AfterStartTransaction)
    db->AfterStartTransaction(this);
}

void TpFIBTransaction::EndTransaction(TTransactionAction action, bool force) {
  auto* db = dynamic_cast<TpFIBDatabase*>(DefaultDatabase());
  if (db && db->BeforeEndTransaction)
    db->BeforeEndTransaction(this, action, force);
  if (BeforeEnd)
    BeforeEnd(this, action, force);
  TFIBTransaction::EndTransaction(action, force);
  if (AfterEnd)
    AfterEnd(this, action, force);
  if (db && db->AfterEndTransaction)
    db->AfterEndTransaction(this, action, force);
}

void TpFIBTransaction::NotifySQLExecute(TFIBQuery* statement, TFIBSQLTypes sqlType, int kind) {
  if (kind == 0 && BeforeSQLExecute)
    BeforeSQLExecute(statement, sqlType);
  else if (kind == 1 && AfterSQLExecute)
    AfterSQLExecute(statement, sqlType);
}

} // namespace nimbus
