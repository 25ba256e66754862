#include "fib/database.h"

#include <algorithm>

#include "fib/base.h"
#include "fib/errors.h"
#include "fib/timer.h"
#include "platform/exception.h"
#include "platform/fpu.h"
#include "platform/os.h"

namespace nimbus {

namespace {

struct TDatabaseRegistry {
  std::mutex Lock;
  std::vector<TFIBDatabase*> Databases;
};

TDatabaseRegistry& Registry() {
  static TDatabaseRegistry registry;
  return registry;
}

// Text of a failed handler, whatever it threw.
std::string MessageOf(const std::exception_ptr& error) {
  try {
    std::rethrow_exception(error);
  } catch (const std::exception& e) {
    return e.what();
  } catch (...) {
    return {};
  }
}

} // namespace

std::recursive_mutex& AttachLock() {
  static std::recursive_mutex lock;
  return lock;
}

std::vector<TFIBDatabase*> DatabaseList() {
  TDatabaseRegistry& registry = Registry();
  std::lock_guard guard(registry.Lock);
  return registry.Databases;
}

void CloseAllDatabases() {
  for (TFIBDatabase* db : DatabaseList()) {
    try {
      db->Close();
    } catch (...) {
      // Shutdown goes on with the next database.
    }
  }
}

void InitDatabaseList() {
  AttachLock();
  Registry();
}

// --- TFIBDatabase -----------------------------------------------------------

TFIBDatabase::TFIBDatabase(TComponent* owner)
    : TComponent(owner), connect_params_(db_params_),
      internal_transaction_(std::make_unique<TFIBTransaction>()) {
  db_params_.OnChanging = [this] { CheckDisconnected(); };
  db_params_.OnChange = [this] { dpb_dirty_ = true; };
  TFIBTransaction& internal = *internal_transaction_;
  internal.SetDefaultDatabase(this);
  internal.SetTimeoutAction(TACommit);
  internal.SetTimeout(1000);
  internal.TRParams().Assign({"write", "isc_tpb_nowait", "read_committed", "rec_version"});
  TDatabaseRegistry& registry = Registry();
  std::lock_guard guard(registry.Lock);
  registry.Databases.push_back(this);
}

TFIBDatabase::~TFIBDatabase() {
  being_destroyed_ = true;
  try {
    Close();
  } catch (...) {
    // The forced close below still detaches.
  }
  idle_timer_.reset();
  {
    TDatabaseRegistry& registry = Registry();
    std::lock_guard guard(registry.Lock);
    std::erase(registry.Databases, this);
  }
  try {
    if (internal_transaction_->Active())
      internal_transaction_->Commit();
  } catch (...) {
  }
  internal_transaction_.reset();
  try {
    if (Connected())
      CloseAttachment(true);
  } catch (...) {
  }
  handle_ = 0;
  DestroyListeners.FireBackward(this);
  while (!sql_objects_.empty()) {
    TFIBBase* link = sql_objects_.back();
    sql_objects_.pop_back();
    if (!link)
      continue;
    link->database_ = nullptr;
    link->index_in_database_ = -1;
    if (link->OnDatabaseFree)
      link->OnDatabaseFree(link);
    link->SetTransaction(nullptr);
  }
  while (!transactions_.empty())
    RemoveTransaction(TransactionCount() - 1);
}

void TFIBDatabase::SetConnected(bool value) {
  if (value)
    OpenAttachment(true);
  else
    Close();
}

void TFIBDatabase::Close() {
  if (Connected())
    CloseAttachment(false);
  attachment_id_ = -1;
  if (internal_transaction_)
    internal_transaction_->SetTimeout(0);
}

void TFIBDatabase::SetDBName(const std::string& value) {
  if (value == db_name_)
    return;
  CheckDisconnected();
  db_name_ = value;
}

void TFIBDatabase::SetLibraryName(const std::string& value) {
  CheckDisconnected();
  if (value == library_name_)
    return;
  library_name_ = value;
  // The library stays registered; the next attach looks the new name up.
  client_library_.reset();
  library_bound_ = false;
}

void TFIBDatabase::SetSQLDialect(int32_t value) {
  if (value < 1 || (Connected() && value > DatabaseSQLDialect()))
    RaiseClientError(61);
  sql_dialect_ = value;
}

void TFIBDatabase::SetTimeout(uint32_t milliseconds) {
  timeout_ = milliseconds;
  if (milliseconds == 0) {
    idle_timer_.reset();
    return;
  }
  if (!idle_timer_) {
    idle_timer_ = CreateFIBTimer();
    idle_timer_->SetOnTimer([this] { IdleTick(); });
  }
  idle_timer_->SetInterval(milliseconds);
  idle_timer_->Start();
}

void TFIBDatabase::IdleTick() {
  if (!Connected())
    return;
  // Runs from the message loop: nothing may escape.
  try {
    if (OnIdleConnect) {
      TActionOnIdle action = aiCloseConnect;
      OnIdleConnect(this, os::TickCount() - last_activity_, action);
      if (action == aiKeepLiveConnect)
        return;
    }
    CloseAttachment(true);
    if (OnTimeout)
      OnTimeout(this);
  } catch (...) {
  }
}

void TFIBDatabase::SetDefaultTransaction(TFIBTransaction* t) {
  AdoptTransaction(t);
  default_transaction_ = t;
}

void TFIBDatabase::SetDefaultUpdateTransaction(TFIBTransaction* t) {
  AdoptTransaction(t);
  default_update_transaction_ = t;
}

void TFIBDatabase::AdoptTransaction(TFIBTransaction* t) {
  if (!t)
    return;
  t->AddDatabase(this);
  AddTransaction(t);
  if (!t->default_database_)
    t->default_database_ = this;
}

ISC_STATUS TFIBDatabase::CheckStatus(ISC_STATUS status, bool raise) {
  RestoreDefaultFPUControlWord();
  if (idle_timer_ && idle_timer_->Running()) {
    idle_timer_->Stop();
    idle_timer_->Start();
    last_activity_ = os::TickCount();
  }
  if (raise && status > 0) {
    if (!client_library_)
      RaiseClientError(12, {ComponentPath(this)});
    RaiseServerError(*client_library_, this);
  }
  return status;
}

void TFIBDatabase::CheckDisconnected() {
  if (Connected())
    RaiseClientError(13);
}

void TFIBDatabase::CheckDatabaseName() {
  if (db_name_.empty())
    RaiseClientError(14);
}

void TFIBDatabase::CheckConnected(bool tryReconnect) {
  if (Connected())
    return;
  // Reconnecting on demand is only for AutoReconnect databases; the
  // caller's wish alone does not bring a detached database back.
  (void)tryReconnect;
  if (!AutoReconnect)
    RaiseClientError(12, {ComponentPath(this)});
  const bool saved_prompt = UseLoginPrompt;
  const bool no_password = connect_params_.Password().empty();
  try {
    UseLoginPrompt = saved_prompt || no_password;
    SetConnected(true);
  } catch (...) {
    if (!no_password) {
      try {
        UseLoginPrompt = true;
        SetConnected(true);
      } catch (...) {
      }
    }
  }
  UseLoginPrompt = saved_prompt;
}

void TFIBDatabase::BindClientLibrary() {
  if (!library_bound_) {
    client_library_ = GetClientLibrary(library_name_);
    library_bound_ = true;
  }
  if (!client_library_->IsLoaded())
    client_library_->Load();
}

template <typename Member> void TFIBDatabase::NotifyLinks(Member member, bool swallow) {
  // By index: a handler may unlink itself or others.
  for (size_t i = 0; i < sql_objects_.size(); ++i) {
    TFIBBase* link = sql_objects_[i];
    if (!link || !(link->*member))
      continue;
    try {
      (link->*member)(link);
    } catch (...) {
      if (!swallow)
        throw;
    }
  }
}

void TFIBDatabase::OpenAttachment(bool raiseOnError) {
  ResetServerVersion();
  ISC_STATUS status = 0;
  {
    std::lock_guard guard(AttachLock());
    CheckDisconnected();
    CheckDatabaseName();
    BindClientLibrary();
    NotifyLinks(&TFIBBase::BeforeDatabaseConnect, false);
    // No login dialog exists in this program: asking for one is a refusal.
    if (UseLoginPrompt)
      RaiseClientError(7);
    if (dpb_dirty_) {
      // Stays dirty when the build fails, so a retry cannot attach with the
      // previous block.
      BuildDPB(db_params_, dpb_, dpb_length_, connect_params_.IsFirebird);
      dpb_dirty_ = false;
    }
    status = CheckStatus(
        client_library_->isc_attach_database(StatusVector(), static_cast<short>(db_name_.size()),
                                             db_name_.c_str(), &handle_, dpb_length_, dpb_.data()),
        false);
  }
  if (status > 0) {
    handle_ = 0;
    if (raiseOnError)
      RaiseServerError(*client_library_, this);
    return;
  }
  try {
    if (internal_transaction_)
      internal_transaction_->SetTimeout(1000);
    attachment_id_ = -1;
    AttachmentId();
    server_time_offset_ = 0;
    const auto dialect = static_cast<uint16_t>(DatabaseSQLDialect());
    if (dialect < sql_dialect_)
      sql_dialect_ = dialect;
    if (SynchronizeTime)
      SynchronizeServerTime();
    ReadConnectionFacts();
  } catch (...) {
    // An attach that fails leaves the database detached, whichever step
    // failed: no one would ever close an attachment they were told failed.
    AbandonAttachment();
    if (raiseOnError)
      throw;
    return;
  }
  if (OnConnect)
    OnConnect(this);
  ConnectListeners.FireWhile([this] { return Connected(); }, this);
  for (size_t i = 0; i < sql_objects_.size() && Connected(); ++i)
    if (TFIBBase* link = sql_objects_[i]; link && link->AfterDatabaseConnect)
      link->AfterDatabaseConnect(link);
}

void TFIBDatabase::CallDisconnectEvent(const TNotifyEvent& event, const char* name) {
  if (!event)
    return;
  try {
    event(this);
  } catch (...) {
    const std::string detail = MessageOf(std::current_exception());
    const std::string hint =
        being_destroyed_ ? " Probably you are trying to get access to destroyed components. " : " ";
    throw Exception("Error of " + ComponentPath(this) + "." + name + "." + hint + detail);
  }
}

void TFIBDatabase::CloseAttachment(bool force) {
  CheckConnected(false);
  CallDisconnectEvent(BeforeDisconnect, "BeforeDisconnect");
  BeforeDisconnectListeners.Fire(this);
  EndListedTransactions(force);
  NotifyLinks(&TFIBBase::BeforeDatabaseDisconnect, force);
  try {
    CheckStatus(client_library_->isc_detach_database(StatusVector(), &handle_), !force);
  } catch (...) {
    // A failed detach still leaves the database detached.
  }
  handle_ = 0;
  NotifyLinks(&TFIBBase::AfterDatabaseDisconnect, false);
  CallDisconnectEvent(AfterDisconnect, "AfterDisconnect");
}

void TFIBDatabase::CreateDatabase() {
  CheckDisconnected();
  BindClientLibrary();
  // Quotes inside the name are doubled so the name stays one literal.
  std::string name;
  for (char c : db_name_) {
    name += c;
    if (c == '\'')
      name += c;
  }
  std::string sql = "CREATE DATABASE '" + name + "' ";
  for (const std::string& line : db_params_.Lines())
    sql += line + "\r\n";
  isc_tr_handle transaction = 0;
  CheckStatus(client_library_->isc_dsql_execute_immediate(
                  StatusVector(), &handle_, &transaction, 0, sql.c_str(),
                  static_cast<unsigned short>(sql_dialect_), nullptr),
              true);
  ResetServerVersion();
  attachment_id_ = -1;
  try {
    is_firebird_ = !FirebirdVersionText().empty();
    if (is_firebird_ && ServerMajor() >= 2)
      ReadFirebirdCharsetFacts();
  } catch (...) {
    AbandonAttachment();
    throw;
  }
}

void TFIBDatabase::EndListedTransactions(bool swallow) {
  const std::vector<TFIBTransaction*> transactions = transactions_;
  for (TFIBTransaction* t : transactions) {
    if (FindTransaction(t) < 0)
      continue; // ended and freed by an earlier handler
    try {
      t->EndByTimeoutAction();
    } catch (...) {
      if (!swallow)
        throw;
    }
  }
}

void TFIBDatabase::AbandonAttachment() noexcept {
  EndListedTransactions(true);
  if (client_library_ && handle_ != 0) {
    // Its own status vector: the failure being reported was built from the
    // thread's one.
    ISC_STATUS_ARRAY ignored{};
    try {
      client_library_->isc_detach_database(ignored, &handle_);
    } catch (...) {
    }
    RestoreDefaultFPUControlWord();
  }
  handle_ = 0;
  attachment_id_ = -1;
  if (internal_transaction_)
    internal_transaction_->SetTimeout(0);
}

void TFIBDatabase::DropDatabase() {
  CheckConnected(false);
  BindClientLibrary();
  CheckStatus(client_library_->isc_drop_database(StatusVector(), &handle_), true);
  handle_ = 0;
}

int TFIBDatabase::FindTransaction(const TFIBTransaction* t) const {
  const auto it = std::find(transactions_.begin(), transactions_.end(), t);
  return it == transactions_.end() ? -1 : static_cast<int>(it - transactions_.begin());
}

void TFIBDatabase::AddTransaction(TFIBTransaction* t) {
  if (t && FindTransaction(t) < 0)
    transactions_.push_back(t);
}

void TFIBDatabase::RemoveTransaction(int index) {
  if (index < 0 || index >= TransactionCount())
    return;
  TFIBTransaction* t = transactions_[index];
  transactions_.erase(transactions_.begin() + index);
  std::erase(t->databases_, this);
  if (t->default_database_ == this)
    t->default_database_ = nullptr;
  ForgetDefaultTransaction(t);
}

void TFIBDatabase::DropTransactionEntry(TFIBTransaction* t) {
  std::erase(transactions_, t);
}

void TFIBDatabase::ForgetDefaultTransaction(TFIBTransaction* t) {
  if (default_transaction_ == t)
    default_transaction_ = nullptr;
  if (default_update_transaction_ == t)
    default_update_transaction_ = nullptr;
}

int TFIBDatabase::AddSQLObject(TFIBBase* link) {
  sql_objects_.push_back(link);
  return SQLObjectCount() - 1;
}

void TFIBDatabase::RemoveSQLObject(int index) {
  TFIBBase::RemoveLinkAt(sql_objects_, index, &TFIBBase::database_, &TFIBBase::index_in_database_);
}

void TFIBDatabase::Loaded() {
  if (internal_transaction_)
    internal_transaction_->SetName(Name() + "_InternalTransaction");
}

// --- TpFIBDatabase ----------------------------------------------------------

TpFIBDatabase::TpFIBDatabase(TComponent* owner) : TFIBDatabase(owner) {}

void TpFIBDatabase::OpenAttachment(bool raiseOnError) {
  if (Connected())
    return;
  if (BeforeConnect) {
    bool do_connect = true;
    BeforeConnect(this, DBParams(), do_connect);
    if (!do_connect)
      return;
  }
  TFIBDatabase::OpenAttachment(raiseOnError);
  if (Connected() && SaveAliasParamsAfterConnect && !AliasName.empty())
    AfterAliasAttach();
}

void TpFIBDatabase::CloseAttachment(bool force) {
  if (Connected())
    TFIBDatabase::CloseAttachment(force);
}

void TpFIBDatabase::EndTransactions() {
  EndListedTransactions(true);
}

} // namespace nimbus
