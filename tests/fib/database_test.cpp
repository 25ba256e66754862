#include "fib/database.h"

#include <gtest/gtest.h>

#include "fib/base.h"
#include "fib/errors.h"
#include "fib/timer.h"
#include "fib/variant.h"
#include "tests/fib/database_fake_library.h"

namespace nimbus {
namespace {

using test::ExpectClientError;
using test::FakeServer;

class database : public test::FakeAttachmentTest {};

std::string Item(int code, const std::string& value) {
  return std::string{static_cast<char>(code), static_cast<char>(value.size())} + value;
}

TEST_F(database, defaults_after_construction) {
  TpFIBDatabase fresh;
  EXPECT_EQ(fresh.LibraryName(), "gds32.dll");
  EXPECT_EQ(fresh.SQLDialect(), 1);
  EXPECT_EQ(fresh.Timeout(), 0u);
  EXPECT_TRUE(fresh.SynchronizeTime);
  EXPECT_FALSE(fresh.AutoReconnect);
  EXPECT_EQ(fresh.DesignDBOptions, TDesignDBOptions{ddoStoreConnected});
  EXPECT_TRUE(fresh.SaveAliasParamsAfterConnect);
  EXPECT_EQ(fresh.IdleTimer(), nullptr);
  EXPECT_EQ(fresh.AttachmentId(), -1);
  TFIBTransaction& internal = fresh.InternalTransaction();
  EXPECT_EQ(internal.DefaultDatabase(), &fresh);
  EXPECT_EQ(internal.TimeoutAction(), TACommit);
  EXPECT_EQ(internal.Timeout(), 1000u);
  EXPECT_EQ(internal.TRParams().Lines(),
            (std::vector<std::string>{"write", "isc_tpb_nowait", "read_committed", "rec_version"}));
  fresh.SetName("dbX");
  fresh.Loaded();
  EXPECT_EQ(internal.Name(), "dbX_InternalTransaction");
}

TEST_F(database, attach_passes_name_length_and_parameter_block) {
  db->SetConnected(true);
  EXPECT_TRUE(db->Connected());
  EXPECT_EQ(FakeServer::db_name, "127.0.0.1:nimbus_test");
  EXPECT_EQ(FakeServer::db_name_length, 21);
  EXPECT_EQ(FakeServer::dpb,
            std::string("\x01") + Item(28, "SYSDBA") + Item(29, "secret") + Item(48, "ISO8859_1"));
  EXPECT_EQ(db->DPBLength(), 1 + 8 + 8 + 11);
  EXPECT_EQ(db->AttachmentId(), 42);
  EXPECT_EQ(db->SQLDialect(), 3);
}

TEST_F(database, attach_measures_the_server_clock) {
  db->SetConnected(true);
  // The scripted server's clock says 2000-01-01 12:00.
  EXPECT_NEAR(db->ServerTimeOffset(), Now().Value - 36526.5, 1e-3);
  EXPECT_FALSE(db->InternalTransaction().Active()); // started for the query, committed again
  db->Close();
  db->SynchronizeTime = false;
  FakeServer::dsql.clear();
  db->SetConnected(true);
  EXPECT_EQ(db->ServerTimeOffset(), 0);
  EXPECT_TRUE(FakeServer::dsql.empty());
}

TEST_F(database, attach_refusals_leave_it_detached_and_the_next_attempt_works) {
  TpFIBDatabase unnamed(&pair_->form);
  unnamed.SetLibraryName(db->LibraryName());
  ExpectClientError([&] { unnamed.SetConnected(true); }, 14, "Database name is missing.");
  EXPECT_FALSE(unnamed.Connected());

  FakeServer::attach_error = isc_login;
  EXPECT_THROW(db->SetConnected(true), EFIBInterBaseError);
  EXPECT_FALSE(db->Connected());
  EXPECT_EQ(db->Handle(), 0u);
  FakeServer::attach_error = 0;
  db->SetConnected(true);
  EXPECT_TRUE(db->Connected());

  ExpectClientError([&] { db->TFIBDatabase::OpenAttachment(true); }, 13,
                    "Cannot perform operation -- DB is currently open.");
  EXPECT_NO_THROW(db->SetConnected(true)); // the derived attach returns quietly
}

TEST_F(database, attach_without_raising_reports_nothing) {
  FakeServer::attach_error = isc_login;
  EXPECT_NO_THROW(db->OpenAttachment(false));
  EXPECT_FALSE(db->Connected());
}

TEST_F(database, bad_parameter_line_fails_every_attempt) {
  db->DBParams().Add("foo=1");
  for (int attempt = 0; attempt < 2; ++attempt) {
    SCOPED_TRACE(attempt);
    ExpectClientError([&] { db->SetConnected(true); }, 9, "DPB Constant (foo) is unknown.");
    EXPECT_FALSE(db->Connected());
  }
  EXPECT_TRUE(FakeServer::calls.empty());
  db->DBParams().Delete(3);
  db->SetConnected(true);
  EXPECT_TRUE(db->Connected());
}

TEST_F(database, missing_client_library_fails_the_attach_and_a_good_one_works) {
  db->SetLibraryName("/nonexistent/libfbclient.so");
  try {
    db->SetConnected(true);
    FAIL() << "attached without a client library";
  } catch (const EOSError& e) {
    EXPECT_NE(e.Message().find("Code : "), std::string::npos) << e.Message();
    EXPECT_NE(e.Message().find("/nonexistent/libfbclient.so"), std::string::npos) << e.Message();
  }
  EXPECT_FALSE(db->Connected());
  db->SetLibraryName(test::FakeAttachment::FakeLibraryTestName());
  db->SetConnected(true);
  EXPECT_TRUE(db->Connected());
}

TEST_F(database, login_prompt_is_refused_as_cancelled) {
  db->UseLoginPrompt = true;
  ExpectClientError([&] { db->SetConnected(true); }, 7, "Operation cancelled at user's request.");
  EXPECT_FALSE(db->Connected());
}

TEST_F(database, settings_change_only_while_detached) {
  db->SetConnected(true);
  const std::string open = "Cannot perform operation -- DB is currently open.";
  ExpectClientError([&] { db->SetDBName("other"); }, 13, open);
  EXPECT_NO_THROW(db->SetDBName(db->DBName())); // same name: no change
  ExpectClientError([&] { db->SetLibraryName(db->LibraryName()); }, 13, open);
  ExpectClientError([&] { db->DBParams().Add("sql_role_name=R"); }, 13, open);
  EXPECT_EQ(db->DBParams().Count(), 3);
  db->Close();

  IIBClientLibrary* bound = db->ClientLibrary();
  ASSERT_NE(bound, nullptr);
  db->SetLibraryName(db->LibraryName());
  EXPECT_EQ(db->ClientLibrary(), bound);
  db->SetLibraryName("otherclient.so");
  EXPECT_EQ(db->ClientLibrary(), nullptr);
}

TEST_F(database, dialect_is_lowered_to_the_database_and_checked) {
  ExpectClientError([&] { db->SetSQLDialect(0); }, 61, "SQL Dialect invalid");
  FakeServer::dialect = 1;
  db->SetConnected(true);
  EXPECT_EQ(db->SQLDialect(), 1);
  EXPECT_EQ(db->DatabaseSQLDialect(), 1);
  ExpectClientError([&] { db->SetSQLDialect(3); }, 61, "SQL Dialect invalid");
  EXPECT_EQ(db->SQLDialect(), 1);
  db->Close();
  db->SetSQLDialect(3); // detached: not checked against the database
  EXPECT_EQ(db->SQLDialect(), 3);
}

TEST_F(database, close_and_close_attachment_on_a_detached_database) {
  EXPECT_NO_THROW(db->Close());
  EXPECT_NO_THROW(db->CloseAttachment(false)); // the derived close checks first
  ExpectClientError([&] { db->TFIBDatabase::CloseAttachment(false); }, 12,
                    "Form1.dbNimbus: Cannot perform operation -- DB is not open.");
  EXPECT_TRUE(FakeServer::calls.empty());
}

TEST_F(database, failed_detach_still_detaches) {
  db->SetConnected(true);
  FakeServer::detach_error = isc_network_error;
  EXPECT_NO_THROW(db->Close());
  EXPECT_FALSE(db->Connected());
}

TEST_F(database, before_connect_can_refuse_quietly) {
  TDBParams* seen = nullptr;
  db->BeforeConnect = [&](TFIBDatabase* d, TDBParams& params, bool& do_connect) {
    EXPECT_EQ(d, db);
    seen = &params;
    do_connect = false;
  };
  EXPECT_NO_THROW(db->SetConnected(true));
  EXPECT_FALSE(db->Connected());
  EXPECT_EQ(seen, &db->DBParams());
  EXPECT_TRUE(FakeServer::calls.empty());
}

TEST_F(database, connect_and_disconnect_steps_run_in_order) {
  std::vector<std::string> order;
  TFIBBase link(&pair_->form);
  link.SetDatabase(db);
  link.BeforeDatabaseConnect = [&](TFIBBase*) { order.push_back("link before connect"); };
  link.AfterDatabaseConnect = [&](TFIBBase*) { order.push_back("link after connect"); };
  link.BeforeDatabaseDisconnect = [&](TFIBBase*) { order.push_back("link before disconnect"); };
  link.AfterDatabaseDisconnect = [&](TFIBBase*) { order.push_back("link after disconnect"); };
  db->BeforeConnect = [&](TFIBDatabase*, TDBParams&, bool&) { order.push_back("BeforeConnect"); };
  db->AfterConnect = [&](TComponent*) { order.push_back("AfterConnect"); };
  db->ConnectListeners.Add([&](TFIBDatabase*) { order.push_back("connect listener 1"); });
  db->ConnectListeners.Add([&](TFIBDatabase*) { order.push_back("connect listener 2"); });
  db->BeforeDisconnect = [&](TComponent*) { order.push_back("BeforeDisconnect"); };
  db->BeforeDisconnectListeners.Add([&](TFIBDatabase*) { order.push_back("disconnect listener"); });
  db->AfterDisconnect = [&](TComponent*) { order.push_back("AfterDisconnect"); };

  db->SetConnected(true);
  tr->StartTransaction();
  order.push_back("--");
  db->Close();
  EXPECT_EQ(order, (std::vector<std::string>{"BeforeConnect", "link before connect", "AfterConnect",
                                             "connect listener 1", "connect listener 2",
                                             "link after connect", "--", "BeforeDisconnect",
                                             "disconnect listener", "link before disconnect",
                                             "link after disconnect", "AfterDisconnect"}));
  // The first start and commit read the server time in the internal transaction.
  EXPECT_EQ(FakeServer::calls,
            (std::vector<std::string>{"attach", "start", "commit", "start", "commit", "detach"}));
  EXPECT_FALSE(tr->Active());
}

TEST_F(database, failing_disconnect_handlers_are_reported_by_name) {
  db->SetConnected(true);
  db->BeforeDisconnect = [](TComponent*) { throw Exception("boom"); };
  try {
    db->Close();
    FAIL();
  } catch (const EFIBError&) {
    FAIL() << "a plain exception was expected";
  } catch (const Exception& e) {
    EXPECT_EQ(e.Message(), "Error of Form1.dbNimbus.BeforeDisconnect. boom");
  }
  EXPECT_TRUE(db->Connected());
  db->BeforeDisconnect = nullptr;
  db->AfterDisconnect = [](TComponent*) { throw Exception("late"); };
  try {
    db->Close();
    FAIL();
  } catch (const Exception& e) {
    EXPECT_EQ(e.Message(), "Error of Form1.dbNimbus.AfterDisconnect. late");
  }
  EXPECT_FALSE(db->Connected());
  db->AfterDisconnect = nullptr;
}

TEST_F(database, detach_ends_transactions_by_their_timeout_action) {
  const std::pair<TTransactionAction, const char*> cases[] = {
      {TACommit, "commit"},
      {TARollbackRetaining, "rollback"},
  };
  for (const auto& [action, call] : cases) {
    SCOPED_TRACE(call);
    db->SetConnected(true);
    tr->SetTimeoutAction(action);
    tr->StartTransaction();
    FakeServer::calls.clear();
    db->Close();
    EXPECT_FALSE(tr->Active());
    EXPECT_EQ(FakeServer::calls, (std::vector<std::string>{call, "detach"}));
  }
}

TEST_F(database, end_transactions_swallows_failures_and_goes_on) {
  db->SetConnected(true);
  TpFIBTransaction second(&pair_->form);
  second.SetDefaultDatabase(db);
  second.TPBMode = tpbDefault;
  second.TRParams().Add("read");
  tr->StartTransaction();
  second.StartTransaction();
  tr->BeforeEnd = [](TFIBTransaction*, TTransactionAction, bool) { throw Exception("refused"); };
  EXPECT_NO_THROW(db->EndTransactions());
  EXPECT_TRUE(tr->Active());
  EXPECT_FALSE(second.Active());
  EXPECT_TRUE(db->Connected());
  tr->BeforeEnd = nullptr;
  db->EndTransactions();
  EXPECT_FALSE(tr->Active());
}

TEST_F(database, idle_close_asks_first_and_then_detaches) {
  db->SetTimeout(50);
  auto* timer = dynamic_cast<TManualTimer*>(db->IdleTimer());
  ASSERT_NE(timer, nullptr);
  EXPECT_EQ(timer->Interval(), 50u);
  EXPECT_TRUE(timer->Running());
  db->SetConnected(true);
  TActionOnIdle answer = aiKeepLiveConnect;
  int asked = 0, timeouts = 0;
  db->OnIdleConnect = [&](TFIBDatabase*, uint32_t, TActionOnIdle& action) {
    ++asked;
    action = answer;
  };
  db->OnTimeout = [&](TComponent*) { ++timeouts; };
  timer->Fire();
  EXPECT_TRUE(db->Connected());
  answer = aiCloseConnect;
  timer->Fire();
  EXPECT_FALSE(db->Connected());
  EXPECT_EQ(asked, 2);
  EXPECT_EQ(timeouts, 1);
  db->SetTimeout(0);
  EXPECT_EQ(db->IdleTimer(), nullptr);
}

TEST_F(database, live_databases_are_listed_and_closed_at_shutdown) {
  auto* extra = new TpFIBDatabase(&pair_->form);
  const auto listed = [](TFIBDatabase* d) {
    const auto all = DatabaseList();
    return std::find(all.begin(), all.end(), d) != all.end();
  };
  EXPECT_TRUE(listed(db));
  EXPECT_TRUE(listed(extra));
  db->SetConnected(true);
  CloseAllDatabases();
  EXPECT_FALSE(db->Connected());
  delete extra;
  EXPECT_FALSE(listed(extra));
}

TEST_F(database, destruction_detaches_and_frees_its_links) {
  auto* doomed = new TpFIBDatabase(&pair_->form);
  doomed->SetName("dbDoomed");
  doomed->SetDBName("x");
  doomed->SetLibraryName(db->LibraryName());
  TpFIBTransaction t(&pair_->form);
  doomed->SetDefaultTransaction(&t);
  TFIBBase link(&pair_->form);
  link.SetDatabase(doomed);
  EXPECT_EQ(link.Transaction(), &t);
  std::vector<std::string> order;
  doomed->DestroyListeners.Add([&](TFIBDatabase*) { order.push_back("destroy 1"); });
  doomed->DestroyListeners.Add([&](TFIBDatabase*) { order.push_back("destroy 2"); });
  link.OnDatabaseFree = [&](TFIBBase*) { order.push_back("link freed"); };
  doomed->SetConnected(true);
  FakeServer::calls.clear();
  delete doomed;
  EXPECT_EQ(FakeServer::calls, std::vector<std::string>{"detach"});
  EXPECT_EQ(order, (std::vector<std::string>{"destroy 2", "destroy 1", "link freed"}));
  EXPECT_EQ(link.Database(), nullptr);
  EXPECT_EQ(link.Transaction(), nullptr);
  EXPECT_EQ(t.DatabaseCount(), 0);
  EXPECT_EQ(t.DefaultDatabase(), nullptr);
}

TEST_F(database, create_sends_one_literal_name_and_the_clauses) {
  db->SetDBName("127.0.0.1:/data/o'brien.fdb");
  db->DBParams().Assign({"USER 'SYSDBA'", "PAGE_SIZE 4096"});
  db->CreateDatabase();
  EXPECT_TRUE(db->Connected());
  // A quote in the name is doubled so it cannot end the literal early.
  EXPECT_EQ(FakeServer::sql,
            "CREATE DATABASE '127.0.0.1:/data/o''brien.fdb' USER 'SYSDBA'\r\nPAGE_SIZE 4096\r\n");
  EXPECT_EQ(FakeServer::calls, std::vector<std::string>{"execute_immediate"}); // no events
  ExpectClientError([&] { db->CreateDatabase(); }, 13,
                    "Cannot perform operation -- DB is currently open.");
}

TEST_F(database, auto_reconnect_attaches_on_demand) {
  db->AutoReconnect = true;
  db->CheckConnected();
  EXPECT_TRUE(db->Connected());
  db->Close();
  FakeServer::attach_error = isc_login;
  EXPECT_NO_THROW(db->CheckConnected()); // failures are swallowed
  EXPECT_FALSE(db->Connected());
}

} // namespace
} // namespace nimbus
