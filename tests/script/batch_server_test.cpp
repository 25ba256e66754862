// EXECUTE BLOCK batching, BATCH blocks, blob files and INPUT files against
// the test server.
#include "script/runner.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "fib/query.h"
#include "tests/script/runner_server_fixture.h"
#include "tests/support/temp_dir.h"

namespace nimbus {
namespace {

using Numbers = std::vector<std::int32_t>;

class batch_server : public test::RunnerServerTest {
protected:
  void SetUp() override {
    RunnerServerTest::SetUp();
    scripter->AfterStatementExecute =
        [this](TpFIBScripter*, std::int32_t, std::int32_t StatementNo, const TStatementDesc&,
               const std::vector<std::string>&) { after.push_back(StatementNo); };
  }

  void Exec(const std::string& sql) {
    ServerDatabaseTest::Exec(*tr, sql);
    tr->Commit();
  }
  int Int(const std::string& sql) { return QueryInt(*tr, sql); }

  void RunBatched(const std::string& text) {
    after.clear();
    Run("{$EXECUTE_BLOCK ON}\n" + text);
  }

  Numbers after;
};

// A block's After event carries the statement that made it run; a block that
// fell back to single statements shows every statement's own number.
TEST_F(batch_server, blocks_never_refused_by_the_server) {
  Exec("CREATE TABLE T (ID INTEGER NOT NULL PRIMARY KEY, V INTEGER)");
  Exec("CREATE PROCEDURE P (X INTEGER) RETURNS (Y INTEGER) AS BEGIN Y = X * 2; SUSPEND; END");
  const auto repeat = [](const std::string& statement, int n) {
    std::string text;
    for (int i = 1; i <= n; ++i)
      text += statement + ";\n";
    return text;
  };
  struct Case {
    const char* name;
    std::string script; // after the directive, which is statement 1
    Numbers after;
  };
  const Case cases[] = {
      {"a last line ending in a comment",
       "INSERT INTO T VALUES (1, 0) -- first\n;\nINSERT INTO T VALUES (2, 0);\nCOMMIT;",
       {4}},
      {"256 inserts: the 256th starts a new block",
       repeat("INSERT INTO T VALUES (GEN_ID(G, 1), 0)", 256) + "COMMIT;",
       {257, 258}},
      {"UPDATE weighs 2",
       repeat("UPDATE T SET V = V + 1 WHERE ID = 1", 150) + "COMMIT;",
       {130, 152}},
      {"UPDATE OR INSERT weighs 3",
       repeat("UPDATE OR INSERT INTO T (ID, V) VALUES (1, 5) MATCHING (ID)", 90) + "COMMIT;",
       {87, 92}},
      {"MERGE weighs 4",
       repeat("MERGE INTO T USING RDB$DATABASE ON T.ID = 1 WHEN MATCHED THEN UPDATE SET V = 1",
              70) +
           "COMMIT;",
       {66, 72}},
      {"RETURNING runs alone",
       "INSERT INTO T VALUES (3, 0);\nINSERT INTO T VALUES (4, 0) RETURNING ID;\n"
       "INSERT INTO T VALUES (5, 0);\nCOMMIT;",
       {3, 3, 5}},
      {"EXECUTE PROCEDURE runs alone",
       "INSERT INTO T VALUES (6, 0);\nEXECUTE PROCEDURE P(5);\nCOMMIT;",
       {3, 3}},
  };
  Exec("CREATE SEQUENCE G");
  Exec("SET GENERATOR G TO 1000");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    RunBatched(c.script);
    EXPECT_EQ(ErrorList(), "");
    EXPECT_EQ(after, c.after);
  }
  EXPECT_EQ(Int("SELECT COUNT(*) FROM T WHERE ID < 1000"), 6);
  EXPECT_EQ(Int("SELECT COUNT(*) FROM T WHERE ID > 1000"), 256);
  EXPECT_EQ(Int("SELECT V FROM T WHERE ID = 1"), 1);
}

// The whole mixture, batched and not, on two tables of one database: the same
// rows and the same single error, reported with the duplicate's own line.
TEST_F(batch_server, a_failing_block_loses_no_statement) {
  const std::string literal(65000, 'x');
  std::string script = "CREATE TABLE T (ID INTEGER NOT NULL PRIMARY KEY, V INTEGER, "
                       "B BLOB SUB_TYPE TEXT);\n"
                       "SET TERM ^ ;\n"
                       "CREATE PROCEDURE P_T (X INTEGER) RETURNS (Y INTEGER) AS "
                       "BEGIN Y = X * 2; SUSPEND; END^\n"
                       "SET TERM ; ^\n";
  for (int i = 1; i <= 300; ++i)
    script +=
        "INSERT INTO T (ID, V) VALUES (" + std::to_string(i) + ", " + std::to_string(i) + ");\n";
  for (int i = 1; i <= 200; ++i)
    script += "UPDATE T SET V = V + 1000 WHERE ID = " + std::to_string(i) + ";\n";
  script += "INSERT INTO T (ID, V) VALUES (150, -1);\n"; // the duplicate, line 506 of the run
  script += "INSERT INTO T (ID, V) VALUES (301, 0) -- the last\n;\n";
  script += "INSERT INTO T (ID, V, B) VALUES (302, 0, '" + literal + "');\n";
  script += "EXECUTE PROCEDURE P_T(5);\nINSERT INTO T (ID, V) VALUES (303, 0);\nCOMMIT;\n"
            "INSERT INTO T (ID, V) VALUES (304, 0);\n";

  const auto renamed = [&](const std::string& table) {
    std::string text = script;
    for (std::size_t at = 0; (at = text.find(" T ", at)) != std::string::npos; at += 2)
      text.replace(at, 3, " " + table + " ");
    for (std::size_t at = 0; (at = text.find("P_T", at)) != std::string::npos; at += 2)
      text.replace(at, 3, "P_" + table);
    return text;
  };
  const auto digest = [&](const std::string& table) {
    return Text("SELECT COUNT(*) || '/' || SUM(ID) || '/' || SUM(V) || '/' || "
                "SUM(CHAR_LENGTH(COALESCE(B, ''))) FROM " +
                table);
  };

  Run("{$EXECUTE_BLOCK OFF}\n" + renamed("PLAIN"));
  const auto where = [this] {
    std::string text;
    for (const test::Reported& e : errors)
      text += std::to_string(e.StatementNo) + "@" + std::to_string(e.Line) + " " +
              std::to_string(e.SQLCode) + "\n";
    return text;
  };
  const std::string plainErrors = where();
  RunBatched(renamed("BATCHED"));
  EXPECT_EQ(where(), plainErrors);
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_EQ(errors[0].Line, 506);
  EXPECT_EQ(digest("BATCHED"), digest("PLAIN"));
  EXPECT_EQ(Int("SELECT COUNT(*) FROM BATCHED"), 304);
}

// A script that fails while the buffer holds statements takes them with it.
TEST_F(batch_server, a_failed_script_leaves_nothing_to_the_next) {
  Exec("CREATE TABLE T (ID INTEGER)");
  // An unreadable condition leaves the run with the first INSERT buffered.
  EXPECT_THROW(RunBatched("INSERT INTO T VALUES (1);\n{$IF X}\nINSERT INTO T VALUES (2);\n"
                          "{$ENDIF}"),
               std::runtime_error);
  if (tr->Active())
    tr->Rollback();
  RunBatched("INSERT INTO T VALUES (3);\nCOMMIT;");
  EXPECT_EQ(Int("SELECT SUM(ID) FROM T"), 3);
}

TEST_F(batch_server, directive_queries_see_buffered_rows) {
  Exec("CREATE TABLE T (ID INTEGER)");
  RunBatched("INSERT INTO T VALUES (1);\n"
             "{$IFEXISTS SELECT 1 FROM T WHERE ID = 1}\nINSERT INTO T VALUES (2);\n{$ENDIF}\n"
             "COMMIT;");
  EXPECT_EQ(Int("SELECT SUM(ID) FROM T"), 3);
}

TEST_F(batch_server, batch_blocks_run_their_statements) {
  Exec("CREATE TABLE T (ID INTEGER)");
  Run("BATCH START;\nINSERT INTO T VALUES (1);\n{$IFDEF NOPE}\nINSERT INTO T VALUES (9);\n"
      "{$ENDIF}\nINSERT INTO T VALUES (2);\nBATCH EXECUTE;");
  EXPECT_EQ(ErrorList(), "");
  EXPECT_EQ(Int("SELECT SUM(ID) FROM T"), 3);

  try {
    Run("BATCH START;\nINSERT INTO T VALUES (10);");
    ADD_FAILURE() << "no error";
  } catch (const std::runtime_error& e) {
    EXPECT_STREQ(e.what(), "BATCH START without BATCH EXECUTE: 1 collected statement(s) not "
                           "executed");
  }
  Run("INSERT INTO T VALUES (20);");
  EXPECT_EQ(Int("SELECT SUM(ID) FROM T"), 23);
}

// On a server without batch execution, a BATCH block's statements run as
// they would outside it: REINSERT is rewritten, COMMIT and SET are the
// runner's own, each statement has its events. In a file the block spans
// chunks that are gone by BATCH EXECUTE.
TEST_F(batch_server, batch_blocks_dispatch_their_statements) {
  Exec("CREATE TABLE T (ID INTEGER, S VARCHAR(10), B BLOB)");
  Run("BATCH START;\nINSERT INTO T (ID, S) VALUES (1, 'a');\nREINSERT (2, 'b');\nCOMMIT;\n"
      "INSERT INTO T (ID, S) VALUES (3, 'c');\nBATCH EXECUTE;\nROLLBACK;");
  EXPECT_EQ(ErrorList(), "");
  EXPECT_EQ(after, (Numbers{2, 3, 5}));
  EXPECT_EQ(Text("SELECT LIST(ID || '=' || S, ',') FROM (SELECT * FROM T ORDER BY ID)"), "1=a,2=b");

  test::TempDir folder;
  folder.Write("blob.bin", "xyz");
  const std::string path =
      folder.Write("batch.sql", "BATCH START;\n"
                                "SET BLOBFILE blob.bin;\n"
                                "INSERT INTO T (ID, S, B) VALUES (4, 'd', :H1_2);\n"
                                "REINSERT (5, 'e', :H0_1);\n"
                                "BATCH EXECUTE;\n");
  after.clear();
  scripter->ExecuteFile(path, ";");
  EXPECT_EQ(ErrorList(), "");
  EXPECT_EQ(scripter->BlobFileName(), folder.Path() + "/blob.bin");
  EXPECT_EQ(after, (Numbers{3, 4}));
  EXPECT_EQ(Text("SELECT LIST(ID || '=' || S || CAST(B AS VARCHAR(5)), ',') FROM "
                 "(SELECT * FROM T WHERE ID > 3 ORDER BY ID)"),
            "4=dyz,5=ex");
}

TEST_F(batch_server, blob_file_ranges) {
  test::TempDir folder;
  std::string bytes;
  for (int i = 0; i < 256; ++i)
    bytes += static_cast<char>(i);
  folder.Write("data/blob.bin", bytes);
  scripter->ScriptFolder = folder.Path();
  Exec("CREATE TABLE T (ID INTEGER, B BLOB)");
  Run("SET BLOBFILE data/blob.bin;\nINSERT INTO T VALUES (1, :H10_4);\n"
      "INSERT INTO T VALUES (2, :H10_0);\nINSERT INTO T VALUES (3, :HFF_1);");
  EXPECT_EQ(ErrorList(), "");
  EXPECT_EQ(Int("SELECT OCTET_LENGTH(B) FROM T WHERE ID = 1"), 4);
  EXPECT_EQ(Int("SELECT ASCII_VAL(SUBSTRING(B FROM 1 FOR 1)) FROM T WHERE ID = 1"), 16);
  EXPECT_EQ(Int("SELECT ASCII_VAL(SUBSTRING(B FROM 4 FOR 1)) FROM T WHERE ID = 1"), 19);
  EXPECT_EQ(Int("SELECT COUNT(*) FROM T WHERE ID = 2 AND B IS NULL"), 1);
  EXPECT_EQ(Int("SELECT ASCII_VAL(SUBSTRING(B FROM 1 FOR 1)) FROM T WHERE ID = 3"), 255);

  const char* const outside[] = {":H100_1", ":HFF_2", ":H10_FFFFFFFFFFFFFFFF",
                                 ":H11111111111111111_1"};
  for (const char* param : outside) {
    SCOPED_TRACE(param);
    try {
      Run(std::string("SET BLOBFILE 'data/blob.bin';\nINSERT INTO T VALUES (4, ") + param + ");");
      ADD_FAILURE() << "no error";
    } catch (const std::runtime_error& e) {
      EXPECT_NE(std::string(e.what()).find(folder.Path() + "/data/blob.bin"), std::string::npos)
          << e.what();
    }
  }

  // Only the blob-file parameters of a blob file get values.
  Run("SET BLOBFILE data/blob.bin;\nINSERT INTO T VALUES (:ID, :H10_4);\n"
      "SET BLOBFILE '';\nINSERT INTO T VALUES (5, :H10_4);");
  EXPECT_EQ(ErrorList(), "2@2 -1 Parameter :ID has no value; the statement was not executed\n"
                         "4@4 -1 Parameter :H10_4 has no value; the statement was not executed\n");
  EXPECT_EQ(Int("SELECT COUNT(*) FROM T"), 3);
}

TEST_F(batch_server, input_files_nest_relative_to_their_folder) {
  test::TempDir folder;
  scripter->ScriptFolder = folder.Path();
  folder.Write("sub/child-1.sql",
               "\xEF\xBB\xBFINSERT INTO T VALUES (1, 'caf\xC3\xA9');\n"
               "{$IFDEF NOPE} INSERT INTO T VALUES (90, 'no'); {$ENDIF}\n"
               "{$IFNDEF NOPE}\nINSERT INTO T VALUES (2,\n'two lines');\n{$ENDIF}\n"
               "SET TERM ^ ;\n"
               "EXECUTE BLOCK AS BEGIN INSERT INTO T VALUES (3, 'term'); END^\n"
               "SET TERM ; ^\n"
               "INPUT grand.sql; INSERT INTO T VALUES (4, 'after grand');\n"
               "INSERT INTO T VALUES (5, 'no terminator')");
  folder.Write("sub/grand.sql", "INSERT INTO T VALUES (6, 'grand');\r\n");
  Exec("CREATE TABLE T (ID INTEGER, S VARCHAR(20))");
  Run("INPUT sub/child-1.sql; INSERT INTO T VALUES (7, 'main');\nCOMMIT;");
  EXPECT_EQ(ErrorList(), "");
  EXPECT_EQ(Text("SELECT LIST(ID || '=' || S, ',') FROM (SELECT * FROM T ORDER BY ID)"),
            "1=caf\xE9,2=two lines,3=term,4=after grand,5=no terminator,6=grand,7=main");
}

TEST_F(batch_server, a_file_statements_carry_their_own_lines) {
  test::TempDir folder;
  const std::string path = folder.Write("two.sql", "CREATE TABLE T (ID INTEGER);\n"
                                                   "INSERT INTO T VALUES (1);\n");
  std::vector<std::string> events;
  scripter->BeforeStatementExecute = [&](TpFIBScripter*, std::int32_t Line,
                                         std::int32_t StatementNo, const TStatementDesc&,
                                         const std::vector<std::string>&) {
    events.push_back(std::to_string(StatementNo) + "@" + std::to_string(Line));
  };
  scripter->ExecuteFile(path, ";");
  EXPECT_EQ(events, (std::vector<std::string>{"1@1", "2@2"}));
  EXPECT_EQ(Int("SELECT COUNT(*) FROM T"), 1);
}

// A terminator inside a block comment spanning lines ends nothing, whether
// the comment comes before, after or between statements: the statements
// around it all run, under their own lines.
TEST_F(batch_server, terminators_in_comments_spanning_lines_end_nothing) {
  test::TempDir folder;
  const std::string path = folder.Write("commented.sql", "/* Mise a jour 2.3;\n"
                                                         "   auteur; equipe */\n"
                                                         "INSERT INTO T VALUES (1); /* fin; de\n"
                                                         "ligne */ INSERT INTO T VALUES (2);\n"
                                                         "/* a; */ /* b;\n"
                                                         "\n"
                                                         "c; */ INSERT INTO T VALUES (3);\n"
                                                         "/* never closed;\n");
  Exec("CREATE TABLE T (ID INTEGER)");
  std::vector<std::int32_t> lines;
  scripter->BeforeStatementExecute = [&](TpFIBScripter*, std::int32_t Line, std::int32_t,
                                         const TStatementDesc&, const std::vector<std::string>&) {
    lines.push_back(Line);
  };
  scripter->ExecuteFile(path, ";");
  EXPECT_EQ(ErrorList(), "");
  EXPECT_EQ(lines, (std::vector<std::int32_t>{3, 4, 7}));
  EXPECT_EQ(Int("SELECT COUNT(*) FROM T WHERE ID IN (1, 2, 3)"), 3);
}

TEST_F(batch_server, input_errors_are_clean) {
  test::TempDir folder;
  scripter->ScriptFolder = folder.Path();
  folder.Write("self.sql", "INPUT self.sql;\n");
  folder.Write("open.sql", "{$IFDEF X}\nSELECT 1 FROM RDB$DATABASE;\n");
  const std::pair<const char*, const char*> cases[] = {
      {"INPUT self.sql;", "more than 32 nested INPUT levels"},
      {"INPUT 'open.sql';", "$ENDIF skipped 1 times"},
      {"INPUT missing.sql;", "missing.sql"},
      // Not regular files: nothing would end the read.
      {"INPUT '/dev/null';", "Cannot open file \"/dev/null\". Not a regular file"},
      {"SET BLOBFILE '/dev/zero';\nINSERT INTO T VALUES (:H0_1);",
       "Cannot open file \"/dev/zero\". Not a regular file"},
  };
  for (const auto& [script, message] : cases) {
    SCOPED_TRACE(script);
    try {
      Run(script);
      ADD_FAILURE() << "no error";
    } catch (const std::exception& e) {
      EXPECT_NE(std::string(e.what()).find(message), std::string::npos) << e.what();
    }
  }
  // The runner is whole again afterwards.
  Run("CREATE TABLE T (ID INTEGER);\nINSERT INTO T VALUES (1);");
  EXPECT_EQ(ErrorList(), "");
  EXPECT_EQ(Int("SELECT COUNT(*) FROM T"), 1);
}

} // namespace
} // namespace nimbus
