#include "fib/transaction.h"

#include <gtest/gtest.h>

#include "fib/base.h"
#include "fib/database.h"
#include "fib/errors.h"
#include "fib/timer.h"
#include "tests/fib/database_fake_library.h"

namespace nimbus {
namespace {

using test::ExpectClientError;
using test::FakeServer;

class transaction : public test::FakeAttachmentTest {
protected:
  void SetUp() override {
    FakeAttachmentTest::SetUp();
    db->SetConnected(true);
    FakeServer::calls.clear();
  }
};

TEST_F(transaction, state_follows_each_way_of_ending) {
  struct Case {
    TTransactionAction action;
    TTransactionState during;
    bool active_after;
    const char* call;
  };
  const Case cases[] = {
      {TACommit, tsCommitting, false, "commit"},
      {TARollback, tsRollingBack, false, "rollback"},
      {TACommitRetaining, tsCommittingRetaining, true, "commit_retaining"},
      {TARollbackRetaining, tsRollingBackRetaining, true, "rollback_retaining"},
  };
  TTransactionState seen = tsInactive;
  const int token = tr->EndListeners.Add(
      [&](TFIBTransaction* t, TTransactionAction, bool) { seen = t->State(); });
  for (const Case& c : cases) {
    SCOPED_TRACE(c.call);
    if (!tr->Active())
      tr->StartTransaction();
    EXPECT_EQ(tr->State(), tsActive);
    FakeServer::calls.clear();
    tr->EndTransaction(c.action, false);
    EXPECT_EQ(seen, c.during);
    EXPECT_EQ(tr->Active(), c.active_after);
    EXPECT_EQ(tr->State(), c.active_after ? tsActive : tsInactive);
    EXPECT_EQ(FakeServer::calls, std::vector<std::string>{c.call});
  }
  tr->EndListeners.Remove(token); // `seen` goes before the transaction does
}

TEST_F(transaction, failed_commit_keeps_it_active_unless_forced) {
  tr->StartTransaction();
  FakeServer::commit_error = isc_lock_conflict;
  EXPECT_THROW(tr->Commit(), EFIBInterBaseError);
  EXPECT_TRUE(tr->Active());
  EXPECT_EQ(tr->State(), tsCommitting);

  FakeServer::calls.clear();
  FakeServer::rollback_error = isc_network_error;
  EXPECT_NO_THROW(tr->EndTransaction(TACommit, true));
  EXPECT_FALSE(tr->Active());
  EXPECT_EQ(tr->State(), tsInactive);
  // A forced end tries a rollback after the failed commit, then lets go.
  EXPECT_EQ(FakeServer::calls, (std::vector<std::string>{"commit", "rollback"}));
}

TEST_F(transaction, failed_commit_error_names_the_transaction) {
  tr->StartTransaction();
  FakeServer::commit_error = isc_lock_conflict;
  try {
    tr->Commit();
    FAIL();
  } catch (const EFIBInterBaseError& e) {
    EXPECT_EQ(e.StatusCode(), isc_lock_conflict);
    EXPECT_EQ(e.RaiserName(), "Form1.TransNimbus");
    EXPECT_EQ(e.Message().rfind("Form1.TransNimbus:\r\n", 0), 0u) << e.Message();
  }
}

TEST_F(transaction, timeout_action_ends_retaining_forms_for_good) {
  const std::pair<TTransactionAction, const char*> cases[] = {
      {TACommit, "commit"},
      {TACommitRetaining, "commit"},
      {TARollback, "rollback"},
      {TARollbackRetaining, "rollback"},
  };
  for (const auto& [action, call] : cases) {
    SCOPED_TRACE(call);
    tr->SetTimeoutAction(action);
    tr->StartTransaction();
    FakeServer::calls.clear();
    tr->EndByTimeoutAction();
    EXPECT_FALSE(tr->Active());
    EXPECT_EQ(FakeServer::calls, std::vector<std::string>{call});
  }
  FakeServer::calls.clear();
  tr->EndByTimeoutAction(); // inactive: nothing to do
  EXPECT_TRUE(FakeServer::calls.empty());
}

TEST_F(transaction, checks_refuse_with_their_texts) {
  ExpectClientError([&] { tr->Commit(); }, 15, "Form1.TransNimbus :Transaction is not active.");
  ExpectClientError([&] { tr->RollbackRetaining(); }, 15,
                    "Form1.TransNimbus :Transaction is not active.");
  tr->StartTransaction();
  ExpectClientError([&] { tr->TFIBTransaction::StartTransaction(); }, 16,
                    "Form1.TransNimbus :Transaction is active.");
  EXPECT_NO_THROW(tr->StartTransaction()); // the derived start returns quietly
  ExpectClientError([&] { tr->TRParams().Add("wait"); }, 16,
                    "Form1.TransNimbus :Transaction is active.");
  ExpectClientError([&] { tr->SetDefaultDatabase(nullptr); }, 16,
                    "Form1.TransNimbus :Transaction is active.");
  tr->Commit();

  TpFIBTransaction lonely(&pair_->form);
  lonely.SetName("Lonely");
  ExpectClientError([&] { lonely.StartTransaction(); }, 18,
                    "Form1.Lonely :No databases are listed in transaction component.");

  db->Close();
  ExpectClientError([&] { tr->StartTransaction(); }, 12,
                    "Form1.dbNimbus: Cannot perform operation -- DB is not open.");
  EXPECT_FALSE(tr->Active());
}

TEST_F(transaction, active_property_starts_and_rolls_back) {
  tr->SetActive(true);
  EXPECT_TRUE(tr->Active());
  tr->SetActive(false);
  EXPECT_FALSE(tr->Active());
  EXPECT_EQ(FakeServer::calls, (std::vector<std::string>{"start", "rollback"}));
}

TEST_F(transaction, presets_rewrite_the_lines_before_the_start_handler_runs) {
  struct Case {
    TTPBMode mode;
    std::vector<std::string> handler_lines; // empty: no handler
    std::string tpb;
  };
  const Case cases[] = {
      {tpbReadCommitted, {}, "\x03\x09\x07\x0f\x11"},
      {tpbRepeatableRead, {}, "\x03\x09\x07\x02"},
      {tpbDefault, {}, "\x03\x09\x07\x11\x0f"},
      {tpbReadCommitted,
       {"write", "wait", "rec_version", "read_committed"},
       "\x03\x09\x06\x11\x0f"},
  };
  for (const Case& c : cases) {
    tr->TPBMode = c.mode;
    tr->TRParams().Assign({"write", "nowait", "rec_version", "read_committed"});
    tr->BeforeStart = nullptr;
    if (!c.handler_lines.empty())
      tr->BeforeStart = [&](TComponent*) { tr->TRParams().Assign(c.handler_lines); };
    tr->StartTransaction();
    EXPECT_EQ(FakeServer::tpb, c.tpb);
    EXPECT_EQ(FakeServer::database_count, 1);
    tr->Commit();
  }
}

TEST_F(transaction, bad_lines_start_nothing_and_a_corrected_list_starts) {
  tr->TRParams().Assign({"write", "bogus"});
  EXPECT_THROW(tr->StartTransaction(), EFIBClientError);
  EXPECT_THROW(tr->StartTransaction(), EFIBClientError); // no stale block on retry
  EXPECT_FALSE(tr->Active());
  EXPECT_TRUE(FakeServer::calls.empty());
  tr->TRParams().Set(1, "nowait");
  tr->StartTransaction();
  EXPECT_EQ(FakeServer::tpb, "\x03\x09\x07");
}

TEST_F(transaction, failed_start_leaves_it_inactive) {
  FakeServer::start_error = isc_lock_conflict;
  EXPECT_THROW(tr->StartTransaction(), EFIBInterBaseError);
  EXPECT_FALSE(tr->Active());
  EXPECT_EQ(tr->State(), tsInactive);
  FakeServer::start_error = 0;
  tr->StartTransaction();
  EXPECT_TRUE(tr->Active());
}

TEST_F(transaction, events_run_around_start_and_end_in_order) {
  std::vector<std::string> order;
  auto note = [&](const char* what) {
    return [&order, what](TComponent*) { order.push_back(what); };
  };
  auto note_end = [&](const char* what) {
    return [&order, what](TFIBTransaction*, TTransactionAction, bool) { order.push_back(what); };
  };
  db->BeforeStartTransaction = note("db.BeforeStart");
  tr->BeforeStart = note("BeforeStart");
  tr->AfterStart = note("AfterStart");
  db->AfterStartTransaction = note("db.AfterStart");
  db->BeforeEndTransaction = note_end("db.BeforeEnd");
  tr->BeforeEnd = note_end("BeforeEnd");
  tr->AfterEnd = note_end("AfterEnd");
  db->AfterEndTransaction = note_end("db.AfterEnd");
  tr->StartListeners.Add([&](TFIBTransaction*) { order.push_back("start listener 1"); });
  tr->StartListeners.Add([&](TFIBTransaction*) { order.push_back("start listener 2"); });

  tr->StartTransaction();
  tr->Commit();
  EXPECT_EQ(order,
            (std::vector<std::string>{"db.BeforeStart", "BeforeStart", "start listener 2",
                                      "start listener 1", "AfterStart", "db.AfterStart",
                                      "db.BeforeEnd", "BeforeEnd", "AfterEnd", "db.AfterEnd"}));

  order.clear();
  tr->StartTransaction();
  order.clear();
  FakeServer::commit_error = isc_lock_conflict;
  EXPECT_THROW(tr->Commit(), EFIBInterBaseError);
  EXPECT_EQ(order, (std::vector<std::string>{"db.BeforeEnd", "BeforeEnd"}));
  FakeServer::commit_error = 0;
  tr->Commit(); // while the handlers' log still exists
}

TEST_F(transaction, destroying_an_active_one_ends_it_by_its_timeout_action) {
  auto* t = new TpFIBTransaction(&pair_->form);
  t->SetDefaultDatabase(db);
  t->TRParams().Assign({"read"});
  t->TPBMode = tpbDefault;
  t->SetTimeoutAction(TACommitRetaining);
  t->StartTransaction();
  bool ended_event = false;
  t->AfterEnd = [&](TFIBTransaction*, TTransactionAction action, bool force) {
    ended_event = action == TACommit && force;
  };
  FakeServer::calls.clear();
  delete t;
  EXPECT_EQ(FakeServer::calls, std::vector<std::string>{"commit"});
  EXPECT_TRUE(ended_event);
  EXPECT_EQ(db->FindTransaction(t), -1);
}

TEST_F(transaction, timeout_ends_it_after_two_idle_ticks) {
  tr->SetTimeout(100);
  auto* timer = dynamic_cast<TManualTimer*>(tr->TimeoutTimer());
  ASSERT_NE(timer, nullptr);
  EXPECT_EQ(timer->Interval(), 100u);
  EXPECT_FALSE(timer->Running());
  int timeouts = 0;
  tr->OnTimeout = [&](TComponent*) { ++timeouts; };

  tr->StartTransaction();
  EXPECT_TRUE(timer->Running());
  timer->Fire();
  EXPECT_TRUE(tr->IdleMarker());
  tr->CommitRetaining(); // activity clears the marker
  EXPECT_FALSE(tr->IdleMarker());
  timer->Fire();
  EXPECT_TRUE(tr->Active());
  timer->Fire();
  EXPECT_FALSE(tr->Active());
  EXPECT_FALSE(timer->Running());
  EXPECT_EQ(timeouts, 1);
  EXPECT_EQ(FakeServer::calls.back(), "commit");

  tr->SetTimeout(0);
  EXPECT_EQ(tr->TimeoutTimer(), nullptr);
}

TEST_F(transaction, databases_must_share_one_client_library) {
  TpFIBDatabase other(&pair_->form);
  other.SetName("dbOther");
  other.SetLibraryName("otherclient.so");
  try {
    tr->AddDatabase(&other);
    FAIL();
  } catch (const EFIBError&) {
    FAIL() << "a plain exception was expected";
  } catch (const Exception& e) {
    EXPECT_EQ(e.Message(),
              "Form1.TransNimbus.\r\nTransaction can't work with different client library.");
  }
  EXPECT_EQ(tr->DatabaseCount(), 1);
  EXPECT_EQ(other.FindTransaction(tr), -1);
  EXPECT_EQ(tr->AddDatabase(nullptr), -1);
  EXPECT_EQ(tr->AddDatabase(db), 0);
}

TEST_F(transaction, registry_links_both_sides_and_unlinks_both) {
  EXPECT_EQ(tr->MainDatabase(), db);
  EXPECT_GE(db->FindTransaction(tr), 0);

  TpFIBTransaction t2(&pair_->form);
  db->SetDefaultTransaction(&t2);
  db->SetDefaultUpdateTransaction(&t2);
  EXPECT_EQ(t2.DefaultDatabase(), db); // given the database it had none of
  EXPECT_EQ(t2.FindDatabase(db), 0);
  EXPECT_GE(db->FindTransaction(&t2), 0);

  t2.RemoveDatabase(0);
  EXPECT_EQ(t2.DefaultDatabase(), nullptr);
  EXPECT_EQ(db->DefaultTransaction(), nullptr);
  EXPECT_EQ(db->DefaultUpdateTransaction(), nullptr);
  EXPECT_EQ(db->FindTransaction(&t2), -1);

  db->SetDefaultTransaction(tr);
  db->RemoveTransaction(db->FindTransaction(tr));
  EXPECT_EQ(tr->DefaultDatabase(), nullptr);
  EXPECT_EQ(tr->DatabaseCount(), 0);
  EXPECT_EQ(db->DefaultTransaction(), nullptr);
  EXPECT_EQ(tr->MainDatabase(), nullptr);
}

TEST_F(transaction, moving_to_another_database_replaces_the_old_one) {
  TpFIBDatabase other(&pair_->form);
  other.SetLibraryName(db->LibraryName());
  tr->SetDefaultDatabase(&other);
  EXPECT_EQ(tr->DatabaseCount(), 1);
  EXPECT_EQ(tr->Databases(0), &other);
  EXPECT_EQ(db->FindTransaction(tr), -1);
  EXPECT_GE(other.FindTransaction(tr), 0);
}

TEST_F(transaction, refused_move_leaves_both_sides_as_they_were) {
  TpFIBDatabase second(&pair_->form), foreign(&pair_->form);
  second.SetLibraryName(db->LibraryName());
  foreign.SetLibraryName("otherclient.so");
  tr->AddDatabase(&second);
  EXPECT_THROW(tr->SetDefaultDatabase(&foreign), Exception);
  // Half a registration would leave `foreign` holding a transaction that
  // does not know it, and a dangling pointer once the transaction goes.
  EXPECT_EQ(foreign.FindTransaction(tr), -1);
  EXPECT_EQ(tr->DefaultDatabase(), db);
  EXPECT_GE(tr->FindDatabase(db), 0);
  EXPECT_GE(tr->FindDatabase(&second), 0);
  EXPECT_GE(db->FindTransaction(tr), 0);
}

TEST_F(transaction, ending_without_databases_is_an_error_not_a_crash) {
  tr->StartTransaction();
  tr->RemoveDatabase(0);
  try {
    tr->Commit();
    FAIL();
  } catch (const EFIBClientError& e) {
    EXPECT_EQ(e.SQLCode(), 18);
  }
}

TEST_F(transaction, start_and_end_reach_the_statement_links) {
  TFIBBase link(&pair_->form);
  link.SetTransaction(tr);
  std::vector<std::string> order;
  link.BeforeTransactionStart = [&](TFIBTransaction*) { order.push_back("before start"); };
  link.AfterTransactionStart = [&](TFIBTransaction*) { order.push_back("after start"); };
  link.BeforeTransactionEnd = [&](TFIBTransaction*) { order.push_back("before end"); };
  link.AfterTransactionEnd = [&](TFIBTransaction*) { order.push_back("after end"); };
  tr->EndedListeners.Add(
      [&](TFIBTransaction*, TTransactionAction, bool) { order.push_back("ended"); });
  tr->StartTransaction();
  tr->Rollback();
  EXPECT_EQ(order, (std::vector<std::string>{"before start", "after start", "before end",
                                             "after end", "ended"}));
}

} // namespace
} // namespace nimbus
