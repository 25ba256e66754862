#include "fib/query.h"

#include <algorithm>

#include <gtest/gtest.h>

#include "fib/database.h"
#include "fib/errors.h"
#include "platform/exception.h"
#include "tests/fib/database_fake_library.h"

namespace nimbus {
namespace {

using test::ExpectClientError;
using test::FakeServer;
using Var = FakeServer::Var;

// A described input of `type` and `len`.
Var In(short type, short len) {
  Var v;
  v.type = type;
  v.len = len;
  return v;
}

template <typename T> std::string Bytes(T value) {
  return std::string(reinterpret_cast<const char*>(&value), sizeof(value));
}

// Form1.qContext over the scripted server, attached and in a transaction.
class query : public test::FakeAttachmentTest {
protected:
  void SetUp() override {
    FakeAttachmentTest::SetUp();
    db->SetConnected(true);
    tr->StartTransaction();
    q = new TpFIBQuery(&pair_->form);
    q->SetName("qContext");
    q->SetDatabase(db);
    q->SetTransaction(tr);
    Script(isc_info_sql_stmt_select, {Var{SQL_LONG + 1, 4, 0, 0, "CTR_ID", Bytes<int32_t>(1000)}});
  }

  static void Script(int type, std::vector<Var> columns = {}, std::vector<Var> inputs = {}) {
    FakeServer::stmt_info = FakeServer::TypeInfo(type);
    FakeServer::columns = std::move(columns);
    FakeServer::inputs = std::move(inputs);
    FakeServer::calls.clear();
    FakeServer::dsql.clear();
  }

  void Run(const std::string& sql) {
    q->SQL().Assign({sql});
    q->ExecQuery();
  }

  // Starts `t` on the test database and makes it the statement's.
  void StartAndUse(TpFIBTransaction& t) {
    t.SetDefaultDatabase(db);
    t.TPBMode = tpbDefault;
    t.TRParams().Assign({"write"});
    t.StartTransaction();
    q->SetTransaction(&t);
  }

