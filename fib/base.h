#pragma once

#include <functional>
#include <vector>

#include <ibase.h>

namespace nimbus {

class TComponent;
class TFIBDatabase;
class TFIBTransaction;

// The link through which a statement is tied to one database and one
// transaction. Both sides keep the link in their lists and tell it when they
// connect, disconnect, start, end and go away; the link knows its index in
// each list so removal is constant time.
class TFIBBase {
public:
  using TLinkEvent = std::function<void(TFIBBase* link)>;
  using TTransactionEvent = std::function<void(TFIBTransaction* transaction)>;

  explicit TFIBBase(TComponent* owner = nullptr);
  virtual ~TFIBBase();

  TFIBBase(const TFIBBase&) = delete;
  TFIBBase& operator=(const TFIBBase&) = delete;

  TFIBDatabase* Database() const { return database_; }
  TFIBTransaction* Transaction() const { return transaction_; }
  int IndexInDatabase() const { return index_in_database_; }
  int IndexInTransaction() const { return index_in_transaction_; }
  TComponent* Owner() const { return owner_; }

  // Moves the link to `db`; a link without a transaction takes db's default
  // one when it has an owner.
  void SetDatabase(TFIBDatabase* db);
  // Moves the link to `t`; a link whose database is not in t's takes t's
  // main database.
  void SetTransaction(TFIBTransaction* t);

  // Client error 21 without a database, 12 when it is detached.
  virtual void CheckDatabase();
  // Client error 22 without a transaction, 15 when it is not active.
  virtual void CheckTransaction();

  isc_db_handle* DatabaseHandle();
  isc_tr_handle* TransactionHandle();

  TLinkEvent BeforeDatabaseConnect;
  TLinkEvent AfterDatabaseConnect;
  TLinkEvent BeforeDatabaseDisconnect;
  TLinkEvent AfterDatabaseDisconnect;
  TLinkEvent OnDatabaseFree;
  TTransactionEvent BeforeTransactionEnd;
  TTransactionEvent AfterTransactionEnd;
  TTransactionEvent BeforeTransactionStart;
  TTransactionEvent AfterTransactionStart;
  TLinkEvent OnTransactionFree;

private:
  friend class TFIBDatabase;
  friend class TFIBTransaction;

  // Removes list[index] for its owner, clearing the link's `side` and
  // `index_of`, and moves the last link into the gap.
  template <typename Side>
  static void RemoveLinkAt(std::vector<TFIBBase*>& list, int index, Side* TFIBBase::*side,
                           int TFIBBase::*index_of) {
    if (index < 0 || index >= static_cast<int>(list.size()))
      return;
    if (TFIBBase* link = list[index]) {
      link->*side = nullptr;
      link->*index_of = -1;
    }
    if (index != static_cast<int>(list.size()) - 1) {
      list[index] = list.back();
      if (list[index])
        list[index]->*index_of = index;
    }
    list.pop_back();
  }

  TFIBDatabase* database_ = nullptr;
  int index_in_database_ = -1;
  TFIBTransaction* transaction_ = nullptr;
  int index_in_transaction_ = -1;
  TComponent* owner_ = nullptr;
};

} // namespace nimbus
