// The runner's plain statements in one round trip against the normal
// prepare-and-execute path: everything a caller sees must be the same.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "fib/query.h"
#include "script/runner.h"
#include "tests/script/runner_server_fixture.h"

namespace nimbus {
namespace {

using Lines = std::vector<std::string>;

// Every kind of statement the runner sends, succeeding and failing at the
// prepare, at the execute and in a trigger.
constexpr const char* kScript =
    "CREATE TABLE T (ID INTEGER NOT NULL CONSTRAINT PK_T PRIMARY KEY, NAME VARCHAR(12),\n"
    "  N INTEGER CONSTRAINT N_POSITIVE CHECK (N >= 0));\n"
    "CREATE EXCEPTION E_REFUSED 'refused by the trigger';\n"
    "CREATE GENERATOR G;\n"
    "SET GENERATOR G TO 10;\n"
    "SET TERM ^ ;\n"
    "CREATE TRIGGER T_BI FOR T BEFORE INSERT AS\n"
    "BEGIN\n"
    "  IF (NEW.ID = 13) THEN EXCEPTION E_REFUSED;\n"
    "  NEW.N = COALESCE(NEW.N, GEN_ID(G, 1));\n"
    "END^\n"
    "CREATE PROCEDURE P_ADD (X INTEGER) AS\n"
    "BEGIN\n"
    "  INSERT INTO T (ID, NAME) VALUES (:X, 'proc');\n"
    "END^\n"
    "SET TERM ; ^\n"
    "INSERT INTO T (ID, NAME, N) VALUES (1, 'one', 1);\n"
    "INSERT INTO T (ID, NAME, N) VALUES (1, 'again', 1);\n"
    "INSERT INTO T (ID, NAME, N) VALUES (2, 'a name too long', 1);\n"
    "INSERT INTO NOWHERE (ID) VALUES (1);\n"
    "INSERT INTO T (ID, NAMES) VALUES (3, 'x');\n"
    "INSERT INTO T (ID, NAME, N) VALUES (3, 'negative', -1);\n"
    "INSERT INTO T (ID, NAME) VALUES (13, 'refused');\n"
    "INSERT INTO T (ID, NAME) VALUES (4, 'four') RETURNING N;\n"
    "insert into T (ID, NAME) values (5, 'returning');\n"
    "UPDATE T SET N = N + 1 WHERE ID = 1;\n"
    "UPDATE T SET N = N + 1 WHERE ID = 1 RETURNING N;\n"
    "UPDATE T SET NAME = 'nobody' WHERE ID = 999;\n"
    "UPDATE T SET N = -5 WHERE ID = 1;\n"
    "UPDATE OR INSERT INTO T (ID, NAME) VALUES (6, 'six') MATCHING (ID);\n"
    "UPDATE OR INSERT INTO T (ID, NAME) VALUES (6, 'six again') MATCHING (ID) RETURNING N;\n"
    "MERGE INTO T USING (SELECT 7 AS ID FROM RDB$DATABASE) S ON T.ID = S.ID\n"
    "  WHEN NOT MATCHED THEN INSERT (ID, NAME) VALUES (S.ID, 'merged');\n"
    "MERGE INTO T USING (SELECT 1 AS ID FROM RDB$DATABASE) S ON T.ID = S.ID\n"
    "  WHEN MATCHED THEN UPDATE SET N = 50;\n"
    "MERGE INTO T USING (SELECT 7 AS ID FROM RDB$DATABASE) S ON T.ID = S.ID\n"
    "  WHEN MATCHED THEN DELETE;\n"
    "DELETE FROM T WHERE ID = 5;\n"
    "DELETE FROM T WHERE ID = 4 RETURNING NAME;\n"
    "DELETE FROM NOWHERE;\n"
    "SET TERM ^ ;\n"
    "EXECUTE BLOCK AS\n"
    "DECLARE K INTEGER = 20;\n"
    "BEGIN\n"
    "  INSERT INTO T (ID, NAME) VALUES (:K, 'block');\n"
    "END^\n"
    "EXECUTE BLOCK AS BEGIN INSERT INTO T (ID, NAME) VALUES (13, 'block'); END^\n"
    "EXECUTE BLOCK RETURNS (X INTEGER) AS BEGIN X = 1; SUSPEND; END^\n"
    "SET TERM ; ^\n"
    "EXECUTE PROCEDURE P_ADD(8);\n"
    "EXECUTE PROCEDURE P_ADD(8);\n"
    "SELECT COUNT(*) FROM T;\n"
    "CREATE TABLE T (ID INTEGER);\n"
    "INSERT INTO T (ID, NAME) VALUES (9, 'last');\n";

class runner_paths : public test::RunnerServerTest {
protected:
  struct Outcome {
    Lines log;      // events, notifications, transaction ends and errors, in order
    Lines prepared; // statements that still held a prepared handle after running
    Lines rows;     // the table and the generator afterwards, committed
  };

