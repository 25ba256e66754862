#include "fib/base.h"

#include "fib/database.h"
#include "fib/errors.h"
#include "fib/transaction.h"

namespace nimbus {

TFIBBase::TFIBBase(TComponent* owner) : owner_(owner) {}

TFIBBase::~TFIBBase() {
  SetTransaction(nullptr);
  SetDatabase(nullptr);
}

void TFIBBase::SetDatabase(TFIBDatabase* db) {
  if (db == database_)
    return;
  if (database_)
    database_->RemoveSQLObject(index_in_database_);
  database_ = db;
  index_in_database_ = -1;
  if (!db)
    return;
  index_in_database_ = db->AddSQLObject(this);
  if (!transaction_ && owner_)
    SetTransaction(db->DefaultTransaction());
}

void TFIBBase::SetTransaction(TFIBTransaction* t) {
  if (t == transaction_)
    return;
  if (transaction_)
    transaction_->RemoveSQLObject(index_in_transaction_);
  transaction_ = t;
  index_in_transaction_ = -1;
  if (!t)
    return;
  index_in_transaction_ = t->AddSQLObject(this);
  if ((!database_ || t->FindDatabase(database_) < 0) && t->DatabaseCount() > 0)
    SetDatabase(t->MainDatabase());
}

void TFIBBase::CheckDatabase() {
  if (!database_)
    RaiseClientError(21, {ComponentPath(owner_)});
  database_->CheckConnected(false);
}

void TFIBBase::CheckTransaction() {
  if (!transaction_)
    RaiseClientError(22, {ComponentPath(owner_)});
  transaction_->CheckInTransaction();
}

isc_db_handle* TFIBBase::DatabaseHandle() {
  CheckDatabase();
  return database_->HandleAddress();
}

isc_tr_handle* TFIBBase::TransactionHandle() {
  CheckTransaction();
  return transaction_->HandleAddress();
}

} // namespace nimbus
