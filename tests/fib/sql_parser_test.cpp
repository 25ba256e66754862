#include "fib/sql_parser.h"

#include "fib/errors.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>

namespace nimbus {
namespace {

using namespace std::string_literals;

TEST(sql_parser, statements_are_classified_by_their_first_words) {
  struct Case {
    std::string text;
    SQLKind kind;
    std::size_t first_token;
  } cases[] = {
      {"SELECT * FROM T\r\n", KindSelect, 1},
      {"select 1 from rdb$database\r\n", KindSelect, 1},
      {"MERGE INTO T USING U ON T.ID = U.ID\r\n", KindSelect, 1},
      {"(SELECT 1 FROM T)\r\n", KindOther, 2},
      {"UPDATE T SET A = 1\r\n", KindUpdate, 1},
      {"UPDATE ORDERS SET A = 1\r\n", KindUpdate, 1},
      {"update or insert into T (A) values (1)\r\n", KindUpdateOrInsert, 1},
      {"Update\r\n  Or Insert into T (A) values (1)\r\n", KindUpdateOrInsert, 1},
      {"DELETE FROM T\r\n", KindDelete, 1},
      {"Insert into T values (1)\r\n", KindInsert, 1},
      {"execute procedure CONTEXT_ACTIVATION(0,:idctr,'')\r\n", KindExecProc, 1},
      {"EXECUTE\r\nPROCEDURE P\r\n", KindExecProc, 1},
      {"EXECUTE BLOCK AS BEGIN END\r\n", KindExecBlock, 1},
      {"execute block (x int = :x) as begin end\r\n", KindExecBlock, 1},
      {"EXECUTE STATEMENT 'SELECT 1'\r\n", KindOther, 1},
      {"CREATE PROCEDURE P AS BEGIN END\r\n", KindDDL, 1},
      {"create procedure p as begin end\r\n", KindDDL, 1},
      {"Create Table T (A INTEGER)\r\n", KindDDL, 1},
      {"alter table T add B integer\r\n", KindDDL, 1},
      {"COMMENT ON TABLE T IS 'x'\r\n", KindDDL, 1},
      {"drop table T\r\n", KindDDL, 1},
      {"DECLARE EXTERNAL FUNCTION F\r\n", KindDDL, 1},
      {"grant select on T to PUBLIC\r\n", KindDDL, 1},
      {"RECREATE TABLE T (A INTEGER)\r\n", KindDDL, 1},
      {"revoke select on T from PUBLIC\r\n", KindDDL, 1},
      {"SET GENERATOR G TO 5\r\n", KindDDL, 1},
      {"set\r\n  generator g to 5\r\n", KindDDL, 1},
      {"SET TRANSACTION\r\n", KindOther, 1},
      {"SET STATISTICS INDEX I\r\n", KindOther, 1},
      {"CREATED_ON\r\n", KindOther, 1},
      {"COMMIT\r\n", KindOther, 1},
      {"WITH X AS (SELECT 1 FROM T) SELECT * FROM X\r\n", KindOther, 1},
      {"-- header\r\nCREATE TABLE T (A INTEGER)\r\n", KindDDL, 12},
      {"/* header */ INSERT INTO T VALUES (1)\r\n", KindInsert, 14},
      {"/* header */create procedure p as begin end\r\n", KindDDL, 13},
      {";\r\n  delete from t\r\n", KindDelete, 6},
      {"-SELECT 1\r\n", KindOther, 1},
      {"/* open comment\r\n", KindOther, 18},
      {"\r\n", KindOther, 3},
      {"", KindOther, 1},
      {"\xC9TAT\r\n", KindOther, 1},
      {"\0SELECT 1\r\n"s, KindOther, 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    TSQLParser parser;
    EXPECT_EQ(parser.SetSQLText(c.text), c.kind);
    EXPECT_EQ(parser.Kind(), c.kind);
    EXPECT_EQ(parser.FirstTokenPos(), c.first_token);
    EXPECT_EQ(parser.Length(), c.text.size());
    EXPECT_EQ(parser.ParamsAllowed(), c.kind != KindDDL);
  }
}

TEST(sql_parser, marker_names_become_blanks_and_entries) {
  constexpr std::uint8_t W = pfInWhere, S = pfStandalone, Q = pfQuoted;
  struct Case {
    std::string text;
    std::string server;
    std::vector<TParamEntry> entries;
  } cases[] = {
      {"execute procedure CONTEXT_ACTIVATION(0,:idctr,'')\r\n",
       "execute procedure CONTEXT_ACTIVATION(0,?     ,'')\r\n",
       {{"IDCTR", 0, 40, 45}}},
      {"SELECT * FROM T WHERE A = :\"Mixed n\xE9\"\r\n",
       "SELECT * FROM T WHERE A = ?          \r\n",
       {{"Mixed n\xE9", W | S | Q, 27, 37}}},
      {"INSERT INTO T VALUES (:a,?b,:caf\xE9)\r\n",
       "INSERT INTO T VALUES (? ,? ,?   \xE9)\r\n",
       {{"A", 0, 23, 24}, {"B", 0, 26, 27}, {"CAF", 0, 29, 32}}},
      {"UPDATE T SET A = ':x', B = 'it''s :y', \"C:D\" = 1 WHERE ID = :id -- :z\r\n",
       "UPDATE T SET A = ':x', B = 'it''s :y', \"C:D\" = 1 WHERE ID = ?   -- :z\r\n",
       {{"ID", W | S, 61, 63}}},
      {"SELECT 1 /* :x */ FROM T -- :y\nWHERE A = :a\r\n",
       "SELECT 1 /* :x */ FROM T -- :y\nWHERE A = ? \r\n",
       {{"A", W | S, 42, 43}}},
      {"SELECT * FROM @TABLE WHERE A = :a AND B = '@x'\r\n",
       "SELECT * FROM @TABLE WHERE A = ?  AND B = '@x'\r\n",
       {{"A", W | S, 32, 33}}},
      // The block's own AS ends the markers; ALIAS and HAS before it do not.
      {"EXECUTE BLOCK (P_ALIAS VARCHAR(10) = :alias, HAS INT = :has)\r\n"
       "RETURNS (CLASS INT)\r\nAS\r\nBEGIN\r\n  CLASS = :has; SUSPEND;\r\nEND\r\n",
       "EXECUTE BLOCK (P_ALIAS VARCHAR(10) = ?     , HAS INT = ?   )\r\n"
       "RETURNS (CLASS INT)\r\nAS\r\nBEGIN\r\n  CLASS = :has; SUSPEND;\r\nEND\r\n",
       {{"ALIAS", 0, 38, 43}, {"HAS", 0, 56, 59}}},
      {"execute block (x int = :x) returns (y int) as begin y = :x; suspend; end\r\n",
       "execute block (x int = ? ) returns (y int) as begin y = :x; suspend; end\r\n",
       {{"X", 0, 24, 25}}},
      {"EXECUTE BLOCK (X INT = :x)AS BEGIN INSERT INTO T WHERE A = :x; END\r\n",
       "EXECUTE BLOCK (X INT = ? )AS BEGIN INSERT INTO T WHERE A = :x; END\r\n",
       {{"X", 0, 24, 25}}},
      {"create procedure P (A INT) returns (B INT) as\r\nbegin\r\n"
       "  select X from T where Y = :a into :b; X = : ;\r\nend\r\n",
       "create procedure P (A INT) returns (B INT) as\r\nbegin\r\n"
       "  select X from T where Y = :a into :b; X = : ;\r\nend\r\n",
       {}},
      {"SELECT :a\0 FROM T WHERE B = :b\r\n"s,
       "SELECT ? \0 FROM T WHERE B = ? \r\n"s,
       {{"A", 0, 8, 9}, {"B", W | S, 29, 30}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    const SQLKind kind = ClassifySQL(c.text);
    const TPreprocessedSQL full = PreprocessParams(c.text, kind, false, "q");
    EXPECT_EQ(full.ServerText, c.server);
    EXPECT_EQ(full.Entries, c.entries);
    const TPreprocessedSQL parsed = PreprocessParams(c.text, kind, true, "q");
    EXPECT_EQ(parsed.Entries, c.entries);
    EXPECT_EQ(parsed.ServerText, "");
    if (!c.entries.empty()) {
      EXPECT_TRUE(HasParamMarkers(c.text));
    }
  }
}

TEST(sql_parser, where_and_standalone_flags_follow_the_clause_and_the_operator_after) {
  constexpr std::uint8_t W = pfInWhere, WS = pfInWhere | pfStandalone;
  struct Case {
    std::string text;
    std::vector<std::uint8_t> flags;
  } cases[] = {
      {"SELECT * FROM T WHERE A = :a AND B = :b + 1 AND C = :c || 'x' AND D = :d - 1\r\n",
       {WS, W, W, W}},
      {"SELECT * FROM T WHERE A = :a*2 OR B = :b /2 OR C = :c -- x\r\n", {W, W, WS}},
      {"SELECT * FROM T WHERE A = :a /* x */ OR B = :b--x\r\n", {WS, WS}},
      {"SELECT * FROM T WHERE A = :a\r\n", {WS}},
      {"SELECT * FROM T WHERE A = :a", {WS}},
      {"UPDATE T SET A = :a WHERE ID = :id RETURNING A\r\n", {0, WS}},
      {"SELECT :a FROM T WHERE B = :b GROUP BY 1 HAVING COUNT(*) > :c\r\n", {0, WS, 0}},
      {"SELECT * FROM T WHERE B = :b ORDER BY :c\r\n", {WS, 0}},
      {"SELECT * FROM T WHERE B = :b UNION SELECT * FROM U WHERE C = :c\r\n", {WS, WS}},
      {"SELECT * FROM (SELECT * FROM T WHERE A = :a) X JOIN U ON U.ID = :j WHERE B = :b\r\n",
       {WS, 0, WS}},
      {"DELETE FROM T WHERE (A = :a) AND B IN (SELECT X FROM U WHERE Y = :y) AND C = :c\r\n",
       {WS, WS, WS}},
      {"SELECT * FROM T WHERE_A = :a\r\n", {0}},
      {"SELECT * FROM T where a = :a for update\r\n", {WS}},
      {"EXECUTE PROCEDURE P (SELECT X FROM T WHERE A = :a)\r\n", {0}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    const TPreprocessedSQL result = PreprocessParams(c.text, ClassifySQL(c.text), true, "q");
    std::vector<std::uint8_t> flags;
    for (const TParamEntry& e : result.Entries)
      flags.push_back(e.Flags);
    EXPECT_EQ(flags, c.flags);
  }
}

TEST(sql_parser, scan_errors_are_client_error_51_naming_the_statement) {
  struct Case {
    std::string text;
    const char* message;
  } cases[] = {
      {"SELECT 'abc FROM T WHERE A = :a\r\n", "EOF in string detected"},
      {"SELECT \"abc FROM T\r\n", "EOF in string detected"},
      {"SELECT * FROM T WHERE A = :\"abc\r\n", "EOF in string detected"},
      {"SELECT /* abc FROM T\r\n", "EOF in comment detected"},
      {"SELECT 1 FROM T /*/\r\n", "EOF in comment detected"},
      {"CREATE PROCEDURE P AS BEGIN X = 'a; END\r\n", "EOF in string detected"},
      {"UPDATE T SET A = : WHERE ID = 5\r\n", "Parameter name expected"},
      {"SELECT * FROM T WHERE A = ?\r\n", "Parameter name expected"},
      {"SELECT * FROM T WHERE A = :\"\"\r\n", "Parameter name expected"},
      {"SELECT * FROM T WHERE A = :\xE9t\xE9\r\n", "Parameter name expected"},
      {"SELECT * FROM T WHERE A = :", "Parameter name expected"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    for (bool parseOnly : {true, false}) {
      try {
        PreprocessParams(c.text, ClassifySQL(c.text), parseOnly, "Form1.qContext");
        ADD_FAILURE() << "no error";
      } catch (const EFIBClientError& e) {
        EXPECT_EQ(e.SQLCode(), 51);
        EXPECT_EQ(e.Message(), "SQL Parse Error in :Form1.qContext \r\n\r\n"s + c.message);
      }
    }
  }
}

TEST(sql_parser, a_nameless_marker_while_loading_stops_without_sending_a_cut_text) {
  const std::string text = "UPDATE T SET A = :a, B = : WHERE ID = :id\r\n";
  const TPreprocessedSQL full = PreprocessParams(text, KindUpdate, false, "q", true);
  EXPECT_EQ(full.ServerText, "");
  ASSERT_EQ(full.Entries.size(), 1u);
  EXPECT_EQ(full.Entries[0].Name, "A");
  EXPECT_EQ(PreprocessParams(text, KindUpdate, true, "q", true).Entries, full.Entries);
}

TEST(sql_parser, marker_scan_skips_quotes_and_comments_from_the_first_byte) {
  struct Case {
    std::string text;
    bool markers;
  } cases[] = {
      {"", false},
      {":", true},
      {"SELECT 1 FROM T\r\n", false},
      {"SELECT :a FROM T\r\n", true},
      {"SELECT ? FROM T\r\n", true},
      {"SELECT * FROM @T\r\n", true},
      {"SELECT ':a', \":b\" FROM T\r\n", false},
      {"SELECT 'it''s :a' FROM T\r\n", false},
      {"SELECT 1 /* :a */ FROM T\r\n", false},
      {"SELECT 1 FROM T -- :a\r\n", false},
      {"SELECT 'abc FROM T\r\n", false},
      {"SELECT 1 /* :a\r\n", false},
      {"-- don't\r\nUPDATE T SET A = :a\r\n", true},
      {"'x' :a\r\n", true},
      {"SELECT 1 -- x\nFROM T WHERE A = :a\r\n", true},
      {"SELECT \xE9:a FROM T\r\n", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(HasParamMarkers(c.text), c.markers);
  }
  EXPECT_TRUE(HasParamMarkers("SELECT #M FROM T", '#'));
  EXPECT_FALSE(HasParamMarkers("SELECT @M FROM T", '#'));
}

TEST(sql_parser, null_parameters_turn_equality_into_is_null) {
  struct Case {
    std::string text;
    std::set<std::size_t> nulls; // entries without a value
    std::string expected;
    std::vector<std::size_t> replaced;
  } cases[] = {
      {"SELECT * FROM T WHERE A = :a\r\n", {0}, "SELECT * FROM T WHERE A  IS NULL \r\n", {0}},
      {"SELECT * FROM T WHERE A=:a\r\n", {0}, "SELECT * FROM T WHERE A IS NULL \r\n", {0}},
      {"SELECT * FROM T WHERE A =\r\n  :a\r\n", {0}, "SELECT * FROM T WHERE A  IS NULL \r\n", {0}},
      {"SELECT * FROM T WHERE A <> :a\r\n", {0}, "SELECT * FROM T WHERE A  IS NOT NULL \r\n", {0}},
      {"SELECT * FROM T WHERE A != :a\r\n", {0}, "SELECT * FROM T WHERE A  IS NOT NULL \r\n", {0}},
      {"SELECT * FROM T WHERE A ^= :a\r\n", {0}, "SELECT * FROM T WHERE A  IS NOT NULL \r\n", {0}},
      {"SELECT * FROM T WHERE A ~= :a\r\n", {0}, "SELECT * FROM T WHERE A  IS NOT NULL \r\n", {0}},
      {"SELECT * FROM T WHERE A = :\"q\" AND B = 1\r\n",
       {0},
       "SELECT * FROM T WHERE A  IS NULL  AND B = 1\r\n",
       {0}},
      {"SELECT * FROM T WHERE A <= :a\r\n", {0}, "SELECT * FROM T WHERE A <= :a\r\n", {}},
      {"SELECT * FROM T WHERE A >= :a\r\n", {0}, "SELECT * FROM T WHERE A >= :a\r\n", {}},
      {"SELECT * FROM T WHERE A < :a\r\n", {0}, "SELECT * FROM T WHERE A < :a\r\n", {}},
      {"SELECT * FROM T WHERE A > :a\r\n", {0}, "SELECT * FROM T WHERE A > :a\r\n", {}},
      {"SELECT * FROM T WHERE A LIKE :a\r\n", {0}, "SELECT * FROM T WHERE A LIKE :a\r\n", {}},
      {"SELECT * FROM T WHERE A = :a + 1\r\n", {0}, "SELECT * FROM T WHERE A = :a + 1\r\n", {}},
      {"SELECT * FROM T WHERE A = (:a)\r\n", {0}, "SELECT * FROM T WHERE A = (:a)\r\n", {}},
      {"SELECT * FROM T WHERE A = -:a\r\n", {0}, "SELECT * FROM T WHERE A  IS NULL \r\n", {0}},
      // Stepping back from the marker must not land inside a comment or a name.
      {"SELECT * FROM T WHERE A = -- note =\r\n :a\r\n",
       {0},
       "SELECT * FROM T WHERE A = -- note =\r\n :a\r\n",
       {}},
      {"SELECT * FROM T WHERE A = /* = */ :a\r\n",
       {0},
       "SELECT * FROM T WHERE A = /* = */ :a\r\n",
       {}},
      {"SELECT * FROM T WHERE \"X=\":a\r\n", {0}, "SELECT * FROM T WHERE \"X=\":a\r\n", {}},
      {"SELECT * FROM T WHERE A = :a\r\n", {}, "SELECT * FROM T WHERE A = :a\r\n", {}},
      {"UPDATE T SET A = :a WHERE B = :b\r\n", {0}, "UPDATE T SET A = :a WHERE B = :b\r\n", {}},
      {"UPDATE T SET X = 1 WHERE A = :a AND B <> :b AND C <> :c AND D = :d\r\n",
       {0, 2, 3},
       "UPDATE T SET X = 1 WHERE A  IS NULL  AND B <> :b AND C  IS NOT NULL  AND D  IS NULL \r\n",
       {0, 2, 3}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    const std::vector<TParamEntry> entries =
        PreprocessParams(c.text, ClassifySQL(c.text), true, "q").Entries;
    const TNullRewrite rewrite = RewriteNullComparisons(
        c.text, entries, [&](std::size_t i) { return c.nulls.count(i) != 0; });
    EXPECT_EQ(rewrite.Text, c.expected);
    EXPECT_EQ(rewrite.Replaced, c.replaced);
    // The rewritten text is analysed again; the parameters left keep their order.
    std::vector<std::string> left;
    for (std::size_t i = 0; i < entries.size(); ++i)
      if (std::find(c.replaced.begin(), c.replaced.end(), i) == c.replaced.end())
        left.push_back(entries[i].Name);
    std::vector<std::string> names;
    for (const TParamEntry& e : PreprocessParams(rewrite.Text, KindOther, false, "q").Entries)
      names.push_back(e.Name);
    EXPECT_EQ(names, left);
  }
}

TEST(sql_parser, a_keyword_is_found_as_a_word_of_the_statement_or_when_in_doubt) {
  struct Case {
    std::string text;
    bool may;
  } cases[] = {
      {"INSERT INTO T VALUES (1) RETURNING ID\r\n", true},
      {"insert into t values (1)\r\n  returning id\r\n", true},
      {"DELETE FROM T WHERE ID=1RETURNING ID", true}, // a number, then the keyword
      {"DELETE FROM T WHERE ID=X1RETURNING", true},   // one name to the server: safe side
      {"DELETE FROM T WHERE ID=RETURNINGX", false},
      {"UPDATE T SET A = 1 WHERE B = 2 RETURNING(A)", true},
      {"INSERT INTO T VALUES ('RETURNING')\r\n", false},
      {"INSERT INTO T VALUES ('it''s RETURNING time')\r\n", false},
      {"INSERT INTO T (\"RETURNING\") VALUES (1)\r\n", false},
      {"INSERT INTO T VALUES (1) -- RETURNING ID\r\n", false},
      {"INSERT INTO T VALUES (1) /* RETURNING ID */\r\n", false},
      {"INSERT INTO RETURNING_LOG (RETURNINGS, X$RETURNING) VALUES (1, 2)\r\n", false},
      {"INSERT INTO T VALUES ('\xE9')RETURNING ID", true},
      // The rest of the text cannot be read with certainty.
      {"INSERT INTO T VALUES ('never closed)\r\n", true},
      {"INSERT INTO T VALUES (1) /* never closed\r\n", true},
      {"INSERT INTO T VALUES (q'{it's}') RETURNING X, q'{b'}'\r\n", true},
      {"INSERT INTO T VALUES (Q'[x]')\r\n", true},
      {"INSERT INTO T VALUES (1)\r\n", false},
      {"", false},
  };
  for (const Case& c : cases)
    EXPECT_EQ(MayHaveKeyword(c.text, "RETURNING"), c.may) << c.text;
  EXPECT_TRUE(MayHaveKeyword("EXECUTE BLOCK returns (X INTEGER) AS BEGIN END", "RETURNS"));
  EXPECT_FALSE(
      MayHaveKeyword("EXECUTE BLOCK AS BEGIN INSERT INTO T VALUES ('RETURNS'); END", "RETURNS"));
}

} // namespace
} // namespace nimbus
