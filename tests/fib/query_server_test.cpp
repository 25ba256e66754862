#include "fib/query.h"

#include <optional>

#include <gtest/gtest.h>

#include "fib/errors.h"
#include "tests/fib/database_server_fixture.h"
#include "tests/fib/expect_client_error.h"

namespace nimbus {
namespace {

using namespace std::string_literals;

// Form1.qContext on a fresh database of its own, in a started transaction.
class query_server : public test::ServerDatabaseTest {
protected:
  void SetUp() override {
    ServerDatabaseTest::SetUp();
    CreateTestDatabase();
    db->SetConnected(true);
    q = new TpFIBQuery(&form);
    q->SetName("qContext");
    q->SetDatabase(db);
    q->SetTransaction(tr);
    tr->StartTransaction();
  }

  // Runs `sql` through the statement; `values` fill its parameters in order.
  void Run(const std::string& sql, const std::vector<std::string>& values = {}) {
    q->SQL().Assign({sql});
    for (size_t i = 0; i < values.size(); ++i)
      q->Params().Vars(static_cast<int>(i)).SetAsString(values[i]);
    q->ExecQuery();
  }

  // The first column of the first row of `sql`.
  TVariant Value(const std::string& sql) {
    Run(sql);
    TVariant value = q->Fields(0).AsVariant();
    q->Close();
    return value;
  }

  void Ddl(const std::string& sql) {
    Run(sql);
    tr->Commit();
    tr->StartTransaction();
  }

