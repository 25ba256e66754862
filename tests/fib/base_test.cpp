#include "fib/base.h"

#include <gtest/gtest.h>

#include "fib/database.h"
#include "fib/errors.h"
#include "fib/transaction.h"
#include "tests/fib/database_fake_library.h"

namespace nimbus {
namespace {

// Links need no client library until they check the attachment.
class base : public ::testing::Test {
protected:
  base() {
    form.SetName("Form1");
    db = new TpFIBDatabase(&form);
    db->SetName("dbNimbus");
    tr = new TpFIBTransaction(&form);
    tr->SetName("TransNimbus");
    db->SetDefaultTransaction(tr);
  }
  TComponent form;
  TpFIBDatabase* db;
  TpFIBTransaction* tr;
};

TEST_F(base, database_gives_an_owned_link_its_default_transaction) {
  TComponent query(&form);
  TFIBBase owned(&query);
  owned.SetDatabase(db);
  EXPECT_EQ(owned.Transaction(), tr);
  EXPECT_EQ(owned.IndexInDatabase(), 0);

  TFIBBase ownerless;
  ownerless.SetDatabase(db);
  EXPECT_EQ(ownerless.Transaction(), nullptr);
}

TEST_F(base, transaction_gives_a_link_its_main_database) {
  TFIBBase link;
  link.SetTransaction(tr);
  EXPECT_EQ(link.Database(), db);

  TpFIBTransaction empty;
  TFIBBase other;
  other.SetTransaction(&empty); // no databases to take
  EXPECT_EQ(other.Database(), nullptr);
}

TEST_F(base, removal_moves_the_last_link_into_the_gap) {
  TFIBBase a, b, c;
  for (TFIBBase* link : {&a, &b, &c}) {
    link->SetDatabase(db);
    link->SetTransaction(tr);
  }
  b.SetDatabase(nullptr);
  b.SetTransaction(nullptr);
  EXPECT_EQ(db->SQLObjectCount(), 2);
  EXPECT_EQ(db->SQLObjects(1), &c);
  EXPECT_EQ(c.IndexInDatabase(), 1);
  EXPECT_EQ(tr->SQLObjects(1), &c);
  EXPECT_EQ(c.IndexInTransaction(), 1);
  EXPECT_EQ(b.IndexInDatabase(), -1);
  {
    TFIBBase d;
    d.SetTransaction(tr);
    EXPECT_EQ(d.IndexInTransaction(), 2);
  }
  EXPECT_EQ(tr->SQLObjectCount(), 2);
  a.SetDatabase(db); // the same database: nothing moves
  EXPECT_EQ(a.IndexInDatabase(), 0);
}

TEST_F(base, checks_name_the_owner) {
  TComponent query(&form);
  query.SetName("qContext");
  TFIBBase link(&query);
  test::ExpectClientError([&] { link.CheckDatabase(); }, 21,
                          "Database not assigned for Form1.qContext.");
  test::ExpectClientError([&] { link.CheckTransaction(); }, 22,
                          "Transaction not assigned for Form1.qContext.");
  link.SetDatabase(db);
  test::ExpectClientError([&] { link.DatabaseHandle(); }, 12,
                          "Form1.dbNimbus: Cannot perform operation -- DB is not open.");
  test::ExpectClientError([&] { link.TransactionHandle(); }, 15,
                          "Form1.TransNimbus :Transaction is not active.");

  TFIBBase ownerless;
  test::ExpectClientError([&] { ownerless.CheckDatabase(); }, 21, "Database not assigned for .");
}

TEST_F(base, freeing_either_side_tells_and_unlinks_the_link) {
  TFIBBase link;
  link.SetDatabase(db);
  link.SetTransaction(tr);
  int transaction_freed = 0, database_freed = 0;
  link.OnTransactionFree = [&](TFIBBase*) { ++transaction_freed; };
  link.OnDatabaseFree = [&](TFIBBase*) { ++database_freed; };
  delete tr;
  EXPECT_EQ(transaction_freed, 1);
  EXPECT_EQ(link.Transaction(), nullptr);
  EXPECT_EQ(link.Database(), db);
  EXPECT_EQ(db->DefaultTransaction(), nullptr);
  delete db;
  EXPECT_EQ(database_freed, 1);
  EXPECT_EQ(link.Database(), nullptr);
}

TEST_F(base, free_handler_that_unlinks_itself_spares_the_others) {
  TFIBBase first, last;
  first.SetTransaction(tr);
  last.SetTransaction(tr);
  int freed = 0;
  first.OnTransactionFree = [&](TFIBBase*) { ++freed; };
  last.OnTransactionFree = [&](TFIBBase* link) {
    ++freed;
    link->SetTransaction(nullptr);
  };
  delete tr;
  EXPECT_EQ(freed, 2);
  EXPECT_EQ(first.Transaction(), nullptr);
  EXPECT_EQ(last.Transaction(), nullptr);
}

TEST_F(base, a_destroyed_link_leaves_both_lists) {
  {
    TFIBBase link;
    link.SetDatabase(db);
    link.SetTransaction(tr);
  }
  EXPECT_EQ(db->SQLObjectCount(), 0);
  EXPECT_EQ(tr->SQLObjectCount(), 0);
}

} // namespace
} // namespace nimbus
