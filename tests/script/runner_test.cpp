// The runner without a server: references, parse state, dispatch of script
// commands and directive decisions. With no attachment every statement that
// reaches the server fails at its transaction start, so the error handler
// sees exactly the statements that would have been sent.
#include "script/runner.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "fib/access_layer.h"
#include "fib/database.h"
#include "fib/errors.h"
#include "fib/query.h"
#include "fib/transaction.h"
#include "platform/exception.h"
#include "script/script_text.h"
#include "tests/support/temp_dir.h"

namespace nimbus {
namespace {

class runner : public ::testing::Test {
protected:
  void SetUp() override {
    InitAccessLayer();
    form.SetName("Form1");
    scripter = new TpFIBScripter(&form);
    scripter->SetName("pFIBScripter1");
    scripter->BeforeStatementExecute = [this](TpFIBScripter*, std::int32_t Line,
                                              std::int32_t StatementNo, const TStatementDesc&,
                                              const std::vector<std::string>& Statement) {
      if (Statement.empty() || Statement[0].rfind("{$", 0) != 0)
        before.push_back(std::to_string(StatementNo) + "@" + std::to_string(Line) + " " +
                         (Statement.empty() ? "" : Statement[0]));
    };
    scripter->OnExecuteError = [this](TpFIBScripter*, std::int32_t, std::int32_t,
                                      const std::vector<std::string>& Statement, std::int32_t,
                                      const std::string&, bool& doRollBack, bool& Stop) {
      std::string text;
      for (const std::string& line : Statement)
        text += line + "\n";
      sent.push_back(text);
      doRollBack = keepDefaults;
      Stop = keepDefaults;
    };
  }

  void Run(const std::string& text) {
    before.clear();
    sent.clear();
    scripter->Script().SetText(text);
    scripter->RunScript(1);
  }

  // The first line of every statement that reached execution, without the
  // directive statements.
  std::vector<std::string> Ran() const {
    std::vector<std::string> ran;
    for (const std::string& event : before)
      ran.push_back(event.substr(event.find(' ') + 1));
    return ran;
  }

