#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include <ibase.h>

#include "fib/client_library.h"
#include "fib/dpb.h"
#include "fib/listeners.h"
#include "fib/transaction.h"
#include "fib/variant.h"
#include "platform/component.h"

namespace nimbus {

class IFIBTimer;
class TFIBBase;

enum TDesignDBOption : int { ddoIsDefaultDatabase, ddoStoreConnected, ddoNotSavePassword };
using TDesignDBOptions = std::set<TDesignDBOption>;

enum TActionOnIdle : int { aiCloseConnect, aiKeepLiveConnect };

class TFIBDatabase;
using TOnIdleConnect =
    std::function<void(TFIBDatabase* Sender, uint32_t IdleTicks, TActionOnIdle& Action)>;

// One attachment to one Firebird database. It owns the handle, the parameter
// lines the DPB is built from, the binding to the client library, a small
// internal transaction, and the lists of transactions and statement links
// that use it. Parameters, name and library change only while detached.
class TFIBDatabase : public TComponent {
public:
  explicit TFIBDatabase(TComponent* owner = nullptr);
  ~TFIBDatabase() override;

  bool Connected() const { return handle_ != 0; }
  // True attaches (raising on failure), false closes.
  void SetConnected(bool value);
  // Detaches when attached; otherwise nothing.
  void Close();

  const std::string& DBName() const { return db_name_; }
  void SetDBName(const std::string& value);
  TDBParams& DBParams() { return db_params_; }
  const TDBParams& DBParams() const { return db_params_; }
  TConnectParams& ConnectParams() { return connect_params_; }
  const std::string& LibraryName() const { return library_name_; }
  void SetLibraryName(const std::string& value);
  int32_t SQLDialect() const { return sql_dialect_; }
  void SetSQLDialect(int32_t value);
  uint32_t Timeout() const { return timeout_; }
  void SetTimeout(uint32_t milliseconds);

  TFIBTransaction* DefaultTransaction() const { return default_transaction_; }
  void SetDefaultTransaction(TFIBTransaction* t);
  TFIBTransaction* DefaultUpdateTransaction() const { return default_update_transaction_; }
  void SetDefaultUpdateTransaction(TFIBTransaction* t);

  bool AutoReconnect = false;
  bool UseLoginPrompt = false;
  bool SynchronizeTime = true;
  bool UpperOldNames = false;
  TDesignDBOptions DesignDBOptions = {ddoStoreConnected};

  TNotifyEvent BeforeDisconnect;
  TNotifyEvent AfterDisconnect;
  TNotifyEvent OnConnect;
  TNotifyEvent OnTimeout;
  TOnIdleConnect OnIdleConnect;

  virtual void CloseAttachment(bool force);
  virtual void OpenAttachment(bool raiseOnError);

  // Client error 12 when detached; with `tryReconnect` or AutoReconnect an
  // attach is tried first and its failure swallowed.
  void CheckConnected(bool tryReconnect = false);
  // Client error 13 when attached.
  void CheckDisconnected();
  // Client error 14 when DBName is empty.
  void CheckDatabaseName();
  void BindClientLibrary();
  IIBClientLibrary* ClientLibrary() const { return client_library_.get(); }

  isc_db_handle Handle() const { return handle_; }
  isc_db_handle* HandleAddress() { return &handle_; }
  const std::string& DPB() const { return dpb_; }
  int16_t DPBLength() const { return dpb_length_; }

  // Creates DBName with DBParams as the clauses of CREATE DATABASE and stays
  // attached to it; no connect events run.
  void CreateDatabase();
  // Drops the attached database; no disconnect events run.
  void DropDatabase();

  ISC_STATUS CheckStatus(ISC_STATUS status, bool raise);

  int TransactionCount() const { return static_cast<int>(transactions_.size()); }
  TFIBTransaction* Transactions(int index) const { return transactions_.at(index); }
  int FindTransaction(const TFIBTransaction* t) const;
  void AddTransaction(TFIBTransaction* t);
  void RemoveTransaction(int index);

