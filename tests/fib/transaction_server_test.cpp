#include "fib/transaction.h"

#include <gtest/gtest.h>

#include "fib/errors.h"
#include "tests/fib/database_server_fixture.h"

namespace nimbus {
namespace {

class transaction_server : public test::ServerDatabaseTest {
protected:
  void SetUp() override {
    ServerDatabaseTest::SetUp();
    CreateTestDatabase();
    db->SetConnected(true);
    Exec(*tr, "CREATE TABLE T (ID INTEGER NOT NULL PRIMARY KEY, V INTEGER)");
    tr->Commit();
    Exec(*tr, "INSERT INTO T VALUES (1, 0)");
    tr->Commit();
  }

  // A second transaction over the same attachment.
  std::unique_ptr<TpFIBTransaction> Other(std::vector<std::string> lines) {
    auto t = std::make_unique<TpFIBTransaction>(&form);
    t->SetName("Other");
    t->SetDefaultDatabase(db);
    t->TPBMode = tpbDefault;
    t->TRParams().Assign(std::move(lines));
    return t;
  }
};

TEST_F(transaction_server, commit_keeps_work_and_rollback_drops_it) {
  Exec(*tr, "INSERT INTO T VALUES (2, 0)");
  tr->Rollback();
  EXPECT_EQ(QueryInt(*tr, "SELECT COUNT(*) FROM T"), 1);
  Exec(*tr, "INSERT INTO T VALUES (2, 0)");
  tr->CommitRetaining();
  EXPECT_TRUE(tr->Active());
  auto other = Other({"read", "read_committed", "rec_version"});
  EXPECT_EQ(QueryInt(*other, "SELECT COUNT(*) FROM T"), 2); // visible once committed
  other->Commit();
  Exec(*tr, "INSERT INTO T VALUES (3, 0)");
  tr->RollbackRetaining();
  EXPECT_TRUE(tr->Active());
  EXPECT_EQ(QueryInt(*tr, "SELECT COUNT(*) FROM T"), 2);
  tr->Commit();
  EXPECT_FALSE(tr->Active());
}

TEST_F(transaction_server, nowait_writers_on_one_row_conflict_at_once) {
  Exec(*tr, "UPDATE T SET V = 1 WHERE ID = 1");
  auto other = Other({"write", "nowait", "read_committed", "rec_version"});
  try {
    Exec(*other, "UPDATE T SET V = 2 WHERE ID = 1");
    FAIL() << "the second writer was not refused";
  } catch (const EFIBInterBaseError& e) {
    EXPECT_EQ(e.StatusCode(), isc_deadlock);
    EXPECT_EQ(e.SQLCode(), -913);
    EXPECT_NE(e.Message().find("Update conflicts with concurrent update."), std::string::npos)
        << e.Message();
    EXPECT_EQ(e.Message().rfind("Form1.Other:\r\n", 0), 0u) << e.Message();
  }
  EXPECT_TRUE(other->Active()); // a failed statement does not end the transaction
  other->Rollback();
  tr->Commit();
  EXPECT_EQ(QueryInt(*tr, "SELECT V FROM T WHERE ID = 1"), 1);
  tr->Commit();
}

TEST_F(transaction_server, failed_commit_stays_active_unless_forced) {
  // The server refuses to commit any transaction that holds the row -1.
  Exec(*tr, "CREATE EXCEPTION E_NO_COMMIT 'commit refused'");
  tr->Commit();
  Exec(*tr, "CREATE TRIGGER NO_COMMIT ON TRANSACTION COMMIT AS BEGIN "
            "IF (EXISTS(SELECT 1 FROM T WHERE ID = -1)) THEN EXCEPTION E_NO_COMMIT; END");
  tr->Commit();

  Exec(*tr, "INSERT INTO T VALUES (-1, 0)");
  try {
    tr->Commit();
    FAIL() << "the commit was not refused";
  } catch (const EFIBInterBaseError& e) {
    EXPECT_NE(e.Message().find("Commit refused.\r\n"), std::string::npos) << e.Message();
  }
  EXPECT_TRUE(tr->Active());
  EXPECT_EQ(tr->State(), tsCommitting);

  EXPECT_NO_THROW(tr->EndTransaction(TACommit, true));
  EXPECT_FALSE(tr->Active());
  EXPECT_EQ(tr->State(), tsInactive);
  // The forced end rolled the refused work back.
  EXPECT_EQ(QueryInt(*tr, "SELECT COUNT(*) FROM T WHERE ID = -1"), 0);
  tr->Commit();
}

TEST_F(transaction_server, start_needs_an_attached_database) {
  db->Close();
  try {
    tr->StartTransaction();
    FAIL();
  } catch (const EFIBClientError& e) {
    EXPECT_EQ(e.SQLCode(), 12);
    EXPECT_EQ(e.Message(), "Form1.dbNimbus: Cannot perform operation -- DB is not open.");
  }
  EXPECT_FALSE(tr->Active());
}

} // namespace
} // namespace nimbus