  TpFIBQuery* q = nullptr;
};

TEST_F(query_server, values_of_every_type) {
  struct Case {
    std::string expression;
    TVariant value;
    std::optional<int32_t> integer; // none: client error 33
  };
  auto at = [](TDateTimeParts p) { return TVariant(EncodeDateTime(p)); };
  const Case cases[] = {
      {"CAST(-7 AS SMALLINT)", TVariant(int32_t{-7}), -7},
      {"CAST(2147483647 AS INTEGER)", TVariant(int32_t{2147483647}), 2147483647},
      {"CAST(9223372036854775807 AS BIGINT)", TVariant(int64_t{9223372036854775807}), std::nullopt},
      {"CAST(-12.34 AS NUMERIC(4,2))", TVariant(-12.34), -12},
      {"CAST(1234567.89 AS NUMERIC(9,2))", TVariant(1234567.89), 1234567},
      {"CAST(0.3 AS NUMERIC(9,1))", TVariant(0.3), 0},
      {"CAST(1234567890123.45 AS NUMERIC(15,2))", TVariant(1234567890123.45), std::nullopt},
      {"CAST(-2.5 AS DOUBLE PRECISION)", TVariant(-2.5), -2},
      {"DATE '0001-01-01'", at({1, 1, 1}), std::nullopt},
      {"DATE '9999-12-31'", at({9999, 12, 31}), std::nullopt},
      {"TIME '12:34:56.789'", at({1899, 12, 30, 12, 34, 56, 789}), std::nullopt},
      {"TIMESTAMP '0001-01-01 00:00:00'", at({1, 1, 1}), std::nullopt},
      {"TIMESTAMP '9999-12-31 23:59:59.999'", at({9999, 12, 31, 23, 59, 59, 999}), std::nullopt},
      {"CAST('\xE9' AS CHAR(3))", TVariant("\xE9  "s), std::nullopt},
      {"CAST(' 42 ' AS VARCHAR(10))", TVariant(" 42 "s), 42},
      {"TRUE", TVariant(true), 1},
      {"FALSE", TVariant(false), 0},
      {"CAST(NULL AS INTEGER)", TVariant::Null(), 0},
  };
  // One statement for all: every describe reuses its column list.
  for (const Case& c : cases) {
    SCOPED_TRACE(c.expression);
    Run("SELECT " + c.expression + " FROM RDB$DATABASE");
    const TVariant value = q->Fields(0).AsVariant();
    if (value.Is<TDateTime>() && c.value.Is<TDateTime>())
      EXPECT_NEAR(value.Get<TDateTime>().Value, c.value.Get<TDateTime>().Value, 1e-9);
    else
      EXPECT_EQ(value, c.value);
    if (c.integer) {
      EXPECT_EQ(q->Fields(0).AsInteger(), *c.integer);
    } else {
      EXPECT_THROW(q->Fields(0).AsInteger(), EFIBClientError);
    }
    q->Close();
  }
  q->Options = {qoTrimCharFields};
  EXPECT_EQ(Value("SELECT CAST('ab' AS CHAR(5)) FROM RDB$DATABASE"), TVariant("ab"s));
}

TEST_F(query_server, parameters_go_and_come_back) {
  Ddl("CREATE TABLE P (ID INTEGER NOT NULL, VC VARCHAR(10), BL BLOB SUB_TYPE TEXT, "
      "BO BOOLEAN, N NUMERIC(9,2))");
  std::string big(100'000, 'x');
  for (size_t i = 0; i < big.size(); i += 7)
    big[i] = '\xE9';
  struct Case {
    const char* what;
    std::string column;
    std::string value;
    TVariant read;
  };
  const Case cases[] = {
      // A zero-length text with no buffer crashed the client library.
      {"empty text", "VC", "", TVariant(""s)},
      {"accented text", "VC", "caf\xE9", TVariant("caf\xE9"s)},
      {"blob of 32,767 bytes", "BL", big.substr(0, 32767), TVariant(big.substr(0, 32767))},
      {"blob of 32,768 bytes", "BL", big.substr(0, 32768), TVariant(big.substr(0, 32768))},
      {"blob of 100,000 bytes", "BL", big, TVariant(big)},
      {"empty blob", "BL", "", TVariant(""s)},
      {"boolean", "BO", "true", TVariant(true)},
      {"decimal comma", "N", "12,5", TVariant(12.5)},
  };
  int id = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ++id;
    q->SQL().Assign({"INSERT INTO P (ID, " + c.column + ") VALUES (:ID, :V)"});
    q->Params().ByName("ID")->SetAsInteger(id);
    q->Prepare(); // the described type decides how the text travels
    q->Params().ByName("V")->SetAsString(c.value);
    q->ExecQuery();
    EXPECT_EQ(q->Params().ByName("V")->PendingStream(), nullptr); // dropped after the write
    Run("SELECT " + c.column + " FROM P WHERE ID = :ID", {std::to_string(id)});
    EXPECT_EQ(q->Fields(0).AsVariant(), c.read);
    q->Close();
  }
  // Set before the first prepare, and kept across a text change.
  q->SQL().Assign({"UPDATE P SET VC = 'kept' WHERE ID = :ID"});
  q->Params().ByName("ID")->SetAsInteger(1);
  q->ExecQuery();
  q->SQL().Assign({"SELECT VC FROM P WHERE ID = :id"});
  q->ExecQuery();
  EXPECT_EQ(q->Fields(0).AsVariant(), TVariant("kept"s));
  q->Close();
  // A null boolean parameter is described and sent as such.
  Run("UPDATE P SET BO = :B WHERE ID = 1");
  EXPECT_TRUE(Value("SELECT BO FROM P WHERE ID = 1").IsNull());
}

TEST_F(query_server, statement_types_after_prepare) {
  Ddl("CREATE TABLE T (ID INTEGER)");
  Ddl("CREATE GENERATOR G");
  Ddl("CREATE PROCEDURE P_NOP AS BEGIN END");
  const std::pair<std::string, TFIBSQLTypes> cases[] = {
      {"SELECT ID FROM T", SQLSelect},
      {"SELECT ID FROM T FOR UPDATE", SQLSelectForUpdate},
      {"INSERT INTO T VALUES (1)", SQLInsert},
      {"UPDATE T SET ID = 2", SQLUpdate},
      {"DELETE FROM T", SQLDelete},
      {"EXECUTE PROCEDURE P_NOP", SQLExecProcedure},
      {"EXECUTE BLOCK AS BEGIN END", SQLExecProcedure},
      {"CREATE TABLE T2 (A INTEGER)", SQLDDL},
      {"SET GENERATOR G TO 5", SQLSetGenerator},
      {"COMMIT", SQLCommit},
      {"SAVEPOINT S1", SQLSavePointOperation},
  };
  for (const auto& [sql, type] : cases) {
    SCOPED_TRACE(sql);
    q->SQL().Assign({sql});
    q->Prepare();
    EXPECT_EQ(q->SQLType(), type);
    if (type == SQLSelectForUpdate) {
      EXPECT_EQ(q->CursorName.size(), 10u);
      EXPECT_EQ(q->CursorName.find_first_not_of("0123456789"), std::string::npos);
    }
  }
  q->SQL().Assign({"SET TRANSACTION"});
  test::ExpectClientError([&] { q->Prepare(); }, 2, "Not permitted.");
  EXPECT_EQ(q->Handle(), 0u);
}

TEST_F(query_server, ddl_keeps_its_colon_variables_and_dml_follows) {
  // Lower case: still DDL, so the body's :a is not a parameter.
  Ddl("create procedure p_echo (a integer) returns (b integer) as begin b = :a; suspend; end");
  Run("SELECT B FROM P_ECHO(:X)", {"41"});
  EXPECT_EQ(q->Fields(0).AsInteger(), 41);
  q->Close();
  Run("EXECUTE BLOCK (X INTEGER = :X) RETURNS (Y INTEGER) AS DECLARE VARIABLE ALIAS INTEGER; "
      "BEGIN ALIAS = :X + 1; Y = :ALIAS; SUSPEND; END",
      {"1"});
  EXPECT_EQ(q->Fields(0).AsInteger(), 2);
  q->Close();
}

TEST_F(query_server, a_commit_with_a_cursor_open) {
  Ddl("CREATE TABLE T (ID INTEGER)");
  for (int i = 1; i <= 3; ++i)
    Run("INSERT INTO T VALUES (:ID)", {std::to_string(i)});
  tr->Commit();
  tr->StartTransaction();
  // With auto-commit the cursor stays open and every row arrives.
  q->Options = {qoAutoCommit};
  Run("SELECT ID FROM T ORDER BY ID");
  int rows = 0;
  while (!q->Eof()) {
    EXPECT_EQ(q->Fields(0).AsInteger(), ++rows);
    q->Next();
  }
  EXPECT_EQ(rows, 3);
  q->Close();
  // A commit from elsewhere ends the cursor; the statement knows it.
  q->Options = {};
  Run("SELECT ID FROM T ORDER BY ID");
  tr->Commit();
  EXPECT_FALSE(q->Open());
  EXPECT_TRUE(q->Eof());
  test::ExpectClientError([&] { q->Next(); }, 29,
                          "Can't fetch next record because Form1.qContext dataset closed.");
}

TEST_F(query_server, context_activation_on_the_product_schema) {
  Ddl("CREATE TABLE CENTRE (CTR_ID INTEGER, CTR_GENERATOR BIGINT)");
  Ddl("CREATE SEQUENCE IDGENERIQUE");
  Ddl("ALTER SEQUENCE IDGENERIQUE RESTART WITH 100000000123");
  Ddl("CREATE TABLE CONTEXT_LOG (CTL_MODE INTEGER, CTL_CENTRE INTEGER, CTL_TEXT VARCHAR(255))");
  Ddl("CREATE PROCEDURE CONTEXT_ACTIVATION (P_MODE INTEGER, P_CENTRE INTEGER, "
      "P_TEXT VARCHAR(255)) AS BEGIN INSERT INTO CONTEXT_LOG VALUES (:P_MODE, :P_CENTRE, "
      ":P_TEXT); END");
  const std::string lookup = "SELECT FIRST 1 CTR_ID FROM CENTRE WHERE CTR_GENERATOR = "
                             "(GEN_ID(IDGENERIQUE,0) / 100000000 * 100000000)";
  Run(lookup);
  EXPECT_TRUE(q->Eof()); // no site yet
  EXPECT_TRUE(q->Fields(0).AsVariant().IsNull());
  q->Close();
  Run("INSERT INTO CENTRE VALUES (1000, 100000000000)");
  Run(lookup);
  ASSERT_FALSE(q->Fields(0).AsVariant().IsNull());
  const int32_t centre = q->Fields(0).AsInteger();
  EXPECT_EQ(centre, 1000);
  q->Close();

  q->SQL().Assign({"execute procedure CONTEXT_ACTIVATION(0,:idctr,'')"});
  q->Params().Vars(0).SetAsInteger(centre);
  q->ExecQuery();
  q->Close();
  q->FreeHandle();
  EXPECT_EQ(QueryInt(*tr, "SELECT COUNT(*) FROM CONTEXT_LOG WHERE CTL_MODE = 0 AND "
                          "CTL_CENTRE = 1000 AND CTL_TEXT = ''"),
            1);
}

TEST_F(query_server, a_nul_in_the_text_sends_nothing) {
  Ddl("CREATE TABLE T (ID INTEGER)");
  for (int i = 1; i <= 3; ++i)
    Run("INSERT INTO T VALUES (" + std::to_string(i) + ")");
  // The server would stop at the NUL and delete every row.
  EXPECT_THROW(Run("DELETE FROM T\0 WHERE ID = 2"s), EFIBClientError);
  EXPECT_EQ(QueryInt(*tr, "SELECT COUNT(*) FROM T"), 3);
}

TEST_F(query_server, a_long_statement_arrives_whole) {
  std::string sql = "SELECT 1 FROM RDB$DATABASE WHERE 1 = 1";
  while (sql.size() < 70'000)
    sql += " AND 1 = 1";
  sql += " AND NO_SUCH_COLUMN = 1";
  try {
    Run(sql);
    FAIL() << "the error at the end was not reached";
  } catch (const EFIBInterBaseError& e) {
    EXPECT_NE(e.Message().find("NO_SUCH_COLUMN"), std::string::npos) << e.Message();
  }
  EXPECT_FALSE(q->Prepared());
  EXPECT_EQ(q->Handle(), 0u);
}

TEST_F(query_server, an_empty_parameter_compares_as_is_null) {
  Ddl("CREATE TABLE T (ID INTEGER, C INTEGER)");
  Run("INSERT INTO T VALUES (1, NULL)");
  Run("INSERT INTO T VALUES (2, 5)");
  Run("UPDATE T SET ID = ID + 10 WHERE C = :C");
  EXPECT_EQ(QueryInt(*tr, "SELECT SUM(ID) FROM T"), 13);
  q->Params().ByName("C")->SetAsInteger(5);
  q->ExecQuery();
  EXPECT_EQ(QueryInt(*tr, "SELECT SUM(ID) FROM T"), 23);
}

TEST_F(query_server, text_travels_as_utf8_on_a_unicode_attachment) {
  Ddl("CREATE TABLE T (ID INTEGER, C VARCHAR(1) CHARACTER SET ISO8859_1)");
  tr->Commit();
  db->Close();
  db->DBParams().Assign(
      {"user_name=" + test::ServerUser(), "password=" + test::ServerPassword(), "lc_ctype=UTF8"});
  db->SetConnected(true);
  ASSERT_TRUE(db->IsUnicodeCharset());
  tr->StartTransaction();
  // One character, two bytes once encoded: converted before any length test.
  Run("INSERT INTO T VALUES (1, :C)", {"\xE9"});
  Run("INSERT INTO T VALUES (2, '\xE8')");
  EXPECT_EQ(Value("SELECT C FROM T WHERE ID = 1"), TVariant("\xE9"s));
  EXPECT_EQ(Value("SELECT C FROM T WHERE ID = 2"), TVariant("\xE8"s));
}

} // namespace
} // namespace nimbus
