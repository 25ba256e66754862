#include "fib/database.h"

#include <gtest/gtest.h>

#include "fib/errors.h"
#include "tests/fib/database_server_fixture.h"

namespace nimbus {
namespace {

class database_server : public test::ServerDatabaseTest {};

TEST_F(database_server, attaches_with_the_connection_lines_and_detaches) {
  CreateTestDatabase();
  db->SetConnected(true);
  EXPECT_TRUE(db->Connected());
  EXPECT_GT(db->AttachmentId(), 0);
  EXPECT_EQ(db->DatabaseSQLDialect(), 3);
  EXPECT_EQ(db->SQLDialect(), 3);
  db->SetConnected(false);
  EXPECT_FALSE(db->Connected());
  EXPECT_EQ(db->AttachmentId(), -1);
}

TEST_F(database_server, refused_attaches_leave_it_detached_and_the_next_works) {
  CreateTestDatabase();
  const std::string right = test::ServerPassword();

  SetAttachLines(*db, right + "-wrong");
  try {
    db->SetConnected(true);
    FAIL() << "a wrong password was accepted";
  } catch (const EFIBInterBaseError& e) {
    EXPECT_EQ(e.SQLCode(), -902);
    EXPECT_EQ(e.StatusCode(), isc_login);
    EXPECT_EQ(e.Message().rfind("Form1.dbNimbus:\r\n", 0), 0u);
  }
  EXPECT_FALSE(db->Connected());
  EXPECT_EQ(db->Handle(), 0u);

  SetAttachLines(*db, right);
  db->SetConnected(true);
  EXPECT_TRUE(db->Connected());

  try {
    db->TFIBDatabase::OpenAttachment(true);
    FAIL();
  } catch (const EFIBClientError& e) {
    EXPECT_EQ(e.SQLCode(), 13);
  }
  EXPECT_TRUE(db->Connected());
  db->Close();

  const std::string name = db->DBName();
  db->SetDBName("");
  try {
    db->SetConnected(true);
    FAIL();
  } catch (const EFIBClientError& e) {
    EXPECT_EQ(e.SQLCode(), 14);
    EXPECT_EQ(e.Message(), "Database name is missing.");
  }
  db->SetDBName(name);

  bool asked = false;
  db->BeforeConnect = [&](TFIBDatabase*, TDBParams&, bool& do_connect) {
    asked = true;
    do_connect = false;
  };
  db->SetConnected(true);
  EXPECT_TRUE(asked);
  EXPECT_FALSE(db->Connected());
  db->BeforeConnect = nullptr;
}

TEST_F(database_server, unknown_database_is_a_server_error) {
  db->SetDBName(test::ServerAddress() + ":/nonexistent/nimbus_fibdb_missing.fdb");
  SetAttachLines(*db);
  EXPECT_THROW(db->SetConnected(true), EFIBInterBaseError);
  EXPECT_FALSE(db->Connected());
}

TEST_F(database_server, dialect_1_database_lowers_the_dialect) {
  CreateTestDatabase(1);
  db->SetConnected(true);
  EXPECT_EQ(db->DatabaseSQLDialect(), 1);
  EXPECT_EQ(db->SQLDialect(), 1);
  try {
    db->SetSQLDialect(3);
    FAIL();
  } catch (const EFIBClientError& e) {
    EXPECT_EQ(e.SQLCode(), 61);
    EXPECT_EQ(e.Message(), "SQL Dialect invalid");
  }
}

TEST_F(database_server, create_attaches_and_drop_removes) {
  db->DBParams().Assign(
      {"USER '" + test::ServerUser() + "'", "PASSWORD '" + test::ServerPassword() + "'"});
  db->CreateDatabase();
  MarkCreated();
  EXPECT_TRUE(db->Connected());
  Exec(*tr, "CREATE TABLE T (ID INTEGER)");
  tr->Commit();
  db->DropDatabase();
  EXPECT_FALSE(db->Connected());

  SetAttachLines(*db);
  EXPECT_THROW(db->SetConnected(true), EFIBInterBaseError);
  EXPECT_FALSE(db->Connected());
}

TEST_F(database_server, detach_ends_active_work_by_the_timeout_action) {
  CreateTestDatabase();
  db->SetConnected(true);
  Exec(*tr, "CREATE TABLE T (ID INTEGER)");
  tr->Commit();

  struct Case {
    TTransactionAction action;
    int rows_after;
  };
  const Case cases[] = {{TACommit, 1}, {TARollbackRetaining, 0}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.action);
    Exec(*tr, "DELETE FROM T");
    tr->Commit();
    tr->SetTimeoutAction(c.action);
    Exec(*tr, "INSERT INTO T VALUES (1)");
    db->Close();
    EXPECT_FALSE(tr->Active());
    db->SetConnected(true);
    EXPECT_EQ(QueryInt(*tr, "SELECT COUNT(*) FROM T"), c.rows_after);
    tr->Commit();
  }
}

TEST_F(database_server, end_transactions_swallows_errors_and_ends_the_rest) {
  CreateTestDatabase();
  db->SetConnected(true);
  Exec(*tr, "CREATE TABLE T (ID INTEGER)");
  tr->Commit();

  TpFIBTransaction failing(&form);
  failing.SetName("Failing");
  failing.SetDefaultDatabase(db);
  failing.TPBMode = tpbDefault;
  failing.TRParams().Assign({"write", "nowait", "read_committed", "rec_version"});
  failing.SetTimeoutAction(TACommit);
  failing.BeforeEnd = [](TFIBTransaction*, TTransactionAction, bool) {
    throw Exception("refused by a handler");
  };
  failing.StartTransaction();
  Exec(*tr, "INSERT INTO T VALUES (1)");

  EXPECT_NO_THROW(db->EndTransactions());
  EXPECT_FALSE(tr->Active());
  EXPECT_TRUE(failing.Active());
  EXPECT_TRUE(db->Connected());
  failing.BeforeEnd = nullptr;
  failing.Rollback();
  EXPECT_EQ(QueryInt(*tr, "SELECT COUNT(*) FROM T"), 1);
  tr->Commit();
}

} // namespace
} // namespace nimbus
