#pragma once

#include "fib/param_lines.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <ibase.h>

#include "fib/listeners.h"
#include "platform/component.h"

namespace nimbus {

class IFIBTimer;
class IIBClientLibrary;
class TFIBBase;
class TFIBDatabase;
class TFIBQuery;
class TFIBTransaction;
// Defined with the statements.
enum TFIBSQLTypes : int;

enum TTransactionAction : int {
  TARollback = 0,
  TARollbackRetaining = 1,
  TACommit = 2,
  TACommitRetaining = 3
};

enum TTPBMode : int { tpbDefault = 0, tpbReadCommitted = 1, tpbRepeatableRead = 2 };

enum TTransactionState : int {
  tsActive = 0,
  tsInactive = 1,
  tsRollingBack = 2,
  tsRollingBackRetaining = 3,
  tsCommitting = 4,
  tsCommittingRetaining = 5
};

using TNotifyEvent = std::function<void(TComponent* Sender)>;
using TEndTrEvent =
    std::function<void(TFIBTransaction* EndingTR, TTransactionAction Action, bool Force)>;

// Parameter lines name[=value] of a transaction. Changing them while the
// transaction is active is refused (client error 16), and any change makes
// the next start rebuild the parameter block.
// A change while the transaction is active is refused (client error 16);
// any change makes the transaction build its TPB again.
class TTRParams : public TParamLines {
public:
  explicit TTRParams(TFIBTransaction& owner);

private:
  friend class TFIBTransaction;
};

// One Firebird transaction over one or more attached databases.
class TFIBTransaction : public TComponent {
public:
  explicit TFIBTransaction(TComponent* owner = nullptr);
  ~TFIBTransaction() override;

  bool Active() const { return handle_ != 0; }
  // True starts, false rolls back.
  void SetActive(bool value);
  TTransactionState State() const { return state_; }
  isc_tr_handle Handle() const { return handle_; }
  isc_tr_handle* HandleAddress() { return &handle_; }

  TFIBDatabase* DefaultDatabase() const { return default_database_; }
  void SetDefaultDatabase(TFIBDatabase* db);
  // DefaultDatabase, else the first of the databases, else none.
  TFIBDatabase* MainDatabase() const;

  uint32_t Timeout() const { return timeout_; }
  void SetTimeout(uint32_t milliseconds);
  TTransactionAction TimeoutAction() const { return timeout_action_; }
  void SetTimeoutAction(TTransactionAction action) { timeout_action_ = action; }

  TTRParams& TRParams() { return tr_params_; }
  const TTRParams& TRParams() const { return tr_params_; }
  // The last block built from TRParams.
  const std::string& TPB() const { return tpb_; }
  int16_t TPBLength() const { return tpb_length_; }

  bool WatchUncommitedUpdates = false;
  TNotifyEvent OnTimeout;

  virtual void EndTransaction(TTransactionAction action, bool force);
  // Kind 0 before a statement executes, 1 after, 2 when its cursor closes.
  virtual void NotifySQLExecute(TFIBQuery* statement, TFIBSQLTypes sqlType, int kind);
  virtual void StartTransaction();
  virtual void Commit();
  virtual void CommitRetaining();
  virtual void Rollback();
  virtual void RollbackRetaining();
  // Forced end by TimeoutAction, the retaining forms ending for good.
  void EndByTimeoutAction();

  int DatabaseCount() const { return static_cast<int>(databases_.size()); }
  TFIBDatabase* Databases(int index) const { return databases_.at(index); }
  int FindDatabase(const TFIBDatabase* db) const;
  int AddDatabase(TFIBDatabase* db);
  void RemoveDatabase(int index);

  int SQLObjectCount() const { return static_cast<int>(sql_objects_.size()); }
  TFIBBase* SQLObjects(int index) const { return sql_objects_.at(index); }
  int AddSQLObject(TFIBBase* link);
  void RemoveSQLObject(int index);

  ISC_STATUS CheckStatus(ISC_STATUS status, bool raise);
  void CheckInTransaction();
  void CheckNotInTransaction();
  void CheckDatabasesInList();

  // The timeout timer; exists only while Timeout is not 0.
  IFIBTimer* TimeoutTimer() const { return timer_.get(); }
  bool IdleMarker() const { return idle_marker_; }

  TListenerList<TFIBTransaction*> FreeListeners;
  TListenerList<TFIBTransaction*> StartListeners;
  TListenerList<TFIBTransaction*> StartedListeners;
  TListenerList<TFIBTransaction*, TTransactionAction, bool> EndListeners;
  TListenerList<TFIBTransaction*, TTransactionAction, bool> EndedListeners;

private:
  friend class TTRParams;
  friend class TFIBDatabase;
  IIBClientLibrary& Library() const;
  void TimerTick();
  void NotifyEnding(TTransactionAction action, bool force);
  void NotifyEnded(TTransactionAction action, bool force);
  template <typename Member> void NotifyLinks(Member member);
  void UnlinkDatabase(TFIBDatabase* db);

  isc_tr_handle handle_ = 0;
  TTransactionState state_ = tsInactive;
  TFIBDatabase* default_database_ = nullptr;
  std::vector<TFIBDatabase*> databases_;
  std::vector<TFIBBase*> sql_objects_;
  TTRParams tr_params_;
  std::string tpb_;
  int16_t tpb_length_ = 0;
  bool tpb_dirty_ = true;
  uint32_t timeout_ = 0;
  TTransactionAction timeout_action_ = TARollback;
  bool idle_marker_ = false;
  std::unique_ptr<IFIBTimer> timer_;
};

using TOnSQLExecute = std::function<void(TFIBQuery* Query, TFIBSQLTypes SQLType)>;

// Adds before and after events and the TPBMode presets.
class TpFIBTransaction : public TFIBTransaction {
public:
  explicit TpFIBTransaction(TComponent* owner = nullptr);
  ~TpFIBTransaction() override;

  TTPBMode TPBMode = tpbReadCommitted;
  std::string UserKindTransaction = "NoUserKind";

  TNotifyEvent BeforeStart;
  TNotifyEvent AfterStart;
  TEndTrEvent BeforeEnd;
  TEndTrEvent AfterEnd;
  TOnSQLExecute BeforeSQLExecute;
  TOnSQLExecute AfterSQLExecute;

  void EndTransaction(TTransactionAction action, bool force) override;
  void NotifySQLExecute(TFIBQuery* statement, TFIBSQLTypes sqlType, int kind) override;
  void StartTransaction() override;
};

} // namespace nimbus