  int SQLObjectCount() const { return static_cast<int>(sql_objects_.size()); }
  TFIBBase* SQLObjects(int index) const { return sql_objects_.at(index); }
  int AddSQLObject(TFIBBase* link);
  void RemoveSQLObject(int index);

  TFIBTransaction& InternalTransaction() { return *internal_transaction_; }
  // Names the internal transaction after the database, once the database's
  // own name is set.
  void Loaded();

  // Information about the server and the attachment (database_info.cpp).
  // Requests on a detached database are refused by the client library with
  // a server error, except where said otherwise.

  // One name per attachment of the database, this one included, in the
  // server's order. Owned by the database, valid until the next call.
  const std::vector<std::string>& AttachedUserNames();
  // The server's version, read on first use after each attach; client error
  // 12 when detached. A part the version text does not hold stays -1.
  int32_t ServerMajor();
  int32_t ServerMinor();
  int32_t ServerRelease();
  int32_t ServerBuild();
  // The on-disk structure version; -1 when the server does not say.
  int32_t ODSMajorVersion();
  int32_t ODSMinorVersion();
  // The database's SQL dialect (isc_info_db_sql_dialect); 1 when the server
  // does not say.
  int DatabaseSQLDialect();
  // The attachment's character set id; -1 when the server does not say.
  int32_t AttachmentCharsetId();
  // Cached isc_info_attachment_id; -1 when detached.
  int32_t AttachmentId();
  // The first string of isc_info_firebird_version; empty from other servers.
  std::string FirebirdVersionText();
  // The first string of isc_info_version.
  std::string ServerVersionText();

  // Facts read at each attach.
  bool IsFirebird() const { return is_firebird_; }
  // Asks the server; client error 12 when detached.
  bool IsFirebirdServer();
  bool IsNewInterBase() const { return is_new_interbase_; }
  bool IsFirebird21OrLater() const { return is_firebird21_or_later_; }
  bool CharsetIsUnicode() const { return charset_is_unicode_; }
  bool CharsetIsNone() const { return charset_is_none_; }
  bool CharsetIsUnicodeOrNone() const { return charset_is_unicode_or_none_; }
  bool UTF8Metadata() const { return utf8_metadata_; }

  // Character-set questions; detached, they answer from the lc_ctype line.
  bool IsUnicodeCharset() const;
  bool IsUnicodeOrNoneCharset() const;
  std::set<int> UnicodeCharsets() const;
  bool IsUnicodeCharsetId(int id) const;

  // The server's clock, read through the internal transaction.
  TDateTime ServerTime();
  // Local date-time minus server date-time in days, measured at attach.
  double ServerTimeOffset() const { return server_time_offset_; }

  // Runs `sql` in `transaction`, or in the internal transaction, which is
  // started when needed and committed afterwards, also on failure. Gives
  // the first row's value of `column` (QueryValue; client error 41 outside
  // the columns) or of every column (QueryValues); nothing when the
  // statement has no columns.
  TVariant QueryValue(const std::string& sql, int column, TFIBTransaction* transaction = nullptr);
  std::vector<TVariant> QueryValues(const std::string& sql, TFIBTransaction* transaction = nullptr);

  // The idle timer; exists only while Timeout is not 0.
  IFIBTimer* IdleTimer() const { return idle_timer_.get(); }
  uint32_t LastActivity() const { return last_activity_; }

  TListenerList<TFIBDatabase*> ConnectListeners;
  TListenerList<TFIBDatabase*> BeforeDisconnectListeners;
  TListenerList<TFIBDatabase*> DestroyListeners;

protected:
  // Run after attaching when an alias is set; nothing here.
  virtual void AfterAliasAttach() {}
  // Ends every listed transaction by its timeout action; a failure stops the
  // walk unless `swallow`, when the next transaction is tried.
  void EndListedTransactions(bool swallow);

private:
  friend class TFIBTransaction;
  void DropTransactionEntry(TFIBTransaction* t);
  void ForgetDefaultTransaction(TFIBTransaction* t);
  void AdoptTransaction(TFIBTransaction* t);
  template <typename Member> void NotifyLinks(Member member, bool swallow);
  void CallDisconnectEvent(const TNotifyEvent& event, const char* name);
  void IdleTick();
  // After a failure that followed a successful attach or create: ends the
  // transactions and detaches quietly, so the failure leaves it detached.
  void AbandonAttachment() noexcept;

