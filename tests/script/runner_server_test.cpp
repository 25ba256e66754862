// The runner against the test server, as the main window sets it up.
#include "script/runner.h"

#include <gtest/gtest.h>

#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "fib/query.h"
#include "tests/script/runner_server_fixture.h"

namespace nimbus {
namespace {

using Lines = std::vector<std::string>;

class runner_server : public test::RunnerServerTest {
protected:
  // What other attachments see: committed work only.
  int Committed(const std::string& sql) {
    TpFIBTransaction reader(&form);
    reader.SetDefaultDatabase(db);
    reader.TPBMode = tpbDefault;
    reader.TRParams().Assign({"read", "read_committed", "rec_version"});
    const int value = QueryInt(reader, sql);
    reader.Commit();
    return value;
  }
};

TEST_F(runner_server, ddl_then_dml_with_commits_after_ddl) {
  Run("CREATE TABLE T (ID INTEGER NOT NULL PRIMARY KEY, NAME VARCHAR(20));\n"
      "INSERT INTO T (ID, NAME) VALUES (1, 'one');\n"
      "SET TERM ^ ;\n"
      "CREATE PROCEDURE P_ADD (X INTEGER) AS\n"
      "BEGIN\n"
      "  INSERT INTO T (ID, NAME) VALUES (:X, 'proc');\n"
      "END^\n"
      "SET TERM ; ^\n"
      "EXECUTE PROCEDURE P_ADD(2);\n"
      "CREATE VIEW V AS SELECT ID FROM T;\n"
      "SELECT COUNT(*) FROM V;\n"
      "UPDATE T SET NAME = 'uno' WHERE ID = 1;");
  EXPECT_EQ(ErrorList(), "");
  // CREATE VIEW committed the rows before it; the UPDATE after it waits for
  // the caller's commit.
  EXPECT_TRUE(tr->Active());
  EXPECT_EQ(Committed("SELECT COUNT(*) FROM V"), 2);
  EXPECT_EQ(Committed("SELECT COUNT(*) FROM T WHERE NAME = 'uno'"), 0);
  EXPECT_EQ(QueryInt(*tr, "SELECT COUNT(*) FROM T WHERE NAME = 'uno'"), 1);
  tr->Commit();

  // Without the commit after CREATE TABLE, the table is not there yet.
  Run("SET AUTODDL OFF;\n"
      "CREATE TABLE U (A INTEGER);\n"
      "INSERT INTO U VALUES (1);");
  ASSERT_EQ(errors.size(), 1u) << ErrorList();
  EXPECT_EQ(errors[0].StatementNo, 3);
  EXPECT_NE(errors[0].Msg.find("Table unknown"), std::string::npos) << errors[0].Msg;
  EXPECT_FALSE(scripter->AutoDDL);
}

TEST_F(runner_server, error_path_with_and_without_the_handler_defaults) {
  struct Case {
    const char* table;
    bool defaults;
    int rows; // in the transaction after the run
    int stoppedAt;
    bool active;
  };
  const Case cases[] = {
      // Rolled back, and stopped before statement 3.
      {"T1", true, 0, 3, false},
      // Neither: the run goes on and keeps the rows before and after.
      {"T2", false, 2, 0, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.defaults ? "defaults" : "cleared");
    const std::string table = c.table;
    Run("CREATE TABLE " + table + " (ID INTEGER NOT NULL PRIMARY KEY);\n");
    keepDefaults = c.defaults;
    Run("INSERT INTO " + table +
        " VALUES (1);\n"
        "INSERT INTO " +
        table +
        " VALUES (1);\n"
        "\n"
        "INSERT INTO " +
        table + " VALUES (2);");
    keepDefaults = false;
    ASSERT_EQ(errors.size(), 1u) << ErrorList();
    EXPECT_EQ(errors[0].StatementNo, 2);
    EXPECT_EQ(errors[0].Line, 2);
    EXPECT_EQ(errors[0].SQLCode, -803);
    EXPECT_EQ(scripter->StoppedAt(), c.stoppedAt);
    EXPECT_EQ(tr->Active(), c.active);
    EXPECT_EQ(QueryInt(*tr, "SELECT COUNT(*) FROM " + table), c.rows);
    tr->Commit();
  }
}

TEST_F(runner_server, commit_and_rollback_commands) {
  Run("CREATE TABLE T (ID INTEGER);\n"
      "INSERT INTO T VALUES (1);\n"
      "COMMIT;\n"
      "INSERT INTO T VALUES (2);\n"
      "ROLLBACK;\n"
      "INSERT INTO T VALUES (3);\n"
      "SAVEPOINT S1;\n"
      "INSERT INTO T VALUES (4);\n"
      "ROLLBACK TO SAVEPOINT S1;\n"
      "INSERT INTO T VALUES (5);");
  EXPECT_EQ(ErrorList(), "");
  EXPECT_EQ(Committed("SELECT COUNT(*) FROM T"), 1);
  // The savepoint undid 4 only: 3, before it, stays.
  EXPECT_EQ(QueryInt(*tr, "SELECT SUM(ID) FROM T"), 1 + 3 + 5);
}

// Scripts whose statements were once cut in the wrong place: a statement lost
// inside another, or a piece of one run on its own.
TEST_F(runner_server, statements_run_whole_and_nothing_else_runs) {
  struct Case {
    const char* name;
    std::string script;
    std::string count; // of the rows the whole script leaves
    int rows;
  };
  const Case cases[] = {
      {"a letter is no punctuation terminator",
       "CREATE TABLE T2 (ID INTEGER);\n"
       "SET TERM ! ;\n"
       "CREATE PROCEDURE P2 AS\n"
       "BEGIN\n"
       "  INSERT INTO T2 SELECT 1 FROM RDB$DATABASE A;\n"
       "END!\n"
       "SET TERM ; !\n"
       "EXECUTE PROCEDURE P2;",
       "SELECT COUNT(*) FROM T2", 1},
      {"a q-literal holding a quote and statements",
       "CREATE TABLE T1 (ID INTEGER, S VARCHAR(100));\n"
       "INSERT INTO T1 VALUES (1, 'keep');\n"
       "COMMIT;\n"
       "INSERT INTO T1 VALUES (2, q'[it's; DELETE FROM T1; ]');\n"
       "INSERT INTO T1 VALUES (3, Q'{a\n;b}');",
       "SELECT COUNT(*) FROM T1 WHERE S IN ('keep', 'it''s; DELETE FROM T1; ', "
       "'a' || ASCII_CHAR(13) || ASCII_CHAR(10) || ';b')",
       3},
      {"a CASE closed by END)",
       "CREATE TABLE T8 (ID INTEGER);\n"
       "CREATE PROCEDURE P8 (N INTEGER) AS\n"
       "BEGIN\n"
       "  INSERT INTO T8 VALUES (COALESCE(NULL, CASE WHEN :N > 0 THEN 1 ELSE 0 END));\n"
       "END;\n"
       "INSERT INTO T8 VALUES (10);\n"
       "COMMIT;\n"
       "EXECUTE PROCEDURE P8(5);\n"
       "INSERT INTO T8 VALUES (11);",
       "SELECT SUM(ID) FROM T8", 1 + 10 + 11},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Run(c.script);
    EXPECT_EQ(ErrorList(), "");
    EXPECT_EQ(QueryInt(*tr, c.count), c.rows);
    tr->Commit();
  }
}

TEST_F(runner_server, failed_commits_roll_back_and_the_rest_is_kept) {
  // Firebird checks a unique index against existing rows at commit.
  struct Case {
    const char* name;
    std::string n; // of the tables and the index
    std::string script;
    std::int32_t failing;
  };
  const Case cases[] = {
      {"COMMIT command", "1",
       "SET AUTODDL OFF;\n"
       "CREATE TABLE T1 (ID INTEGER);\n"
       "COMMIT;\n"
       "INSERT INTO T1 VALUES (1);\n"
       "INSERT INTO T1 VALUES (1);\n"
       "COMMIT;\n"
       "CREATE UNIQUE INDEX IX1 ON T1 (ID);\n"
       "COMMIT;\n"
       "INSERT INTO T1 VALUES (2);\n"
       "CREATE TABLE U1 (A INTEGER);\n"
       "COMMIT;\n"
       "INSERT INTO U1 VALUES (1);\n"
       "COMMIT;\n"
       "SET AUTODDL ON;",
       8},
      {"commit after DDL", "2",
       "CREATE TABLE T2 (ID INTEGER);\n"
       "INSERT INTO T2 VALUES (1);\n"
       "INSERT INTO T2 VALUES (1);\n"
       "COMMIT;\n"
       "CREATE UNIQUE INDEX IX2 ON T2 (ID);\n"
       "INSERT INTO T2 VALUES (2);\n"
       "CREATE TABLE U2 (A INTEGER);\n"
       "INSERT INTO U2 VALUES (1);\n"
       "COMMIT;",
       5},
      {"commit after DDL, rows written just before it", "3",
       "CREATE TABLE T3 (ID INTEGER);\n"
       "INSERT INTO T3 VALUES (1);\n"
       "INSERT INTO T3 VALUES (1);\n"
       "CREATE UNIQUE INDEX IX3 ON T3 (ID);\n"
       "INSERT INTO T3 VALUES (2);\n"
       "CREATE TABLE U3 (A INTEGER);\n"
       "INSERT INTO U3 VALUES (1);\n"
       "COMMIT;",
       4},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Run(c.script);
    EXPECT_EQ(errors.size(), 1u) << ErrorList();
    if (!errors.empty()) {
      EXPECT_EQ(errors[0].StatementNo, c.failing);
      EXPECT_EQ(errors[0].SQLCode, -803);
    }
    const std::string& n = c.n;
    if (tr->Active()) // a failed commit left behind must not hide the next case
      tr->Rollback();
    EXPECT_EQ(Committed("SELECT COUNT(*) FROM T" + n), 3);
    EXPECT_EQ(Committed("SELECT COUNT(*) FROM U" + n), 1);
    EXPECT_EQ(Committed("SELECT COUNT(*) FROM RDB$INDICES WHERE RDB$INDEX_NAME = 'IX" + n + "'"),
              0);
  }
}

TEST_F(runner_server, reinsert_repeats_an_insert_with_a_column_list) {
  Run("CREATE TABLE T (ID INTEGER, NAME VARCHAR(10));\n"
      "INSERT INTO T (NAME, ID) VALUES ('a', 1);\n"
      "REINSERT ('b', 2);\n"
      "REINSERT\n"
      "  ('c', 3);");
  EXPECT_EQ(ErrorList(), "");
  EXPECT_EQ(QueryInt(*tr, "SELECT COUNT(*) FROM T"), 3);
  EXPECT_EQ(QueryInt(*tr, "SELECT ID FROM T WHERE NAME = 'c'"), 3);
}

// A parameter nothing gives a value would reach the server as NULL and
// overwrite committed data: such a statement fails on its own, the run goes
// on. Colon names inside PSQL bodies are the body's own and keep working.
TEST_F(runner_server, statements_with_parameters_nothing_fills_fail_unsent) {
  Run("CREATE TABLE T (ID INTEGER, S VARCHAR(30));\n"
      "INSERT INTO T VALUES (1, 'keep');\n"
      "COMMIT;\n"
      "UPDATE T SET S = :NEWVAL WHERE ID = 1;\n"
      "INSERT INTO T VALUES (:A, :B);\n"
      "DELETE FROM T WHERE ID = :ID OR S = :ID;\n"
      "SELECT ID FROM T WHERE ID = :ID;\n"
      "SET TERM ^ ;\n"
      "CREATE PROCEDURE P (X INTEGER) RETURNS (Y INTEGER) AS\n"
      "DECLARE V INTEGER; BEGIN V = :X * 2; Y = :V; SUSPEND; END^\n"
      "CREATE TRIGGER TR FOR T BEFORE INSERT AS DECLARE V VARCHAR(30);\n"
      "BEGIN V = 'trigger'; IF (NEW.S IS NULL) THEN NEW.S = :V; END^\n"
      "EXECUTE BLOCK AS DECLARE N INTEGER; BEGIN\n"
      "SELECT COUNT(*) FROM T INTO :N; INSERT INTO T VALUES (2, 'block ' || :N); END^\n"
      "EXECUTE BLOCK (P INTEGER = :P) AS BEGIN INSERT INTO T VALUES (:P, 'input'); END^\n"
      "SET TERM ; ^\n"
      "INSERT INTO T (ID) SELECT Y FROM P(2);\n"
      "COMMIT;");
  std::vector<std::string> messages;
  for (const test::Reported& e : errors)
    messages.push_back(std::to_string(e.Line) + " " + e.Msg);
  EXPECT_EQ(messages, (Lines{
                          "4 Parameter :NEWVAL has no value; the statement was not executed",
                          "5 Parameters :A, :B have no value; the statement was not executed",
                          "6 Parameter :ID has no value; the statement was not executed",
                          "7 Parameter :ID has no value; the statement was not executed",
                          "15 Parameter :P has no value; the statement was not executed",
                      }));
  EXPECT_EQ(Text("SELECT LIST(ID || '=' || S, ',') FROM (SELECT * FROM T ORDER BY ID)"),
            "1=keep,2=block 1,4=trigger");

  // Batched: the refused statement is the only one missing.
  Run("{$EXECUTE_BLOCK ON}\nINSERT INTO T VALUES (5, 'b');\nUPDATE T SET S = :S WHERE ID = 1;\n"
      "INSERT INTO T VALUES (6, 'b');\nCOMMIT;");
  ASSERT_EQ(errors.size(), 1u) << ErrorList();
  EXPECT_EQ(errors[0].StatementNo, 3);
  EXPECT_EQ(Text("SELECT LIST(ID || '=' || S, ',') FROM (SELECT * FROM T ORDER BY ID)"),
            "1=keep,2=block 1,4=trigger,5=b,6=b");
}

TEST_F(runner_server, describe_sets_descriptions) {
  Run("CREATE DOMAIN D_CODE INTEGER;\n"
      "CREATE TABLE T (ID INTEGER, \"Mixed\" INTEGER);\n"
      "CREATE VIEW V AS SELECT ID FROM T;\n"
      "CREATE EXCEPTION E_X 'x';\n"
      "CREATE GENERATOR G;\n"
      "SET TERM ^ ;\n"
      "CREATE PROCEDURE P (X INTEGER) AS BEGIN END^\n"
      "CREATE TRIGGER TR FOR T BEFORE INSERT AS BEGIN END^\n"
      "CREATE FUNCTION F (X INTEGER) RETURNS INTEGER AS BEGIN RETURN X; END^\n"
      "SET TERM ; ^");
  ASSERT_EQ(ErrorList(), "");

  struct Case {
    const char* describe;
    const char* query; // reads the description back
    const char* expected;
  };
  const Case cases[] = {
      {"DESCRIBE TABLE T 'it''s; a table';",
       "SELECT RDB$DESCRIPTION FROM RDB$RELATIONS WHERE RDB$RELATION_NAME = 'T'", "it's; a table"},
      {"describe table t 'lower case names are upper-cased';",
       "SELECT RDB$DESCRIPTION FROM RDB$RELATIONS WHERE RDB$RELATION_NAME = 'T'",
       "lower case names are upper-cased"},
      {"DESCRIBE FIELD ID TABLE T 'the key; \"quoted\"';",
       "SELECT RDB$DESCRIPTION FROM RDB$RELATION_FIELDS WHERE RDB$RELATION_NAME = 'T' AND "
       "RDB$FIELD_NAME = 'ID'",
       "the key; \"quoted\""},
      {"DESCRIBE COLUMN \"Mixed\" TABLE T 'mixed case kept';",
       "SELECT RDB$DESCRIPTION FROM RDB$RELATION_FIELDS WHERE RDB$RELATION_NAME = 'T' AND "
       "RDB$FIELD_NAME = 'Mixed'",
       "mixed case kept"},
      {"DESCRIBE PROCEDURE P 'two\nlines; ''quoted''';",
       "SELECT RDB$DESCRIPTION FROM RDB$PROCEDURES WHERE RDB$PROCEDURE_NAME = 'P'",
       "two\r\nlines; 'quoted'"},
      {"DESCRIBE PARAMETER X PROCEDURE P 'input';",
       "SELECT RDB$DESCRIPTION FROM RDB$PROCEDURE_PARAMETERS WHERE RDB$PROCEDURE_NAME = 'P'",
       "input"},
      {"DESCRIBE GENERATOR G 'counts; ''things''';",
       "SELECT RDB$DESCRIPTION FROM RDB$GENERATORS WHERE RDB$GENERATOR_NAME = 'G'",
       "counts; 'things'"},
      {"DESCRIBE VIEW V 'a view';",
       "SELECT RDB$DESCRIPTION FROM RDB$RELATIONS WHERE RDB$RELATION_NAME = 'V'", "a view"},
      {"DESCRIBE DOMAIN D_CODE 'a domain';",
       "SELECT RDB$DESCRIPTION FROM RDB$FIELDS WHERE RDB$FIELD_NAME = 'D_CODE'", "a domain"},
      {"DESCRIBE EXCEPTION E_X 'an exception';",
       "SELECT RDB$DESCRIPTION FROM RDB$EXCEPTIONS WHERE RDB$EXCEPTION_NAME = 'E_X'",
       "an exception"},
      {"DESCRIBE TRIGGER TR 'a trigger';",
       "SELECT RDB$DESCRIPTION FROM RDB$TRIGGERS WHERE RDB$TRIGGER_NAME = 'TR'", "a trigger"},
      {"DESCRIBE FUNCTION F 'a function';",
       "SELECT RDB$DESCRIPTION FROM RDB$FUNCTIONS WHERE RDB$FUNCTION_NAME = 'F'", "a function"},
      // A description that is no literal is taken as it stands.
      {"DESCRIBE TABLE T plain words;",
       "SELECT RDB$DESCRIPTION FROM RDB$RELATIONS WHERE RDB$RELATION_NAME = 'T'",
       "plain words\r\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.describe);
    Run(c.describe);
    EXPECT_EQ(ErrorList(), "");
    EXPECT_EQ(Text(c.query), c.expected);
  }

  // A server error takes the error path and the run goes on.
  Run("DESCRIBE TABLE NOT_THERE 'x';\nINSERT INTO T (ID) VALUES (1);");
  ASSERT_EQ(errors.size(), 1u) << ErrorList();
  EXPECT_EQ(errors[0].StatementNo, 1);
  EXPECT_EQ(QueryInt(*tr, "SELECT COUNT(*) FROM T"), 1);

  try {
    Run("DESCRIBE INDEX RDB$PRIMARY1 'x';");
    FAIL() << "no error";
  } catch (const std::runtime_error& e) {
    EXPECT_STREQ(e.what(), "Unsupported DESCRIBE type INDEX");
  }
}

TEST_F(runner_server, events_carry_line_and_statement_number) {
  Lines events;
  const auto record = [&events](const char* kind) {
    return [&events, kind](TpFIBScripter*, std::int32_t Line, std::int32_t StatementNo,
                           const TStatementDesc&, const Lines&) {
      events.push_back(std::string(kind) + " " + std::to_string(StatementNo) + "@" +
                       std::to_string(Line));
    };
  };
  scripter->BeforeStatementExecute = record("before");
  scripter->AfterStatementExecute = record("after");
  scripter->SetProgressHandler([&events](std::int32_t Line, std::int32_t StatementNo) {
    events.push_back("progress " + std::to_string(StatementNo) + "@" + std::to_string(Line));
  });
  Run("-- a script with comments; and blank lines\n"
      "\n"
      "/* a block\n"
      "   comment; */\n"
      "CREATE TABLE T (ID INTEGER);\n"
      "\n"
      "INSERT INTO T\n"
      "  VALUES (1);   -- trailing\n"
      "{$DEFINE X}\n"
      "{$IFDEF NOPE}\n"
      "INSERT INTO T VALUES (99);\n"
      "{$ENDIF}\n"
      "\n"
      "  INSERT INTO T VALUES (2);\n"
      "INSERT INTO T VALUES (2, 3);\n"
      "COMMIT;");
  EXPECT_EQ(events, (Lines{"before 1@5", "progress 1@5", "after 1@5", "before 2@7", "progress 2@7",
                           "after 2@7", "before 3@9", "before 5@14", "progress 5@14", "after 5@14",
                           "before 6@15", "before 7@16"}));
  ASSERT_EQ(errors.size(), 1u) << ErrorList();
  EXPECT_EQ(errors[0].StatementNo, 6);
  EXPECT_EQ(errors[0].Line, 15);
}

TEST_F(runner_server, a_whole_update_script) {
  Lines events;
  // "B" or "A", then StatementNo@Line.
  const auto record = [&events](char kind) {
    return [&events, kind](TpFIBScripter*, std::int32_t Line, std::int32_t StatementNo,
                           const TStatementDesc&, const Lines&) {
      std::string event(1, kind);
      event += std::to_string(StatementNo);
      event += '@';
      event += std::to_string(Line);
      events.push_back(event);
    };
  };
  scripter->BeforeStatementExecute = record('B');
  scripter->AfterStatementExecute = record('A');
  Run("/* Nimbus update script */\n"
      "SET SQL DIALECT 3;\n"
      "{$IFNOTEXISTS TABLE ADHERENT}\n"
      "CREATE TABLE ADHERENT (ID INTEGER NOT NULL PRIMARY KEY, NOM VARCHAR(40), CENTRE INTEGER);\n"
      "{$ENDIF}\n"
      "{$IFNOTEXISTS GENERATOR GEN_ADHERENT}\n"
      "CREATE GENERATOR GEN_ADHERENT;\n"
      "{$ENDIF}\n"
      "SET TERM ^ ;\n"
      "CREATE OR ALTER PROCEDURE ADD_ADHERENT (P_NOM VARCHAR(40), P_CENTRE INTEGER)\n"
      "AS\n"
      "BEGIN\n"
      "  INSERT INTO ADHERENT (ID, NOM, CENTRE)\n"
      "    VALUES (GEN_ID(GEN_ADHERENT, 1), :P_NOM, :P_CENTRE);\n"
      "END^\n"
      "SET TERM ; ^\n"
      "COMMIT;\n"
      "EXECUTE PROCEDURE ADD_ADHERENT('Dupont', 1000);\n"
      "EXECUTE PROCEDURE ADD_ADHERENT('M\xFCller; Anne', 1000);\n"
      "INSERT INTO ADHERENT (ID, NOM, CENTRE) VALUES (100, 'Martin', 1000);\n"
      "REINSERT (100, 'Duplicate', 1000); -- refused: the key exists\n"
      "REINSERT (101, 'Bernard', 1000);\n"
      "{$IF SERVER_MAJOR_VER>=3}\n"
      "DESCRIBE TABLE ADHERENT 'Les adh\xE9rents; un par personne';\n"
      "{$ELSE}\n"
      "UPDATE ADHERENT SET NOM = 'old server';\n"
      "{$ENDIF}\n"
      "UPDATE ADHERENT SET CENTRE = 2000 WHERE NOM STARTING WITH 'M';\n"
      "COMMIT;");
  ASSERT_EQ(errors.size(), 1u) << ErrorList();
  EXPECT_EQ(errors[0].StatementNo, 9);
  EXPECT_EQ(errors[0].Line, 21);
  EXPECT_EQ(errors[0].SQLCode, -803);
  EXPECT_EQ(events,
            (Lines{"B1@2",   "B2@4",   "A2@4",   "B3@7",   "A3@7",   "B4@10", "A4@10", "B5@17",
                   "B6@18",  "A6@18",  "B7@19",  "A7@19",  "B8@20",  "A8@20", "B9@21", "B10@22",
                   "A10@22", "B11@24", "A11@24", "B13@28", "A13@28", "B14@29"}));
  EXPECT_FALSE(tr->Active());
  EXPECT_EQ(Committed("SELECT COUNT(*) FROM ADHERENT"), 4);
  EXPECT_EQ(Committed("SELECT COUNT(*) FROM ADHERENT WHERE CENTRE = 2000"), 2);
  EXPECT_EQ(Committed("SELECT COUNT(*) FROM ADHERENT WHERE NOM = 'M\xFCller; Anne'"), 1);
  EXPECT_EQ(Text("SELECT RDB$DESCRIPTION FROM RDB$RELATIONS WHERE RDB$RELATION_NAME = "
                 "'ADHERENT'"),
            "Les adh\xE9rents; un par personne");
}

TEST_F(runner_server, a_new_database_commits_the_running_transaction) {
  Run("CREATE TABLE T (ID INTEGER);\nINSERT INTO T VALUES (1);");
  EXPECT_TRUE(tr->Active());
  scripter->SetDatabase(db);
  EXPECT_FALSE(tr->Active());
  EXPECT_EQ(Committed("SELECT COUNT(*) FROM T"), 1);
}

} // namespace
} // namespace nimbus