  TpFIBQuery* q = nullptr;
};

TEST_F(query, owner_and_defaults) {
  auto* on_db = new TFIBQuery(db);
  EXPECT_EQ(on_db->Database(), db);
  auto* on_tr = new TFIBQuery(tr);
  EXPECT_EQ(on_tr->Transaction(), tr);
  EXPECT_EQ(on_tr->Database(), db); // the transaction's main database
  EXPECT_TRUE(on_tr->ParamCheck());
  EXPECT_TRUE(on_tr->GoToFirstRecordOnExecute);
  EXPECT_TRUE(on_tr->Options.empty());
  EXPECT_EQ(on_tr->SQLType(), SQLUnknown);
}

TEST_F(query, select_reads_rows_until_the_end) {
  FakeServer::rows = 2;
  Run("SELECT CTR_ID FROM CENTRE");
  EXPECT_TRUE(q->Prepared());
  EXPECT_TRUE(q->Open());
  EXPECT_EQ(q->SQLType(), SQLSelect);
  EXPECT_EQ(q->RecordCount(), 1);
  EXPECT_EQ(q->Fields(0).AsInteger(), 1000);
  EXPECT_EQ(&q->FieldByName("ctr_id"), &q->Fields(0));
  EXPECT_FALSE(q->Eof());
  EXPECT_NE(q->Next(), nullptr);
  EXPECT_EQ(q->Next(), nullptr);
  EXPECT_TRUE(q->Eof());
  EXPECT_EQ(q->Next(), nullptr); // no further fetch
  EXPECT_EQ(q->RecordCount(), 2);
  q->Close();
  EXPECT_FALSE(q->Open());
  EXPECT_TRUE(q->Prepared());
  EXPECT_EQ(FakeServer::dsql, (std::vector<std::string>{"alloc", "prepare", "info", "execute",
                                                        "fetch", "fetch", "fetch", "close"}));
}

TEST_F(query, an_empty_result_reads_as_null) {
  FakeServer::rows = 0;
  Run("SELECT FIRST 1 CTR_ID FROM CENTRE");
  EXPECT_TRUE(q->Eof());
  EXPECT_TRUE(q->Fields(0).AsVariant().IsNull());
  EXPECT_EQ(q->Fields(0).AsInteger(), 0);
}

TEST_F(query, client_errors_name_the_statement) {
  Run("SELECT CTR_ID FROM CENTRE");
  ExpectClientError([&] { q->Fields(5); }, 41, "Field \"Field No: 5\" not found.");
  ExpectClientError([&] { q->FieldByName("NOPE"); }, 41, "Field \"NOPE\" not found.");
  for (int attempt = 0; attempt < 2; ++attempt)
    ExpectClientError([&] { q->SQL().Assign({"SELECT 2 FROM RDB$DATABASE"}); }, 28,
                      "Can't change sql text because Form1.qContext dataset open.");
  q->Close();
  ExpectClientError([&] { q->Next(); }, 29,
                    "Can't fetch next record because Form1.qContext dataset closed.");
  q->SQL().Assign({"  ", ""});
  ExpectClientError([&] { q->Prepare(); }, 37, "Can't Prepare , because  query is empty");

  TFIBQuery loose(&pair_->form);
  loose.SetName("qLoose");
  loose.SQL().Assign({"SELECT 1 FROM RDB$DATABASE"});
  ExpectClientError([&] { loose.Prepare(); }, 21, "Database not assigned for Form1.qLoose.");
  ExpectClientError([&] { loose.ExecQuery(); }, 22, "Transaction not assigned for Form1.qLoose.");
}

TEST_F(query, malformed_statement_type_replies_are_refused) {
  struct Case {
    const char* what;
    std::string reply;
    int error;
  };
  const Case cases[] = {
      {"another item", {isc_info_sql_stmt_flags, 4, 0, 1, 0, 0, 0, isc_info_end}, 0},
      {"length 0", {isc_info_sql_stmt_type, 0, 0, 1, isc_info_end}, 0},
      {"length 5", {isc_info_sql_stmt_type, 5, 0, 1, 0, 0, 0, 0}, 0},
      {"negative length", {isc_info_sql_stmt_type, '\xFF', '\xFF', 1, 0, 0, 0, 0}, 0},
      {"get segment", FakeServer::TypeInfo(isc_info_sql_stmt_get_segment), 2},
      {"start transaction", FakeServer::TypeInfo(isc_info_sql_stmt_start_trans), 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    q->SQL().Assign({"SELECT 1 FROM RDB$DATABASE"});
    FakeServer::stmt_info = c.reply;
    FakeServer::dsql.clear();
    ExpectClientError([&] { q->Prepare(); }, c.error,
                      c.error == 0 ? "Unknown error." : "Not permitted.");
    EXPECT_FALSE(q->Prepared());
    EXPECT_EQ(q->Handle(), 0u);
    EXPECT_EQ(FakeServer::dsql.back(), "drop");
  }
}

TEST_F(query, texts_go_whole_and_a_nul_stops_them_before_the_server) {
  // Length 0 lets the client read the whole text: a 16-bit length would cut
  // anything past 65,535 bytes.
  const std::string wide = "SELECT " + std::string(70'000, ' ') + "1 FROM RDB$DATABASE";
  Run(wide);
  EXPECT_EQ(FakeServer::prepared_length, 0);
  EXPECT_EQ(FakeServer::prepared_sql, wide + "\r\n");
  q->Close();

  using namespace std::string_literals;
  const std::pair<std::string, std::string> cases[] = {
      {"DELETE FROM T\0 WHERE ID = 5"s, "position 14"},
      {"CREATE TABLE T2 (A INTEGER)\0 -- not sent"s, "position 28"},
  };
  for (const auto& [text, position] : cases) {
    SCOPED_TRACE(position);
    FakeServer::calls.clear();
    FakeServer::dsql.clear();
    try {
      Run(text);
      ADD_FAILURE() << "a text with a NUL was sent";
    } catch (const EFIBClientError& e) {
      EXPECT_EQ(e.SQLCode(), -1);
      EXPECT_NE(e.Message().find("NUL character at " + position), std::string::npos) << e.Message();
    }
    EXPECT_EQ(std::count(FakeServer::dsql.begin(), FakeServer::dsql.end(), "prepare"), 0);
    EXPECT_TRUE(FakeServer::calls.empty()); // no execute_immediate either
  }
}

TEST_F(query, a_text_that_fails_its_analysis_never_runs_the_previous_one) {
  Script(isc_info_sql_stmt_delete);
  Run("DELETE FROM T WHERE ID = 1");
  for (const std::string text :
       {"DELETE FROM T WHERE ID = :ID AND NAME = 'open", "DELETE FROM T WHERE ID = :ID /* open"}) {
    SCOPED_TRACE(text);
    EXPECT_THROW(q->SQL().Assign({text}), EFIBClientError);
    FakeServer::dsql.clear();
    FakeServer::calls.clear();
    try {
      q->ExecQuery();
      ADD_FAILURE() << "executed";
    } catch (const EFIBClientError& e) {
      EXPECT_EQ(e.SQLCode(), 51);
    }
    EXPECT_EQ(std::count(FakeServer::dsql.begin(), FakeServer::dsql.end(), "execute"), 0);
    EXPECT_TRUE(FakeServer::calls.empty());
  }
}

TEST_F(query, a_failed_fetch_never_counts_as_a_row) {
  FakeServer::rows = 3;
  Run("SELECT CTR_ID FROM CENTRE");
  // Without a transaction the status still decides.
  q->SetTransaction(nullptr);
  FakeServer::fetch_error = isc_network_error;
  EXPECT_THROW(q->Next(), EFIBInterBaseError);
  EXPECT_EQ(q->RecordCount(), 1);
  EXPECT_FALSE(q->Open()); // closed before the error left
}

TEST_F(query, fetch_failures) {
  const std::pair<ISC_STATUS, bool> cases[] = {
      {335544572, false}, // invalid cursor reference: the end
      {isc_network_error, true},
  };
  for (const auto& [code, raises] : cases) {
    SCOPED_TRACE(code);
    FakeServer::fetch_error = 0;
    FakeServer::rows = 5;
    Run("SELECT CTR_ID FROM CENTRE");
    FakeServer::fetch_error = code;
    if (raises) {
      EXPECT_THROW(q->Next(), EFIBInterBaseError);
      EXPECT_FALSE(q->Open());
    } else {
      EXPECT_EQ(q->Next(), nullptr);
      EXPECT_TRUE(q->Eof());
      q->Close();
    }
  }
}

TEST_F(query, closing_a_cursor_the_server_already_dropped_is_quiet) {
  const std::pair<ISC_STATUS, bool> cases[] = {
      {335544577, false}, // cursor already closed
      {335544485, false}, // invalid statement handle
      {isc_network_error, true},
  };
  for (const auto& [code, raises] : cases) {
    SCOPED_TRACE(code);
    FakeServer::free_error = 0;
    Run("SELECT CTR_ID FROM CENTRE");
    FakeServer::free_error = code;
    if (raises)
      EXPECT_THROW(q->Close(), EFIBInterBaseError);
    else
      EXPECT_NO_THROW(q->Close());
    EXPECT_FALSE(q->Open()); // closed in every case
  }
  FakeServer::free_error = 0;
}

TEST_F(query, auto_commit_never_ends_an_open_cursor) {
  struct Case {
    const char* what;
    TTransactionAction action;
    int type;
    std::vector<std::string> calls;
  };
  const Case cases[] = {
      {"insert", TACommit, isc_info_sql_stmt_insert, {"commit"}},
      {"insert, retaining", TACommitRetaining, isc_info_sql_stmt_insert, {"commit_retaining"}},
      // A commit would close the cursor: the rows would be lost.
      {"select", TACommit, isc_info_sql_stmt_select, {}},
      {"select, retaining", TACommitRetaining, isc_info_sql_stmt_select, {"commit_retaining"}},
  };
  q->Options = {qoAutoCommit, qoStartTransaction};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    if (q->Open())
      q->Close();
    tr->SetTimeoutAction(c.action);
    if (!tr->Active())
      tr->StartTransaction();
    FakeServer::rows = 2;
    Script(c.type, c.type == isc_info_sql_stmt_select ? FakeServer::columns : std::vector<Var>{});
    FakeServer::columns = {Var{SQL_LONG, 4, 0, 0, "A", Bytes<int32_t>(1)}};
    Run(c.type == isc_info_sql_stmt_select ? "SELECT A FROM T" : "INSERT INTO T VALUES (1)");
    EXPECT_EQ(FakeServer::calls, c.calls);
    if (c.type == isc_info_sql_stmt_select) {
      EXPECT_TRUE(tr->Active());
      EXPECT_NE(q->Next(), nullptr);
    }
  }
}

TEST_F(query, destruction_never_throws) {
  Run("SELECT CTR_ID FROM CENTRE");
  FakeServer::free_error = isc_network_error;
  EXPECT_NO_THROW(delete q);
}

TEST_F(query, a_closing_attachment_takes_the_server_statement_with_it) {
  Run("SELECT CTR_ID FROM CENTRE");
  db->Close();
  EXPECT_FALSE(q->Open());
  EXPECT_FALSE(q->Prepared());
  EXPECT_EQ(q->Handle(), 0u);

  auto* other = new TpFIBDatabase(&pair_->form);
  other->SetDBName("127.0.0.1:other");
  other->SetLibraryName(db->LibraryName());
  other->SetConnected(true);
  TpFIBTransaction t(&pair_->form);
  t.SetDefaultDatabase(other);
  TFIBQuery on_other(&pair_->form);
  on_other.SetTransaction(&t);
  t.StartTransaction();
  on_other.SQL().Assign({"SELECT 1 FROM RDB$DATABASE"});
  on_other.Prepare();
  delete other;
  EXPECT_EQ(on_other.Database(), nullptr);
  EXPECT_EQ(on_other.Handle(), 0u);
  EXPECT_FALSE(on_other.Prepared());
}

TEST_F(query, execute_error_handler_chooses_fail_abort_or_retry) {
  struct Case {
    const char* what;
    bool handler;
    TDataAction action;
    const char* outcome; // "ok", "abort" or "error"
    int calls;
  };
  const Case cases[] = {
      {"no handler", false, daFail, "error", 0},
      {"fail", true, daFail, "error", 1},
      {"abort", true, daAbort, "abort", 1},
      {"retry", true, daRetry, "ok", 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Script(isc_info_sql_stmt_insert);
    FakeServer::execute_error = isc_deadlock;
    int calls = 0;
    q->OnExecuteError = nullptr;
    if (c.handler) {
      q->OnExecuteError = [&](TpFIBQuery* sender, const EFIBError& e, TDataAction& action) {
        ++calls;
        EXPECT_EQ(sender, q);
        EXPECT_EQ(e.StatusCode(), isc_deadlock);
        EXPECT_EQ(action, daFail);
        action = c.action;
        FakeServer::execute_error = 0; // a retry succeeds
      };
    }
    std::string outcome = "ok";
    try {
      Run("INSERT INTO T VALUES (1)");
    } catch (const EAbort&) {
      outcome = "abort";
    } catch (const EFIBInterBaseError&) {
      outcome = "error";
    }
    EXPECT_EQ(outcome, c.outcome);
    EXPECT_EQ(calls, c.calls);
  }
}

// Records the statement notifications, kind 2 included.
class RecordingTransaction : public TpFIBTransaction {
public:
  using TpFIBTransaction::TpFIBTransaction;
  std::vector<std::pair<int, TFIBSQLTypes>> seen;
  void NotifySQLExecute(TFIBQuery* statement, TFIBSQLTypes type, int kind) override {
    seen.emplace_back(kind, type);
    TpFIBTransaction::NotifySQLExecute(statement, type, kind);
  }
};

TEST_F(query, transaction_hears_before_after_and_close) {
  RecordingTransaction t(&pair_->form);
  StartAndUse(t);
  std::vector<std::string> events;
  t.BeforeSQLExecute = [&](TFIBQuery* s, TFIBSQLTypes) { events.push_back(s == q ? "b" : "?"); };
  t.AfterSQLExecute = [&](TFIBQuery*, TFIBSQLTypes type) {
    events.push_back("a" + std::to_string(type));
  };
  Run("SELECT CTR_ID FROM CENTRE");
  q->Close();
  Script(isc_info_sql_stmt_exec_procedure, {Var{SQL_LONG + 1, 4, 0, 0, "R", Bytes<int32_t>(9)}});
  Run("EXECUTE PROCEDURE P");
  EXPECT_TRUE(q->ProcExecuted());
  EXPECT_EQ(q->Fields(0).AsInteger(), 9);
  EXPECT_EQ(
      t.seen,
      (std::vector<std::pair<int, TFIBSQLTypes>>{
          {0, SQLUnknown}, {1, SQLSelect}, {2, SQLSelect}, {0, SQLSelect}, {1, SQLExecProcedure}}));
  EXPECT_EQ(events, (std::vector<std::string>{"b", "a1", "b", "a8"}));
  q->SetTransaction(tr);
}

TEST_F(query, ddl_runs_immediately_with_its_colon_variables) {
  const std::string body = "create procedure p (a integer) as declare variable v integer;"
                           " begin v = :a; end";
  Run(body);
  EXPECT_EQ(q->SQLKind(), KindDDL);
  EXPECT_EQ(q->ParamCount(), 0);
  EXPECT_EQ(FakeServer::calls, std::vector<std::string>{"execute_immediate"});
  EXPECT_EQ(FakeServer::sql, body + "\r\n");
  EXPECT_TRUE(FakeServer::dsql.empty());
  EXPECT_FALSE(q->Prepared());
  EXPECT_EQ(q->Handle(), 0u);
}

TEST_F(query, plain_statements_run_in_one_call_when_asked) {
  struct Case {
    const char* sql;
    int serverType;    // what a prepare reports
    TFIBSQLTypes type; // SQLType afterwards, on either path
    bool immediate;    // one execute_immediate with ImmediateWhenPlain
    bool parameter = false;
  };
  const Case cases[] = {
      {"INSERT INTO T VALUES (1)", isc_info_sql_stmt_insert, SQLInsert, true},
      {"update T set A = 'it''s :A'", isc_info_sql_stmt_update, SQLUpdate, true},
      {"/* first */ DELETE FROM T", isc_info_sql_stmt_delete, SQLDelete, true},
      {"UPDATE OR INSERT INTO T (A) VALUES (1) MATCHING (A)", isc_info_sql_stmt_insert, SQLInsert,
       true},
      {"MERGE INTO T USING U ON T.A = U.A WHEN MATCHED THEN DELETE", isc_info_sql_stmt_insert,
       SQLInsert, true},
      {"EXECUTE BLOCK AS DECLARE X INTEGER; BEGIN X = :X + 1; END",
       isc_info_sql_stmt_exec_procedure, SQLExecProcedure, true},
      {"INSERT INTO T VALUES (1) RETURNING A", isc_info_sql_stmt_exec_procedure, SQLExecProcedure,
       false},
      {"INSERT INTO T VALUES (:A)", isc_info_sql_stmt_insert, SQLInsert, false, true},
      {"EXECUTE BLOCK RETURNS (X INTEGER) AS BEGIN SUSPEND; END", isc_info_sql_stmt_select,
       SQLSelect, false},
      {"EXECUTE PROCEDURE P", isc_info_sql_stmt_exec_procedure, SQLExecProcedure, false},
      {"SELECT A FROM T", isc_info_sql_stmt_select, SQLSelect, false},
  };
  RecordingTransaction t(&pair_->form);
  StartAndUse(t);
  int before = 0, after = 0;
  q->BeforeExecute = [&](TComponent*) { ++before; };
  q->AfterExecute = [&](TComponent*) { ++after; };
  for (bool asked : {false, true}) {
    q->ImmediateWhenPlain = asked;
    for (const Case& c : cases) {
      SCOPED_TRACE(std::string(c.sql) + (asked ? " (asked)" : ""));
      q->SQL().Assign({"SELECT 1 FROM RDB$DATABASE"});
      Script(isc_info_sql_stmt_select, {Var{SQL_LONG + 1, 4, 0, 0, "A", Bytes<int32_t>(1)}});
      q->ExecQuery();
      q->Close();
      q->SQL().Assign({c.sql});
      Script(c.serverType, {},
             c.parameter ? std::vector<Var>{In(SQL_LONG + 1, 4)} : std::vector<Var>{});
      if (c.parameter)
        q->Params().Vars(0).SetAsInteger(1);
      t.seen.clear();
      before = after = 0;
      q->ExecQuery();
      const bool immediate = asked && c.immediate;
      EXPECT_EQ(FakeServer::calls, immediate ? std::vector<std::string>{"execute_immediate"}
                                             : std::vector<std::string>{});
      EXPECT_EQ(FakeServer::dsql.empty(), immediate);
      if (immediate) {
        EXPECT_EQ(FakeServer::sql, std::string(c.sql) + "\r\n");
      }
      EXPECT_EQ(q->SQLType(), c.type);
      EXPECT_EQ(t.seen, (std::vector<std::pair<int, TFIBSQLTypes>>{{0, SQLSelect}, {1, c.type}}));
      EXPECT_EQ(before, 1);
      EXPECT_EQ(after, 1);
      EXPECT_EQ(q->ProcExecuted(), c.type == SQLExecProcedure);
      q->Close();
    }
  }

  // A failing call: the same error, and no after-execute step.
  Script(isc_info_sql_stmt_insert);
  FakeServer::execute_error = isc_unique_key_violation;
  std::vector<std::string> messages;
  for (bool asked : {false, true}) {
    q->ImmediateWhenPlain = asked;
    q->SQL().Assign({"INSERT INTO T VALUES (1)"});
    before = after = 0;
    t.seen.clear();
    try {
      q->ExecQuery();
      ADD_FAILURE() << "no error";
    } catch (const EFIBError& e) {
      messages.push_back(e.Message());
    }
    EXPECT_EQ(before, 1);
    EXPECT_EQ(after, 0);
    EXPECT_EQ(t.seen.size(), 1u);
  }
  FakeServer::execute_error = 0;
  ASSERT_EQ(messages.size(), 2u);
  EXPECT_EQ(messages[0], messages[1]);

  // A statement prepared by its caller executes its handle: one call already.
  q->SQL().Assign({"INSERT INTO T VALUES (2)"});
  q->Prepare();
  FakeServer::calls.clear();
  FakeServer::dsql.clear();
  q->ExecQuery();
  EXPECT_EQ(FakeServer::dsql, std::vector<std::string>{"execute"});
  q->SetTransaction(tr);
}

TEST_F(query, parameter_values_survive_the_prepare_and_a_text_change) {
  const std::vector<Var> one_input = {In(SQL_LONG + 1, 4)};
  Script(isc_info_sql_stmt_exec_procedure, {}, one_input);
  q->SQL().Assign({"execute procedure CONTEXT_ACTIVATION(0,:idctr,'')"});
  EXPECT_EQ(q->ParamCount(), 1);
  EXPECT_EQ(q->ParamName(0), "IDCTR");
  q->Params().Vars(0).SetAsInteger(1000);
  q->ExecQuery();
  EXPECT_EQ(FakeServer::prepared_sql, "execute procedure CONTEXT_ACTIVATION(0,?     ,'')\r\n");
  ASSERT_EQ(FakeServer::sent.size(), 1u);
  EXPECT_EQ(FakeServer::sent[0].bytes, Bytes<int32_t>(1000));

  Script(isc_info_sql_stmt_update, {}, {In(SQL_LONG + 1, 4), In(SQL_VARYING + 1, 10)});
  q->SQL().Assign({"UPDATE T SET B = :Name WHERE C = :IdCtr"});
  EXPECT_EQ(q->Params().ByName("IDCTR")->AsInteger(), 1000);
  q->Params().ByName("name")->SetAsString("x");
  q->ExecQuery();
  ASSERT_EQ(FakeServer::sent.size(), 2u);
  EXPECT_EQ(FakeServer::sent[0].bytes, "x");
  EXPECT_EQ(FakeServer::sent[1].bytes, Bytes<int32_t>(1000));
}

TEST_F(query, turning_param_check_off_sends_the_text_as_written) {
  Script(isc_info_sql_stmt_update, {}, {In(SQL_LONG + 1, 4)});
  q->SQL().Assign({"UPDATE T SET A = :A"});
  q->Params().Vars(0).SetAsInteger(1);
  q->ExecQuery();
  EXPECT_EQ(FakeServer::prepared_sql, "UPDATE T SET A = ? \r\n");
  q->SetParamCheck(false);
  EXPECT_EQ(q->ParamCount(), 0);
  q->ExecQuery();
  EXPECT_EQ(FakeServer::prepared_sql, "UPDATE T SET A = :A\r\n");
}

TEST_F(query, an_empty_where_parameter_is_compared_with_is_null) {
  Script(isc_info_sql_stmt_update, {}, {In(SQL_LONG + 1, 4)});
  q->SQL().Assign({"UPDATE T SET A = 1 WHERE B = :B"});
  q->ExecQuery();
  EXPECT_TRUE(q->RewriteApplied());
  EXPECT_EQ(FakeServer::prepared_sql, "UPDATE T SET A = 1 WHERE B  IS NULL \r\n");
  EXPECT_TRUE(FakeServer::sent.empty());
  // A value brings the comparison back.
  q->Params().Vars(0).SetAsInteger(5);
  q->ExecQuery();
  EXPECT_FALSE(q->RewriteApplied());
  EXPECT_EQ(FakeServer::prepared_sql, "UPDATE T SET A = 1 WHERE B = ? \r\n");
  ASSERT_EQ(FakeServer::sent.size(), 1u);
  EXPECT_EQ(FakeServer::sent[0].bytes, Bytes<int32_t>(5));
  // Unless the option forbids it: the null goes with the described type.
  q->Options = {qoNoForceIsNull};
  q->Params().Vars(0).SetIsNull(true);
  q->ExecQuery();
  EXPECT_EQ(FakeServer::prepared_sql, "UPDATE T SET A = 1 WHERE B = ? \r\n");
  ASSERT_EQ(FakeServer::sent.size(), 1u);
  EXPECT_TRUE(FakeServer::sent[0].null);
  EXPECT_EQ(FakeServer::sent[0].type, SQL_LONG + 1);
}

TEST_F(query, text_values_follow_the_described_type) {
  Script(isc_info_sql_stmt_update, {}, {In(SQL_DOUBLE + 1, 8), In(SQL_LONG + 1, 4)});
  q->SQL().Assign({"UPDATE T SET D = :D, E = :E"});
  q->Prepare();
  q->Params().ByName("D")->SetAsString("1,5");
  q->Params().ByName("E")->SetAsString("");
  q->ExecQuery();
  ASSERT_EQ(FakeServer::sent.size(), 2u);
  EXPECT_EQ(FakeServer::sent[0].bytes, "1.5");
  EXPECT_EQ(FakeServer::sent[0].type, SQL_TEXT + 1);
  EXPECT_TRUE(FakeServer::sent[1].null); // empty text for a number: null
}

TEST_F(query, batches_run_only_where_the_server_has_them) {
  q->ExecuteBatch({"INSERT INTO T VALUES (1)"});
  q->ExecuteBatch({});
  EXPECT_TRUE(FakeServer::calls.empty());
  EXPECT_TRUE(FakeServer::dsql.empty());
}

} // namespace
} // namespace nimbus