  // Runs kScript on a fresh database with the one-round-trip path on or off.
  Outcome RunOnFreshDatabase(bool immediate) {
    if (db->Connected()) {
      db->DropDatabase();
      CreateTestDatabase();
      db->SetConnected(true);
    }
    // A runner of its own each time: its statement starts from the same state.
    auto* fresh = new TpFIBScripter(&form);
    fresh->SetDatabase(db);
    fresh->SetTransaction(tr);
    fresh->OnExecuteError = scripter->OnExecuteError;
    delete scripter;
    scripter = fresh;
    EXPECT_TRUE(scripter->OwnStatement()->ImmediateWhenPlain); // the runner's choice
    Outcome out;
    scripter->OwnStatement()->ImmediateWhenPlain = immediate;
    const auto record = [this, &out](const char* kind) {
      return [this, &out, kind](TpFIBScripter*, std::int32_t Line, std::int32_t StatementNo,
                                const TStatementDesc&, const Lines&) {
        const TpFIBQuery& q = *scripter->OwnStatement();
        std::string line =
            std::string(kind) + std::to_string(StatementNo) + "@" + std::to_string(Line);
        if (kind[0] == 'A') {
          line += " type " + std::to_string(q.SQLType()) + " proc " +
                  std::to_string(q.ProcExecuted()) + " rows " + std::to_string(q.RecordCount()) +
                  " open " + std::to_string(q.Open());
          if (q.Prepared())
            out.prepared.push_back(std::to_string(StatementNo));
        }
        out.log.push_back(line);
      };
    };
    scripter->BeforeStatementExecute = record("B");
    scripter->AfterStatementExecute = record("A");
    tr->BeforeSQLExecute = [&out](TFIBQuery*, TFIBSQLTypes type) {
      out.log.push_back("before " + std::to_string(type));
    };
    tr->AfterSQLExecute = [&out](TFIBQuery*, TFIBSQLTypes type) {
      out.log.push_back("after " + std::to_string(type));
    };
    tr->AfterEnd = [&out](TFIBTransaction*, TTransactionAction action, bool) {
      out.log.push_back("end " + std::to_string(action));
    };
    Run(kScript);
    for (const test::Reported& e : errors)
      out.log.push_back("error " + std::to_string(e.StatementNo) + "@" + std::to_string(e.Line) +
                        " " + std::to_string(e.SQLCode) + " " + e.Msg);
    tr->BeforeSQLExecute = tr->AfterSQLExecute = nullptr;
    tr->AfterEnd = nullptr;
    if (tr->Active())
      tr->Commit();

    TpFIBQuery q(&form);
    q.SetDatabase(db);
    q.SetTransaction(tr);
    tr->StartTransaction();
    // In the order of ID, the generator last: where a row is stored depends
    // on when the commits fell.
    q.SQL().Assign({"SELECT ID, ID || ' ' || COALESCE(NAME, '-') || ' ' || COALESCE(N, -99) FROM T "
                    "UNION ALL SELECT 2147483647, 'G ' || GEN_ID(G, 0) FROM RDB$DATABASE "
                    "ORDER BY 1"});
    for (q.ExecQuery(); !q.Eof(); q.Next())
      out.rows.push_back(q.Fields(1).AsVariant().Get<std::string>());
    q.Close();
    tr->Commit();
    return out;
  }
};

TEST_F(runner_paths, plain_statements_in_one_round_trip_change_nothing_a_caller_sees) {
  const Outcome normal = RunOnFreshDatabase(false);
  const Outcome immediate = RunOnFreshDatabase(true);
  EXPECT_EQ(immediate.log, normal.log);
  EXPECT_EQ(immediate.rows, normal.rows);
  // The failures the script provokes, each reported once.
  std::size_t failures = 0;
  for (const std::string& line : normal.log)
    failures += line.rfind("error ", 0) == 0;
  EXPECT_EQ(failures, 11u);
  EXPECT_EQ(normal.rows,
            (Lines{"1 one 50", "6 six again 13", "8 proc 16", "9 last 18", "20 block 15", "G 18"}));

  // Only the statements with results or outputs kept the normal path: the
  // INSERT, UPDATE, UPDATE OR INSERT and DELETE with RETURNING, the EXECUTE
  // BLOCK with RETURNS, the EXECUTE PROCEDURE and the SELECT.
  EXPECT_EQ(immediate.prepared, (Lines{"14", "17", "21", "26", "30", "31", "33"}));
}

} // namespace
} // namespace nimbus