  // One item of isc_database_info; `fallback` when the server does not
  // answer it.
  int32_t IntegerInfo(int item, int32_t fallback);
  std::string TextInfo(int item, int bufferSize);
  void ResetServerVersion();
  void ReadServerVersion();
  void ReadFirebirdCharsetFacts();
  // The first row's value of `column`, or of every column without one.
  std::vector<TVariant> QueryColumns(const std::string& sql, std::optional<int> column,
                                     TFIBTransaction* transaction);

  // Steps of an attach.
  void SynchronizeServerTime();
  void ReadConnectionFacts();

  std::string db_name_;
  TDBParams db_params_;
  TConnectParams connect_params_;
  std::string library_name_ = "gds32.dll";
  IIBClientLibraryPtr client_library_;
  bool library_bound_ = false;
  int32_t sql_dialect_ = 1;
  uint32_t timeout_ = 0;
  isc_db_handle handle_ = 0;
  std::string dpb_;
  int16_t dpb_length_ = 0;
  bool dpb_dirty_ = true;
  std::vector<TFIBBase*> sql_objects_;
  std::vector<TFIBTransaction*> transactions_;
  TFIBTransaction* default_transaction_ = nullptr;
  TFIBTransaction* default_update_transaction_ = nullptr;
  std::unique_ptr<TFIBTransaction> internal_transaction_;
  std::unique_ptr<IFIBTimer> idle_timer_;
  uint32_t last_activity_ = 0;
  bool being_destroyed_ = false;

  int32_t attachment_id_ = -1;
  int32_t server_major_ = -1;
  int32_t server_minor_ = -1;
  int32_t server_release_ = -1;
  int32_t server_build_ = -1;
  bool is_firebird_ = false;
  bool is_new_interbase_ = false;
  bool is_firebird21_or_later_ = false;
  bool charset_is_unicode_ = false;
  bool charset_is_none_ = false;
  bool charset_is_unicode_or_none_ = false;
  bool utf8_metadata_ = false;
  double server_time_offset_ = 0;
  std::vector<std::string> attached_users_;
};

// The parts of a server version text: digits from its fifth character up to,
// not including, its last; each other character ends a part. Parts the text
// does not reach stay -1 ("WI-V2.1.3.456 Firebird 2.1" gives 2, 1, 3, 456).
struct TServerVersion {
  int32_t Major = -1;
  int32_t Minor = -1;
  int32_t Release = -1;
  int32_t Build = -1;
};
TServerVersion ParseServerVersion(std::string_view text);

using TFIBLoginEvent =
    std::function<void(TFIBDatabase* Database, TDBParams& LoginParams, bool& DoConnect)>;

// Adds the connect event with its veto, the transaction events, and ending
// all transactions at once.
class TpFIBDatabase : public TFIBDatabase {
public:
  explicit TpFIBDatabase(TComponent* owner = nullptr);

  std::string AliasName;
  uint32_t WaitForRestoreConnect = 0;
  bool SaveAliasParamsAfterConnect = true;

  TFIBLoginEvent BeforeConnect;
  // The same slot as OnConnect.
  TNotifyEvent& AfterConnect = OnConnect;
  TNotifyEvent BeforeStartTransaction;
  TNotifyEvent AfterStartTransaction;
  TEndTrEvent BeforeEndTransaction;
  TEndTrEvent AfterEndTransaction;

  void CloseAttachment(bool force) override;
  void OpenAttachment(bool raiseOnError) override;

  // Ends every transaction by its timeout action, ignoring failures.
  void EndTransactions();

protected:
  void AfterAliasAttach() override {}
};

// Serialises attaches across all databases of the process.
std::recursive_mutex& AttachLock();
// Every live database, in creation order; guarded by its own lock.
std::vector<TFIBDatabase*> DatabaseList();
// Closes every live database; run at shutdown.
void CloseAllDatabases();
void InitDatabaseList();

} // namespace nimbus
