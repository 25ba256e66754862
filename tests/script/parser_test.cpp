#include "script/parser.h"

#include <gtest/gtest.h>

#include <cctype>
#include <ostream>
#include <stdexcept>
#include <string>
#include <vector>

namespace nimbus {
namespace {

// Positions read as in the script tool: 1-based line, column; "0:0" is no end.
std::string Pos(TScriptPos pos) {
  return std::to_string(pos.Line + 1) + ":" + std::to_string(pos.Col);
}

struct Stmt {
  TStatementKind kind;
  TObjectKind object;
  std::string name;
  std::string start;
  std::string end;
  int directive = -1;
  bool inElse = false;
};

struct Parsed {
  std::vector<std::string> script;
  TpFIBScriptParser parser;
  TScriptMap statements;
  TDirectivesMap directives;
  std::string terminator = ";";
};

void ParseText(Parsed& p, const std::string& text, bool final = true) {
  p.script = SplitLines(text);
  p.parser.Parse(p.script, p.terminator, final, p.directives, p.statements);
}

void ExpectStatements(const TScriptMap& actual, const std::vector<Stmt>& expected) {
  ASSERT_EQ(actual.size(), expected.size());
  for (std::size_t i = 0; i < expected.size(); ++i) {
    SCOPED_TRACE("statement " + std::to_string(i + 1));
    const TStatementDesc& a = actual[i];
    const Stmt& e = expected[i];
    EXPECT_STREQ(StatementKindName(a.Kind), StatementKindName(e.kind));
    EXPECT_STREQ(ObjectKindName(a.ObjectKind), ObjectKindName(e.object));
    EXPECT_EQ(a.ObjectName, e.name);
    EXPECT_EQ(Pos(a.StartPos), e.start);
    EXPECT_EQ(Pos(a.EndPos), e.end);
    EXPECT_EQ(a.DirectiveIndex, e.directive);
    EXPECT_EQ(a.InElseBranch, e.inElse);
  }
}

struct SplitCase {
  const char* name;
  const char* script;
  std::vector<Stmt> statements;
  const char* terminatorAfter = ";";
};

// How scripts split into statements, with positions.
const SplitCase kSplitCases[] = {
    {"semicolon directly followed by a letter is no terminator",
     "INSERT INTO T VALUES (1);INSERT INTO T VALUES (2);",
     {{skInsert, okNone, "", "1:1", "1:49"}}},
    {"blank after the semicolon makes two statements",
     "INSERT INTO T VALUES (1); INSERT INTO T VALUES (2);",
     {{skInsert, okNone, "", "1:1", "1:24"}, {skInsert, okNone, "", "1:27", "1:50"}}},
    {"a line of COMMIT;COMMIT; has one terminator, the last",
     "COMMIT;COMMIT;",
     {{skCommit, okDatabase, "", "1:1", "1:13"}}},
    {"procedure body keeps its inner semicolons",
     "CREATE PROCEDURE P AS\nBEGIN\n  A = 1;\n  B = 2;\nEND;\nSELECT 1 FROM RDB$DATABASE;",
     {{skCreate, okProcedure, "P", "1:1", "5:3"}, {skUnrecognized, okNone, "", "6:1", "6:26"}}},
    {"under SET TERM the body ends at the new terminator only",
     "SET TERM ^ ;\nCREATE PROCEDURE P AS\nBEGIN\n  A = 1;\nEND^\nSET TERM ; ^\nCOMMIT;",
     {{skCreate, okProcedure, "P", "2:1", "5:3"}, {skCommit, okDatabase, "", "7:1", "7:6"}}},
    {"SET TERM left on keeps the new terminator",
     "SET TERM ^ ;\nSELECT 1 FROM T;\nSELECT 2 FROM T^\n",
     {{skUnrecognized, okNone, "", "2:1", "3:15"}},
     "^"},
    {"AS without BEGIN keeps the statement open at DECLARE VARIABLE",
     "CREATE PROCEDURE P AS\nDECLARE VARIABLE X INTEGER;\nBEGIN\n  X = 1;\nEND;\nCOMMIT;",
     {{skCreate, okProcedure, "P", "1:1", "5:3"}, {skCommit, okDatabase, "", "6:1", "6:6"}}},
    {"nested BEGIN and CASE are counted",
     "CREATE OR ALTER PROCEDURE P RETURNS (R INT) AS\nBEGIN\n  IF (1 = 1) THEN\n  BEGIN\n"
     "    R = CASE WHEN 1 = 1 THEN 1 ELSE 2 END;\n  END\n  SUSPEND;\nEND;\nCOMMIT;",
     {{skCreate, okProcedure, "P", "1:1", "8:3"}, {skCommit, okDatabase, "", "9:1", "9:6"}}},
    {"CASE and END count next to brackets and operators",
     "CREATE PROCEDURE P (N INTEGER) AS\nDECLARE S VARCHAR(9);\nBEGIN\n"
     "  INSERT INTO T VALUES (COALESCE(NULL, CASE WHEN :N > 0 THEN 1 ELSE 0 END));\n"
     "  S = CASE WHEN :N > 0 THEN 'a' ELSE 'b' END||'x';\n"
     "  N = (CASE :N WHEN 1 THEN 2 END)+IIF(N=1,CASE N WHEN 1 THEN 1 END,0);\n"
     "  IF (N > 0) THEN BEGIN N = 1; END\n"
     "  END_DATE = 1; XCASE = 2; BEGINS = 3;\nEND;\nCOMMIT;",
     {{skCreate, okProcedure, "P", "1:1", "9:3"}, {skCommit, okDatabase, "", "10:1", "10:6"}}},
    {"BEGIN, CASE and END in quotes and comments do not count",
     "EXECUTE BLOCK AS\nDECLARE S VARCHAR(40);\nBEGIN\n  S = 'one\nEND two';\n"
     "  S = q'[ END; ]'; S = \"END\"; -- END;\n  /* END;\n  CASE */ S = 'BEGIN';\nEND;\nCOMMIT;",
     {{skDML, okBlock, "", "1:1", "9:3"}, {skCommit, okDatabase, "", "10:1", "10:6"}}},
    {"DROP PROCEDURE and ALTER TRIGGER INACTIVE end at their first semicolon",
     "DROP PROCEDURE P;\nALTER TRIGGER T INACTIVE;",
     {{skDrop, okProcedure, "P", "1:1", "1:16"}, {skAlter, okTrigger, "T", "2:1", "2:24"}}},
    {"trigger with a name, FOR, AS, BEGIN and END",
     "CREATE OR ALTER TRIGGER TR FOR T\nACTIVE BEFORE INSERT AS\nBEGIN\n  NEW.A = 1;\nEND;",
     {{skCreate, okTrigger, "TR", "1:1", "5:3"}}},
    {"EXECUTE BLOCK with parameters is a block with a body",
     "EXECUTE BLOCK (X INT = ?) AS\nBEGIN\n  X = 1;\nEND;",
     {{skDML, okBlock, "", "1:1", "4:3"}}},
    {"EXECUTE BLOCK( directly followed by its parameters",
     "EXECUTE BLOCK(X INT = ?) AS\nBEGIN\n  X = 1;\nEND;",
     {{skDML, okBlock, "", "1:1", "4:3"}}},
    {"block comment holding a semicolon before a SELECT",
     "/* a; b */ SELECT 1 FROM T;\n-- only; a comment\n",
     {{skUnrecognized, okNone, "", "1:12", "1:26"}}},
    {"slash-star-slash is a whole comment",
     "/*/ COMMIT;",
     {{skCommit, okDatabase, "", "1:5", "1:10"}}},
    {"quoted text over two lines keeps its semicolon",
     "INSERT INTO T VALUES ('a;\nb');",
     {{skInsert, okNone, "", "1:1", "2:3"}}},
    {"double-quoted names hide terminators too",
     "CREATE TABLE \"A;B\" (X INT);",
     {{skCreate, okTable, "A;B", "1:1", "1:26"}}},
    {"a brace remark between statements is a raw statement ending at its brace",
     "{ remark }\nCOMMIT;",
     {{skRaw, okNone, "", "1:1", "1:10"}, {skCommit, okDatabase, "", "2:1", "2:6"}}},
    {"last statement without terminator ends at the end of the script",
     "COMMIT;\nSELECT 1\nFROM T",
     {{skCommit, okDatabase, "", "1:1", "1:6"}, {skUnrecognized, okNone, "", "2:1", "3:6"}}},
    {"terminator at column 1 after an empty line ends on that line",
     "INSERT INTO T VALUES (1)\n\n;\nCOMMIT;",
     {{skInsert, okNone, "", "1:1", "2:0"}, {skCommit, okDatabase, "", "4:1", "4:6"}}},
    {"terminator at column 1 after a text line",
     "DELETE FROM T\n;",
     {{skDML, okNone, "", "1:1", "1:13"}}},
    {"repeated SET TERM to the current terminator keeps it",
     "SET TERM ^ ;\nSET TERM ^ ;\nCREATE PROCEDURE P AS BEGIN A = 1; END^\nSET TERM ; ^\nCOMMIT;",
     {{skCreate, okProcedure, "P", "3:1", "3:38"}, {skCommit, okDatabase, "", "5:1", "5:6"}}},
    {"a two-character terminator is passed over whole",
     "SET TERM !! ;\nCREATE PROCEDURE P AS BEGIN END!!\nCREATE PROCEDURE Q AS BEGIN END!!\n"
     "SET TERM ; !!\nCOMMIT;",
     {{skCreate, okProcedure, "P", "2:1", "2:31"},
      {skCreate, okProcedure, "Q", "3:1", "3:31"},
      {skCommit, okDatabase, "", "5:1", "5:6"}}},
    {"a punctuation terminator is not found in letters",
     "SET TERM ! ;\nCREATE PROCEDURE P AS\nBEGIN\n  INSERT INTO T SELECT 1 FROM RDB$DATABASE A;\n"
     "END!\nSET TERM ; !\nEXECUTE PROCEDURE P;",
     {{skCreate, okProcedure, "P", "2:1", "5:3"}, {skDML, okNone, "", "7:1", "7:19"}}},
    {"a q-literal holds quotes and terminators",
     "INSERT INTO T VALUES (2, q'[it's; DELETE FROM T; ]');\nCOMMIT;",
     {{skInsert, okNone, "", "1:1", "1:52"}, {skCommit, okDatabase, "", "2:1", "2:6"}}},
    {"q-literal delimiters close with their partner or with themselves",
     "UPDATE T SET S = Q'{a'}; b}';\nUPDATE T SET S = q'(;')';\nUPDATE T SET S = q'<;'>';\n"
     "UPDATE T SET S = q'!it's; ok!';\nUPDATE T SET S = q'';'';",
     {{skDML, okNone, "", "1:1", "1:28"},
      {skDML, okNone, "", "2:1", "2:24"},
      {skDML, okNone, "", "3:1", "3:24"},
      {skDML, okNone, "", "4:1", "4:30"},
      {skDML, okNone, "", "5:1", "5:23"}}},
    {"a q-literal goes on over line breaks",
     "INSERT INTO T VALUES (q'<a;\nb'>; c>');\nCOMMIT;",
     {{skInsert, okNone, "", "1:1", "2:9"}, {skCommit, okDatabase, "", "3:1", "3:6"}}},
    {"a q ending a longer name opens a plain quoted text",
     "SELECT Aq'[' FROM T;\nSELECT 1q'[' FROM T;\nSELECT _q'[' FROM T;\nSELECT $q'[' FROM T;",
     {{skUnrecognized, okNone, "", "1:1", "1:19"},
      {skUnrecognized, okNone, "", "2:1", "2:19"},
      {skUnrecognized, okNone, "", "3:1", "3:19"},
      {skUnrecognized, okNone, "", "4:1", "4:19"}}},
    {"q and a quote at the end of a line open a plain quoted text",
     "SELECT q'\n;' FROM T;\nCOMMIT;",
     {{skUnrecognized, okNone, "", "1:1", "2:9"}, {skCommit, okDatabase, "", "3:1", "3:6"}}},
    {"the first character of a statement is not examined again",
     "'a;' ;\nCOMMIT;",
     {{skUnrecognized, okNone, "", "1:1", "2:7"}}},
    {"TERM inside a longer word does not switch the terminator",
     "SET GENERATOR GEN_TERM TO 0;\nCOMMIT;",
     {{skSetGenerator, okGenerator, "GEN_TERM", "1:1", "1:27"},
      {skCommit, okDatabase, "", "2:1", "2:6"}}},
    {"SET TERM across a comment and a line break",
     "SET /* x */\nTERM ^ ;\nSELECT 1 FROM T^",
     {{skUnrecognized, okNone, "", "3:1", "3:15"}},
     "^"},
    {"TERM later in a SET statement does not switch the terminator",
     "SET NAMES X TERM ^;\nCOMMIT;",
     {{skSet, okNone, "", "1:1", "1:18"}, {skCommit, okDatabase, "", "2:1", "2:6"}}},
    {"TERM right after SET switches in a SET statement after another one",
     "SET NAMES X;\nSET TERM ^ ;\nSELECT 1 FROM T^",
     {{skSet, okNone, "", "1:1", "1:11"}, {skUnrecognized, okNone, "", "3:1", "3:15"}},
     "^"},
    {"leading separators and closing braces between statements are skipped",
     " ,;^}\tCOMMIT;",
     {{skCommit, okDatabase, "", "1:7", "1:12"}}},
    {"a lone dash or slash starts a raw statement",
     "-1;\n/2;",
     {{skRaw, okNone, "", "1:1", "1:2"}, {skRaw, okNone, "", "2:1", "2:2"}}},
};

void PrintTo(const SplitCase& c, std::ostream* os) {
  *os << c.name;
}

class SplitTest : public testing::TestWithParam<SplitCase> {};

TEST_P(SplitTest, splits_and_classifies) {
  Parsed p;
  ParseText(p, GetParam().script);
  ExpectStatements(p.statements, GetParam().statements);
  EXPECT_EQ(p.terminator, GetParam().terminatorAfter);
}

std::string CaseName(const char* name) {
  std::string out;
  for (const char* c = name; *c; ++c)
    out += std::isalnum(static_cast<unsigned char>(*c)) ? *c : '_';
  return out;
}

INSTANTIATE_TEST_SUITE_P(parser, SplitTest, testing::ValuesIn(kSplitCases),
                         [](const auto& info) { return CaseName(info.param.name); });

struct ClassifyCase {
  const char* script;
  TStatementKind kind;
  TObjectKind object;
  const char* name;
};

// One statement each: kind, object kind and object name.
const ClassifyCase kClassifyCases[] = {
    {"CREATE TABLE T (A INT);", skCreate, okTable, "T"},
    {"create table t(a int);", skCreate, okTable, "t"},
    {"RECREATE VIEW V AS SELECT 1 FROM T;", skRecreate, okView, "V"},
    {"ALTER DOMAIN D SET DEFAULT 0;", skAlter, okDomain, "D"},
    {"CREATE UNIQUE INDEX I ON T (A);", skCreate, okIndex, "I"},
    {"CREATE SEQUENCE S;", skCreate, okNone, "S"},
    {"CREATE EXCEPTION E 'boom';", skCreate, okException, "E"},
    {"CREATE GENERATOR G;", skCreate, okGenerator, "G"},
    {"CREATE ROLE R;", skCreate, okRole, "R"},
    {"CREATE USER BOB PASSWORD 'x';", skCreate, okUser, "BOB"},
    {"ALTER TABLE T DROP CONSTRAINT C;", skAlter, okTable, "T"},
    {"ALTER TABLE T ALTER COLUMN A TYPE INT;", skAlter, okTable, "T"},
    {"CREATE;", skCreate, okNone, ""},
    {"CREATE DATABASE 'x.fdb' PAGE_SIZE 8192;", skCreateDatabase, okDatabase, "x.fdb"},
    {"DROP DATABASE;", skDropDatabase, okDatabase, ""},
    {"SET GENERATOR G TO 5;", skSetGenerator, okGenerator, "G"},
    {"SET STATISTICS INDEX I;", skSetStatistics, okIndex, "I"},
    {"SET NAMES ISO8859_1;", skSet, okNone, ""},
    {"SET;", skSet, okNone, ""},
    {"DESCRIBE TABLE T 'a table';", skDescribe, okTable, "T"},
    {"DESCRIBE FIELD F TABLE T 'a column';", skDescribe, okColumn, "T.F"},
    {"DESCRIBE PARAMETER X PROCEDURE P 'a parameter';", skDescribe, okParameter, "P.X"},
    {"DESCRIBE COLUMN F;", skDescribe, okColumn, ""},
    {"DESCRIBE NOTHING X 'y';", skDescribe, okNone, ""},
    {"COMMENT ON TABLE T IS 'x';", skComment, okTable, "T"},
    {"DECLARE EXTERNAL FUNCTION F CSTRING(10) RETURNS INT;", skDeclare, okFunction, "F"},
    {"DECLARE FILTER X INPUT_TYPE 1;", skDeclare, okFilter, ""},
    {"GRANT SELECT ON TABLE T TO U;", skGrant, okTable, "T"},
    {"GRANT SELECT, INSERT ON T TO U;", skGrant, okNone, "T"},
    {"GRANT EXECUTE ON PROCEDURE P TO U;", skGrant, okProcedure, "P"},
    {"REVOKE R FROM U;", skGrant, okNone, ""},
    {"EXECUTE PROCEDURE P;", skDML, okNone, ""},
    {"EXECUTE;", skExecute, okNone, ""},
    {"UPDATE T SET A = 1;", skDML, okNone, ""},
    {"MERGE INTO T USING S ON 1 = 1 WHEN MATCHED THEN DELETE;", skDML, okNone, ""},
    {"INSERT INTO T VALUES (1);", skInsert, okNone, ""},
    {"REINSERT (2);", skReinsert, okNone, ""},
    {"INPUT 'other.sql';", skInput, okNone, ""},
    {"BATCH START;", skBatchStart, okNone, ""},
    {"BATCH EXECUTE;", skBatchExecute, okNone, ""},
    {"BATCH NOW;", skRaw, okNone, ""},
    {"DISCONNECT;", skDisconnect, okDatabase, ""},
    {"RECONNECT;", skReconnect, okDatabase, ""},
    {"ROLLBACK;", skRollback, okDatabase, ""},
    {"WITH X AS (SELECT 1 FROM T) SELECT * FROM X;", skUnrecognized, okNone, ""},
    {"{$DEFINE X}", skDirective, okNone, ""},
};

void PrintTo(const ClassifyCase& c, std::ostream* os) {
  *os << c.script;
}

class ClassifyTest : public testing::TestWithParam<ClassifyCase> {};

TEST_P(ClassifyTest, classifies_by_leading_keyword) {
  Parsed p;
  ParseText(p, GetParam().script);
  ASSERT_EQ(p.statements.size(), 1u);
  EXPECT_STREQ(StatementKindName(p.statements[0].Kind), StatementKindName(GetParam().kind));
  EXPECT_STREQ(ObjectKindName(p.statements[0].ObjectKind), ObjectKindName(GetParam().object));
  EXPECT_EQ(p.statements[0].ObjectName, GetParam().name);
}

INSTANTIATE_TEST_SUITE_P(parser, ClassifyTest, testing::ValuesIn(kClassifyCases));

TEST(parser, connect_names_the_database_for_later_commands) {
  Parsed p;
  ParseText(p, "CONNECT 'C:\\db\\x.fdb' USER 'SYSDBA';\nCOMMIT;\nCREATE DATABASE 'y.fdb';\n"
               "DROP DATABASE;\nROLLBACK;");
  ExpectStatements(p.statements, {{skConnect, okDatabase, "C:\\db\\x.fdb", "1:1", "1:35"},
                                  {skCommit, okDatabase, "C:\\db\\x.fdb", "2:1", "2:6"},
                                  {skCreateDatabase, okDatabase, "y.fdb", "3:1", "3:23"},
                                  {skDropDatabase, okDatabase, "y.fdb", "4:1", "4:13"},
                                  {skRollback, okDatabase, "y.fdb", "5:1", "5:8"}});
  EXPECT_TRUE(p.parser.MakesConnection());
  EXPECT_EQ(p.parser.CurrentDatabaseName(), "y.fdb");
}

struct FlagCase {
  const char* script;
  bool connects;
  bool dml;
  bool unrecognized;
};

const FlagCase kFlagCases[] = {
    {"INSERT INTO T VALUES (1);", false, false, false},
    {"DELETE FROM T;", false, true, false},
    {"EXECUTE PROCEDURE P;", false, true, false},
    {"SELECT 1 FROM T;", false, false, true},
    {"-1;", false, false, true},
    {"BATCH NOW;", false, false, true},
    {"{ remark }", false, false, false}, // brace statements raise nothing
    {"CREATE DATABASE 'x.fdb';", true, false, false},
    {"CONNECT 'x.fdb';", true, false, false},
    {"SET TERM ^ ;\nSET TERM ; ^", false, false, false}, // SET TERM changes no flag
    // The end-of-parse classification of an unterminated statement changes no flag.
    {"CONNECT 'x.fdb'", false, false, false},
    {"SELECT 1 FROM T", false, false, false},
};

TEST(parser, raises_flags_for_terminated_statements) {
  for (const FlagCase& c : kFlagCases) {
    SCOPED_TRACE(c.script);
    Parsed p;
    ParseText(p, c.script);
    EXPECT_EQ(p.parser.MakesConnection(), c.connects);
    EXPECT_EQ(p.parser.HasDML(), c.dml);
    EXPECT_EQ(p.parser.HasUnrecognized(), c.unrecognized);
  }
}

TEST(parser, flags_and_database_name_restart_with_every_parse) {
  Parsed p;
  ParseText(p, "CONNECT 'x.fdb';\nDELETE FROM T;\nSELECT 1 FROM T;");
  ParseText(p, "COMMIT;");
  EXPECT_FALSE(p.parser.MakesConnection());
  EXPECT_FALSE(p.parser.HasDML());
  EXPECT_FALSE(p.parser.HasUnrecognized());
  EXPECT_EQ(p.statements[0].ObjectName, "");
}

TEST(parser, records_directives_one_after_another) {
  Parsed p;
  ParseText(p, "{$IFDEF A}\nINSERT INTO T VALUES (1);\n{$ENDIF}\n{$IFDEF B}\n"
               "INSERT INTO T VALUES (2);\n{$ELSE}\nINSERT INTO T VALUES (3);\n{$ENDIF}\n"
               "INSERT INTO T VALUES (4);");
  ExpectStatements(p.statements, {{skInsert, okNone, "", "2:1", "2:24", 0, false},
                                  {skInsert, okNone, "", "5:1", "5:24", 1, false},
                                  {skInsert, okNone, "", "7:1", "7:24", 1, true},
                                  {skInsert, okNone, "", "9:1", "9:24", -1, false}});
  ASSERT_EQ(p.directives.size(), 2u);
  const TDirectiveDesc& a = p.directives[0];
  EXPECT_EQ(Pos(a.StartPos) + " " + Pos(a.HeaderEnd) + " " + Pos(a.ElsePos) + " " + Pos(a.EndifPos),
            "1:1 1:10 1:0 3:1");
  EXPECT_EQ(a.ParentIndex, -1);
  const TDirectiveDesc& b = p.directives[1];
  EXPECT_EQ(Pos(b.StartPos) + " " + Pos(b.HeaderEnd) + " " + Pos(b.ElsePos) + " " + Pos(b.EndifPos),
            "4:1 4:10 6:1 8:1");
  EXPECT_EQ(b.ParentIndex, -1);
  EXPECT_EQ(b.Evaluation, 0);
}

TEST(parser, records_directives_nested_two_deep) {
  Parsed p;
  ParseText(p, "{$IFDEF A}\n{$IFDEF B}\nINSERT INTO T VALUES (1);\n{$ENDIF}\n"
               "INSERT INTO T VALUES (2);\n{$ELSE}\n{$IFNDEF C}\nINSERT INTO T VALUES (3);\n"
               "{$ELSE}\nINSERT INTO T VALUES (4);\n{$ENDIF}\n{$ENDIF}\nCOMMIT;");
  ExpectStatements(p.statements, {{skInsert, okNone, "", "3:1", "3:24", 1, false},
                                  {skInsert, okNone, "", "5:1", "5:24", 0, false},
                                  {skInsert, okNone, "", "8:1", "8:24", 2, false},
                                  {skInsert, okNone, "", "10:1", "10:24", 2, true},
                                  {skCommit, okDatabase, "", "13:1", "13:6", -1, false}});
  ASSERT_EQ(p.directives.size(), 3u);
  EXPECT_EQ(p.directives[1].ParentIndex, 0);
  EXPECT_FALSE(p.directives[1].InParentElse);
  EXPECT_EQ(p.directives[2].ParentIndex, 0);
  EXPECT_TRUE(p.directives[2].InParentElse);
  EXPECT_EQ(Pos(p.directives[2].HeaderEnd), "7:11");
}

TEST(parser, directive_header_ignores_quotes_and_terminators) {
  Parsed p;
  ParseText(p, "{$IF VER >= '3;'}\n{$IFEXISTS TABLE \"T\"}SELECT 1 FROM T; {$ENDIF}\n{$ENDIF}");
  ASSERT_EQ(p.directives.size(), 2u);
  EXPECT_EQ(Pos(p.directives[0].HeaderEnd), "1:17");
  EXPECT_EQ(Pos(p.directives[1].HeaderEnd), "2:21");
  ExpectStatements(p.statements, {{skUnrecognized, okNone, "", "2:22", "2:36", 1, false}});
}

struct ErrorCase {
  const char* script;
  const char* message;
  std::size_t statementsBefore;
};

const ErrorCase kErrorCases[] = {
    {"{$ELSE}\nCOMMIT;", "Parse script error.\r\nCan't resolve directive  \"{$ELSE\"\r\nLine 0", 0},
    {"COMMIT;\n\n{$ENDIF}", "Parse script error.\r\nCan't resolve directive  \"{$ENDIF\"\r\nLine 2",
     1},
    {"COMMIT;\nSELECT 1 {x}", "Parse script error.\r\n Unexpected symbol \"{\"\r\nLine :2 Pos:10",
     2},
    {"{$IFDEF A}\n{$IFDEF B}\nCOMMIT;", "Parse script error.\r\n$ENDIF skipped 2 times", 1},
    // The first error names the real place; the open directive is not reported instead.
    {"{$IFDEF A}\nSELECT 1 {x}",
     "Parse script error.\r\n Unexpected symbol \"{\"\r\nLine :2 Pos:10", 1},
    {"GRANT SELECT ON 'A\nB' TO U;", "Can't find end token", 1},
    {"CONNECT 'x.fdb", "Can't find end token", 1},
};

TEST(parser, reports_errors_with_their_texts_and_keeps_what_was_found) {
  for (const ErrorCase& c : kErrorCases) {
    SCOPED_TRACE(c.script);
    Parsed p;
    try {
      ParseText(p, c.script);
      ADD_FAILURE() << "no error";
    } catch (const std::runtime_error& error) {
      EXPECT_STREQ(error.what(), c.message);
    }
    EXPECT_EQ(p.statements.size(), c.statementsBefore);
    EXPECT_FALSE(p.parser.BodyTracker().Tracking);
  }
}

TEST(parser, chunk_parse_leaves_the_last_statement_open) {
  Parsed p;
  ParseText(p, "INSERT INTO T VALUES (1);\nCREATE PROCEDURE P AS\nBEGIN\n  A = 1;", false);
  ASSERT_EQ(p.statements.size(), 2u);
  EXPECT_TRUE(p.statements[0].HasEnd());
  EXPECT_FALSE(p.statements[1].HasEnd());
  EXPECT_EQ(p.statements[1].ObjectKind, okProcedure); // classified at its inner ";"
  EXPECT_FALSE(p.parser.BodyTracker().Tracking);
}

TEST(parser, chunk_parse_keeps_a_q_literal_open_over_the_chunk_end) {
  Parsed p;
  ParseText(p, "DELETE FROM T WHERE S = q'[a;]';\nINSERT INTO T VALUES (q'[it's;\nc;", false);
  ExpectStatements(p.statements, {{skDML, okNone, "", "1:1", "1:31"},
                                  {skUnrecognized, okNone, "", "2:1", "0:0"}});
}

TEST(parser, chunk_parse_follows_set_term) {
  Parsed p;
  ParseText(p, "SET TERM ^ ;\nCREATE PROCEDURE P AS BEGIN A = 1; END", false);
  EXPECT_EQ(p.terminator, "^");
  ASSERT_EQ(p.statements.size(), 1u);
  EXPECT_FALSE(p.statements[0].HasEnd());
}

// Each TERM of a SET statement is checked against the word after SET; that
// word is found once, not by a new scan from SET per TERM. Scanning again
// would take some 10^12 steps here, and this parse would not end.
TEST(parser, many_term_words_after_a_long_comment_parse_in_one_pass) {
  Parsed p;
  p.script.push_back("SET /*");
  for (int i = 0; i < 8000; ++i)
    p.script.emplace_back(1000, ' ');
  p.script.push_back("*/ X");
  std::string terms;
  for (int i = 0; i < 200; ++i)
    terms += " TERM";
  for (int i = 0; i < 2000; ++i)
    p.script.push_back(terms);
  p.script.push_back(";");
  p.parser.Parse(p.script, p.terminator, true, p.directives, p.statements);
  ExpectStatements(p.statements, {{skSet, okNone, "", "1:1", "10002:1000"}});
  EXPECT_EQ(p.terminator, ";");
}

TEST(parser, empty_script_gives_empty_maps) {
  Parsed p;
  p.statements.resize(5);
  p.directives.resize(2);
  ParseText(p, "");
  EXPECT_TRUE(p.statements.empty());
  EXPECT_TRUE(p.directives.empty());
}

TEST(parser, reparse_rebuilds_the_maps_from_the_start) {
  Parsed p;
  ParseText(p, "{$IFDEF A}\nCOMMIT;\n{$ENDIF}\nCOMMIT;\nCOMMIT;");
  p.directives[0].Evaluation = 1;
  ParseText(p, "{$IFDEF A}\nSELECT 1 FROM T;\n{$ENDIF}");
  ASSERT_EQ(p.directives.size(), 1u);
  EXPECT_EQ(p.directives[0].Evaluation, 0);
  ExpectStatements(p.statements, {{skUnrecognized, okNone, "", "2:1", "2:15", 0, false}});
}

TEST(parser, maps_grow_by_four_then_sixteen_then_a_quarter) {
  struct Case {
    int statements;
    bool oneLine; // else one statement per line: the map starts at lines / 16
    std::size_t capacity;
  };
  const Case cases[] = {{1, true, 3},    {3, true, 3},     {4, true, 7},   {8, true, 11},
                        {12, true, 27},  {28, true, 43},   {60, true, 75}, {76, true, 93},
                        {94, true, 116}, {160, false, 178}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.statements);
    std::string text;
    for (int i = 0; i < c.statements; ++i)
      text += c.oneLine ? "COMMIT; " : "COMMIT;\n";
    Parsed p;
    ParseText(p, text);
    EXPECT_EQ(p.statements.size(), std::size_t(c.statements));
    EXPECT_EQ(p.statements.capacity(), c.capacity);
  }
  std::string text;
  for (int i = 0; i < 13; ++i)
    text += "{$IFDEF A}\n{$ENDIF}\n";
  Parsed p;
  ParseText(p, text);
  EXPECT_EQ(p.directives.size(), 13u);
  EXPECT_EQ(p.directives.capacity(), 28u); // 4, 8, 12, 28
}

TEST(parser, columns_beyond_sixteen_bits_stay_exact) {
  std::string line;
  while (line.size() < 70000)
    line += "SELECT 1 FROM T; ";
  const std::size_t lastStart = line.size() + 1;
  line += "COMMIT;";
  const std::string quoted = "INSERT INTO T VALUES ('" + std::string(100000, 'x') + "');";
  Parsed p;
  ParseText(p, line + "\n" + quoted);
  ASSERT_GE(p.statements.size(), 3u);
  const TStatementDesc& commit = p.statements[p.statements.size() - 2];
  EXPECT_EQ(commit.Kind, skCommit);
  EXPECT_EQ(commit.StartPos.Col, lastStart);
  EXPECT_EQ(commit.EndPos.Col, lastStart + 5);
  EXPECT_EQ(p.statements.back().Kind, skInsert);
  EXPECT_EQ(p.statements.back().EndPos.Col, quoted.size() - 1);
}

TEST(parser, long_terminator_and_case_of_keywords) {
  Parsed p;
  ParseText(p, "set term END_OF_BLOCK ;\ncreate procedure p as begin end END_OF_BLOCK\n"
               "Set Term ; end_of_block\ncommit;");
  ExpectStatements(p.statements, {{skCreate, okProcedure, "p", "2:1", "2:32"},
                                  {skCommit, okDatabase, "", "4:1", "4:6"}});
  EXPECT_EQ(p.terminator, ";");
}

TEST(parser, statement_text_cuts_between_positions) {
  Parsed p;
  ParseText(p, "  INSERT INTO T -- note\n  VALUES ('a;\nb'); COMMIT;\nDELETE FROM T\n\n;");
  ASSERT_EQ(p.statements.size(), 3u);
  std::vector<std::string> lines;
  StatementText(p.script, p.statements[0].StartPos, p.statements[0].EndPos, lines);
  EXPECT_EQ(lines, (std::vector<std::string>{"INSERT INTO T -- note", "  VALUES ('a;", "b')"}));
  StatementText(p.script, p.statements[1].StartPos, p.statements[1].EndPos, lines);
  EXPECT_EQ(lines, (std::vector<std::string>{"COMMIT"}));
  // Ends on the empty line: the text does not run on to the end of the script.
  StatementText(p.script, p.statements[2].StartPos, p.statements[2].EndPos, lines);
  EXPECT_EQ(lines, (std::vector<std::string>{"DELETE FROM T", ""}));
  StatementText(p.script, p.statements[2].StartPos, kNoEnd, lines);
  EXPECT_EQ(lines, (std::vector<std::string>{"DELETE FROM T", "", ";"}));
}

} // namespace
} // namespace nimbus