  TComponent form;
  TpFIBScripter* scripter = nullptr;
  std::vector<std::string> before;
  std::vector<std::string> sent;
  bool keepDefaults = false;
};

using Lines = std::vector<std::string>;

// --- references and parse state ---------------------------------------------

TEST(runner_references, database_and_transaction_follow_the_runner) {
  InitAccessLayer();
  TComponent form;
  auto* db = new TpFIBDatabase(&form);
  auto* other = new TpFIBDatabase(&form);
  auto* tr = new TpFIBTransaction(&form);
  tr->SetDefaultDatabase(other);
  auto* scripter = new TpFIBScripter(&form);
  TpFIBQuery& statement = *scripter->OwnStatement();

  EXPECT_EQ(scripter->EffectiveTransaction(), scripter->OwnTransaction());
  scripter->SetDatabase(db);
  EXPECT_EQ(scripter->Database(), db);
  EXPECT_EQ(scripter->OwnTransaction()->DefaultDatabase(), db);
  EXPECT_EQ(statement.Database(), db);
  EXPECT_EQ(statement.Transaction(), scripter->OwnTransaction());

  // The given transaction is pointed at the runner's database.
  scripter->SetTransaction(tr);
  EXPECT_EQ(tr->DefaultDatabase(), db);
  EXPECT_EQ(scripter->EffectiveTransaction(), tr);
  EXPECT_EQ(statement.Transaction(), tr);

  scripter->SetDatabase(other);
  EXPECT_EQ(tr->DefaultDatabase(), other);
  EXPECT_EQ(scripter->OwnTransaction()->DefaultDatabase(), other);
  EXPECT_EQ(statement.Database(), other);
  EXPECT_EQ(statement.Transaction(), tr);

  scripter->SetTransaction(nullptr);
  EXPECT_EQ(statement.Transaction(), scripter->OwnTransaction());
  scripter->SetTransaction(tr);

  // Destroyed components leave no reference behind.
  delete tr;
  EXPECT_EQ(scripter->Transaction(), nullptr);
  EXPECT_EQ(statement.Transaction(), scripter->OwnTransaction());
  delete other;
  EXPECT_EQ(scripter->Database(), nullptr);
  delete db;
}

TEST(runner_references, runner_may_go_first) {
  InitAccessLayer();
  TComponent form;
  auto* db = new TpFIBDatabase(&form);
  auto* tr = new TpFIBTransaction(&form);
  auto* scripter = new TpFIBScripter(&form);
  scripter->SetDatabase(db);
  scripter->SetTransaction(tr);
  delete scripter;
  EXPECT_EQ(tr->DefaultDatabase(), db);
  EXPECT_EQ(db->SQLObjectCount(), 0);
}

TEST_F(runner, statement_count_follows_the_parse) {
  EXPECT_EQ(scripter->StatementCount(), 0);
  scripter->Script().SetText("A;\nB;\nSET TERM ^ ;\nC^");
  EXPECT_EQ(scripter->StatementCount(), 0);
  EXPECT_FALSE(scripter->Parsed());
  scripter->ParseScript(";");
  EXPECT_TRUE(scripter->Parsed());
  EXPECT_EQ(scripter->StatementCount(), 3);
  EXPECT_TRUE(scripter->ScriptHasUnrecognized());

  // Any change of the lines forgets the parse.
  scripter->Script().Add("D;");
  EXPECT_FALSE(scripter->Parsed());
  EXPECT_EQ(scripter->StatementCount(), 0);
}

TEST_F(runner, a_script_changed_after_its_parse_is_parsed_again) {
  scripter->Script().SetText("A;\nB;");
  scripter->ParseScript(";");
  scripter->Script().SetText("X;\nY;\nZ;");
  scripter->RunScript(1);
  EXPECT_EQ(Ran(), (Lines{"X", "Y", "Z"}));
  // Run again from statement 2 without a new parse.
  before.clear();
  scripter->RunScript(2);
  EXPECT_EQ(before, (Lines{"2@2 Y", "3@3 Z"}));
}

TEST_F(runner, a_parse_error_leaves_the_script_unparsed) {
  scripter->Script().SetText("{$ENDIF}\nA;");
  EXPECT_THROW(scripter->RunScript(1), std::runtime_error);
  EXPECT_FALSE(scripter->Parsed());
  EXPECT_TRUE(sent.empty());
}

TEST_F(runner, a_handler_that_changes_the_script_ends_the_run) {
  scripter->BeforeStatementExecute = [this](TpFIBScripter*, std::int32_t, std::int32_t,
                                            const TStatementDesc&,
                                            const Lines&) { scripter->Script().SetText("X"); };
  scripter->Script().SetText("A;\nB;");
  try {
    scripter->RunScript(1);
    FAIL() << "no error";
  } catch (const std::runtime_error& e) {
    EXPECT_STREQ(e.what(), "Statement \xB9"
                           "2 don't exist");
  }
}

// --- error path -----------------------------------------------------------

TEST_F(runner, handler_defaults_stop_before_the_next_statement) {
  keepDefaults = true;
  Run("A;\nB;\nC;");
  EXPECT_EQ(sent, (Lines{"A\n"}));
  EXPECT_EQ(scripter->StoppedAt(), 2);
  // A stop at the last statement names the number after it.
  Run("A");
  EXPECT_EQ(scripter->StoppedAt(), 2);
  keepDefaults = false;
  Run("A;\nB;");
  EXPECT_EQ(sent.size(), 2u);
  EXPECT_EQ(scripter->StoppedAt(), 0);
}

TEST_F(runner, without_a_handler_the_error_leaves_the_run) {
  scripter->OnExecuteError = nullptr;
  bool after = false;
  scripter->AfterStatementExecute = [&](TpFIBScripter*, std::int32_t, std::int32_t,
                                        const TStatementDesc&, const Lines&) { after = true; };
  scripter->Script().SetText("A;\nB;");
  EXPECT_THROW(scripter->RunScript(1), EFIBClientError);
  EXPECT_FALSE(after);
  EXPECT_EQ(Ran(), (Lines{"A"}));
}

// --- script commands ------------------------------------------------------

TEST_F(runner, set_commands_change_the_runner_settings) {
  Run("SET AUTODDL OFF;\nSET SQL DIALECT 1;\nSET NAMES WIN1252;\nSET CLIENTLIB 'fbclient.dll';\n"
      "SET BLOBFILE 'data.bin';\nSET TRANSACTION;\nSET LIST ON;");
  EXPECT_FALSE(scripter->AutoDDL);
  EXPECT_EQ(scripter->Dialect(), 1);
  EXPECT_EQ(scripter->NamesCharset(), "WIN1252");
  EXPECT_EQ(scripter->ClientLibraryName(), "fbclient.dll");
  EXPECT_EQ(scripter->BlobFileName(), "data.bin");
  EXPECT_TRUE(sent.empty()); // none of them reaches the server

  // AutoDDL outlives the run; the dialect and the character set do not, and
  // the library name restarts with the parse.
  Run("SELECT 1 FROM RDB$DATABASE;");
  EXPECT_FALSE(scripter->AutoDDL);
  EXPECT_EQ(scripter->Dialect(), 3);
  EXPECT_EQ(scripter->NamesCharset(), "");
  EXPECT_EQ(scripter->ClientLibraryName(), "gds32.dll");
  Run("set autoddl on;");
  EXPECT_TRUE(scripter->AutoDDL);

  try {
    Run("SET SQL DIALECT three;");
    FAIL() << "no error";
  } catch (const EConvertError& e) {
    EXPECT_EQ(e.Message(), "'three' n'est pas une valeur enti\xE8re correcte");
  }
}

TEST_F(runner, reinsert_repeats_the_head_of_the_last_insert) {
  Run("REINSERT (0);\n"
      "INSERT INTO T (A, B)\n  VALUES (1, 'values ');\n"
      "REINSERT (2, 'x');\n"
      "REINSERT\n  (3, 'y');\n"
      "INSERT INTO U VALUES (4);\n"
      "REINSERT (5);");
  EXPECT_EQ(sent, (Lines{
                      "REINSERT (0)\n", // before any INSERT it runs as written
                      "INSERT INTO T (A, B)\n  VALUES (1, 'values ')\n",
                      // The last VALUES wins, even inside a literal.
                      "INSERT INTO T (A, B)\n  VALUES (1, 'values (2, 'x')\n",
                      "INSERT INTO T (A, B)\n  VALUES (1, 'values\n  (3, 'y')\n",
                      "INSERT INTO U VALUES (4)\n",
                      "INSERT INTO U VALUES (5)\n",
                  }));
}

TEST_F(runner, rollback_to_a_savepoint_goes_to_the_server) {
  // A plain ROLLBACK of an inactive transaction does nothing; one naming a
  // savepoint is a statement.
  Run("ROLLBACK;\nROLLBACK WORK;\nROLLBACK TO SAVEPOINT S1;\nrollback work to s1;\n"
      "ROLLBACK RETAINING;");
  EXPECT_EQ(sent, (Lines{"ROLLBACK TO SAVEPOINT S1\n", "rollback work to s1\n"}));
}

TEST_F(runner, a_failed_block_runs_its_statements_one_by_one) {
  // Each statement reports its own failure, not the block against COMMIT.
  Run("{$EXECUTE_BLOCK ON}\nINSERT INTO T VALUES (1);\nUPDATE T SET A = 1;\nCOMMIT;");
  EXPECT_EQ(sent, (Lines{"INSERT INTO T VALUES (1)\n", "UPDATE T SET A = 1\n"}));
}

TEST(exec_block, weights_and_what_fits_in_a_block) {
  struct Case {
    const char* text;
    bool fits;
    std::int32_t weight;
  };
  const Case cases[] = {
      {"INSERT INTO T VALUES (1)", true, 1},
      {"insert into t select a from b", true, 2},
      {"DELETE FROM T WHERE ID = 1", true, 1},
      {"UPDATE T SET A = 1", true, 2},
      {"UPDATE OR INSERT INTO T VALUES (1) MATCHING (ID)", true, 3},
      {"MERGE INTO T USING S ON T.ID = S.ID WHEN MATCHED THEN DELETE", true, 4},
      {"UPDATE T SET A = (SELECT MAX(B) FROM U JOIN V ON U.X = V.X)", true, 4},
      {"INSERT INTO T VALUES ('FROM JOIN', \"USING\") -- FROM\n/* RETURNING\nFROM */", true, 1},
      {"INSERT INTO T VALUES ('RETURNING')", true, 1},
      {"INSERT INTO T VALUES (1) RETURNING ID", false, 0},
      {"update t set a = 1 returning a", false, 0},
      {"EXECUTE PROCEDURE P", false, 0},
      {"EXECUTE BLOCK AS BEGIN END", false, 0},
      {"SELECT 1 FROM RDB$DATABASE", false, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    const std::vector<std::string> lines = SplitLines(c.text);
    EXPECT_EQ(TExecBlockBatcher::FitsInBlock(lines), c.fits);
    if (c.fits) {
      EXPECT_EQ(TExecBlockBatcher::ContextWeight(lines), c.weight);
    }
  }
}

TEST_F(runner, describe_of_an_object_without_a_statement_is_refused) {
  try {
    Run("DESCRIBE INDEX IX_A 'text';");
    FAIL() << "no error";
  } catch (const std::runtime_error& e) {
    EXPECT_STREQ(e.what(), "Unsupported DESCRIBE type INDEX");
  }
  // Without a word after DESCRIBE nothing happens.
  Run("DESCRIBE;");
  EXPECT_TRUE(sent.empty());
}

// --- files ------------------------------------------------------------------

// An unquoted file name runs from its first character, "/" included, to a
// blank: an absolute name is read as written, and a comment after the name is
// no part of it.
TEST_F(runner, file_names_of_input_and_set_blobfile) {
  const test::TempDir folder;
  scripter->ScriptFolder = folder.Path() + "/main";
  const std::string absolute = folder.Write("abs.sql", "ABSOLUTE;\n");
  // Where the absolute name without its first "/" leads from the script's folder.
  folder.Write("main" + absolute, "RELATIVE;\n");
  folder.Write("main/sub/b.sql", "SUB;\n");
  folder.Write("main/it's here.sql", "QUOTED;\n");
  folder.Write("main/my scripts/c.sql", "BLANKS;\n");
  struct Case {
    const char* what;
    std::string script;
    const char* ran; // the statement of the file read
  };
  const Case inputs[] = {
      {"absolute", "INPUT " + absolute + ";", "ABSOLUTE\n"},
      {"absolute, on the next line", "INPUT\n  " + absolute + "\n;", "ABSOLUTE\n"},
      {"a line comment after", "INPUT sub/b.sql -- note\n;", "SUB\n"},
      {"a block comment after", "INPUT sub/b.sql /* note */;", "SUB\n"},
      {"a block comment before", "INPUT /* note */ sub/b.sql;", "SUB\n"},
      {"quoted", "INPUT 'it''s here.sql' -- note\n;", "QUOTED\n"},
      {"unquoted, with blanks", "INPUT my scripts/c.sql  -- note\n;", "BLANKS\n"},
  };
  for (const Case& c : inputs) {
    SCOPED_TRACE(c.what);
    Run(c.script);
    EXPECT_EQ(sent, (Lines{c.ran}));
  }

  const std::pair<std::string, std::string> blobFiles[] = {
      {"SET BLOBFILE /data/b.bin;", "/data/b.bin"},
      {"SET BLOBFILE data/b.bin -- note\n;", folder.Path() + "/main/data/b.bin"},
      {"SET BLOBFILE /* note */ 'a b.bin';", folder.Path() + "/main/a b.bin"},
  };
  for (const auto& [script, name] : blobFiles) {
    SCOPED_TRACE(script);
    Run(script);
    EXPECT_EQ(scripter->BlobFileName(), name);
  }
}

// A file's chunk waits for an open directive to close. Parsing it again at
// every terminator made this quadratic: 10,000 lines took seconds, the
// 100,000 below would take many minutes instead of a fraction of a second.
TEST_F(runner, a_long_directive_in_a_file_is_parsed_once) {
  const test::TempDir folder;
  std::string text = "{$IFNDEF NOPE}\n{$IFDEF NOPE}\n";
  for (int i = 0; i < 100000; ++i)
    text += "INSERT INTO T VALUES (" + std::to_string(i) + ");\n";
  text += "{$ENDIF}\nYES;\n{$ENDIF} LAST;\nAFTER;\n";
  Run("INPUT '" + folder.Write("long.sql", text) + "';");
  EXPECT_EQ(sent, (Lines{"YES\n", "LAST\n", "AFTER\n"}));
}

// --- directives -------------------------------------------------------------

struct DirectiveCase {
  const char* name;
  const char* script;
  Lines ran;
};

// Each script runs on a fresh runner; "YES" and "NO" mark the branches.
const DirectiveCase kDirectiveCases[] = {
    {"defined symbol", "{$DEFINE X}\n{$IFDEF X}\nYES;\n{$ELSE}\nNO;\n{$ENDIF}", {"YES"}},
    {"symbols ignore case", "{$define x}\n{$IFDEF X}\nYES;\n{$ENDIF}", {"YES"}},
    {"undefined symbol",
     "{$DEFINE X}\n{$UNDEF X}\n{$IFDEF X}\nNO;\n{$ELSE}\nYES;\n{$ENDIF}",
     {"YES"}},
    {"IFNDEF", "{$IFNDEF X}\nYES;\n{$ENDIF}\nAFTER;", {"YES", "AFTER"}},
    {"nested in a false branch",
     "{$IFDEF A}\n{$IFDEF B}\nNO;\n{$ELSE}\nNO;\n{$ENDIF}\nNO;\n"
     "{$ELSE}\nYES;\n{$ENDIF}",
     {"YES"}},
    {"nested in a true branch",
     "{$DEFINE A}\n{$IFDEF A}\n{$IFDEF B}\nNO;\n{$ELSE}\nYES;\n{$ENDIF}\nYES;\n{$ELSE}\nNO;\n"
     "{$ENDIF}",
     {"YES", "YES"}},
    {"existence test without a database takes ELSE",
     "{$IFEXISTS TABLE T}\nNO;\n{$ELSE}\nYES;\n{$ENDIF}",
     {"YES"}},
    {"an unknown existence word takes ELSE",
     "{$IFNOTEXISTS PACKAGE P}\nNO;\n{$ELSE}\nYES;\n{$ENDIF}",
     {"YES"}},
    {"an empty condition takes ELSE", "{$IF }\nNO;\n{$ELSE}\nYES;\n{$ENDIF}", {"YES"}},
    {"EXECUTE_BLOCK ON still runs each statement",
     "{$EXECUTE_BLOCK ON}\nYES;\n{$EXECUTE_BLOCK off}",
     {"YES"}},
};

TEST(runner_directives, branches) {
  InitAccessLayer();
  for (const DirectiveCase& c : kDirectiveCases) {
    SCOPED_TRACE(c.name);
    TpFIBScripter scripter;
    Lines ran;
    scripter.BeforeStatementExecute = [&](TpFIBScripter*, std::int32_t, std::int32_t,
                                          const TStatementDesc&, const Lines& Statement) {
      if (Statement[0].rfind("{$", 0) != 0)
        ran.push_back(Statement[0]);
    };
    scripter.OnExecuteError = [](TpFIBScripter*, std::int32_t, std::int32_t, const Lines&,
                                 std::int32_t, const std::string&, bool& doRollBack,
                                 bool& Stop) { doRollBack = Stop = false; };
    scripter.Script().SetText(c.script);
    scripter.RunScript(1);
    EXPECT_EQ(ran, c.ran);
  }
}

TEST_F(runner, an_excluded_inner_directive_is_never_evaluated) {
  Run("{$IFDEF A}\n{$IFDEF B}\nX;\n{$ELSE}\nY;\n{$ENDIF}\n{$ENDIF}\nZ;");
  EXPECT_EQ(Ran(), (Lines{"Z"}));
  ASSERT_EQ(scripter->DirectiveMap().size(), 2u);
  EXPECT_EQ(scripter->DirectiveMap()[0].Evaluation, 2);
  EXPECT_EQ(scripter->DirectiveMap()[1].Evaluation, 0);
}

TEST_F(runner, symbols_and_constants_outlive_the_script) {
  Run("{$DEFINE X}\n{$SET LEVEL = 7 }\n{$SET EMPTY=}\n{$SET NO_EQUALS}\n{$SET level=8}");
  EXPECT_EQ(scripter->Defines(), (Lines{"X"}));
  EXPECT_EQ(scripter->Constants(), (Lines{"LEVEL=8"}));
  Run("{$SET LEVEL=7}");
  Run("{$IFDEF X}\nA;\n{$ENDIF}\n{$IF level=7}\nB;\n{$ENDIF}");
  EXPECT_EQ(Ran(), (Lines{"A", "B"}));
  EXPECT_FALSE(scripter->UseExecBlockForDML);
  Run("{$EXECUTE_BLOCK ON}");
  EXPECT_TRUE(scripter->UseExecBlockForDML);
}

TEST_F(runner, comparisons_with_a_constant) {
  struct Case {
    const char* condition;
    bool holds;
  };
  const Case cases[] = {
      {"VER>=3", true},  {"VER>2", true},   {"VER<3", false},     {"VER=3.0", false},
      {"VER<>3", false}, {"VER<=3", true},  {"VER = 3", true},    {"VER <> 4", true},
      {"VER<3,5", true}, {"VER>2.5", true}, {"VER>=3.000", true}, {"VER>-1e2", true},
      {"VER==3", false}, {"VER=>3", false}, {"ver>=3", true},     {"VER <\t4", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.condition);
    Run(std::string("{$SET VER=3}\n{$IF ") + c.condition + "}\nYES;\n{$ELSE}\nNO;\n{$ENDIF}");
    EXPECT_EQ(Ran(), (Lines{c.holds ? "YES" : "NO"}));
  }
}

TEST_F(runner, numbers_of_a_comparison_are_decimal) {
  for (const char* value : {"inf", "nan", "0x2", "2.5.1", "1e", "abc", "", "3 4"}) {
    SCOPED_TRACE(value);
    try {
      Run(std::string("{$SET VER=3}\n{$IF VER>") + value + "}\nYES;\n{$ENDIF}");
      ADD_FAILURE() << "no error";
    } catch (const EConvertError& e) {
      EXPECT_EQ(e.Message(),
                std::string("'") + value + "' n'est pas une valeur en virgule flottante correcte");
    }
  }
}

TEST_F(runner, directive_errors) {
  struct Case {
    const char* script;
    const char* message;
  };
  const Case cases[] = {
      {"{$DEFINE A}\n{$EXECUTE_BLOCK MAYBE}",
       "Parse script error.\r\nCan't resolve directive  \"{$EXECUTE_BLOCK\"\r\nLine 1"},
      {"{$WHATEVER X}", "Unknown directive :\r\nLine 0\r\n{$WHATEVER X}\r\n"},
      {"{$SET VER=3}\n{$IF VER 3}\nA;\n{$ENDIF}",
       "Parse script error.\r\nCan't resolve condition  \"$IF\"\r\nVER 3"},
      {"{$IF VER}\nA;\n{$ENDIF}", "Parse script error.\r\nCan't resolve condition  \"$IF\"\r\nVER"},
      {"{$IF NEVER_SET>=1}\nA;\n{$ENDIF}",
       "Parse script error.\r\nConstant don't exists\r\nNEVER_SET"},
      {"{$IF =1}\nA;\n{$ENDIF}", "Parse script error.\r\nConstant don't exists\r\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.script);
    try {
      Run(c.script);
      ADD_FAILURE() << "no error";
    } catch (const std::runtime_error& e) {
      EXPECT_EQ(std::string(e.what()), c.message);
    }
    EXPECT_TRUE(sent.empty()); // never routed through the error handler
  }
}

} // namespace
} // namespace nimbus
