#include "fib/database.h"

#include <gtest/gtest.h>

#include "fib/errors.h"
#include "tests/fib/database_fake_library.h"

namespace nimbus {
namespace {

using test::ExpectClientError;
using test::FakeServer;

class database_info : public test::FakeAttachmentTest {};

std::string Bytes(std::initializer_list<int> bytes) {
  std::string result;
  for (int b : bytes)
    result += static_cast<char>(b);
  return result;
}

TEST(server_version, parts_of_the_version_text) {
  struct Case {
    const char* text;
    TServerVersion parts;
  } cases[] = {
      {"WI-V2.1.3.456 Firebird 2.1", {2, 1, 3, 456}},
      {"LI-V3.0.11.33637 Firebird 3.0", {3, 0, 11, 33637}},
      {"LI-V6.3.11.33637 Firebird 3.0", {6, 3, 11, 33637}},
      // The last character ends the scan before the build is stored.
      {"WI-V2.1.3.456", {2, 1, 3, -1}},
      {"WI-V8..5 x", {8, 0, 5, -1}},
      {"WI-V99999999999.1 x", {2147483647, 1, -1, -1}},
      {"WI-V", {-1, -1, -1, -1}},
      {"WI-V5", {-1, -1, -1, -1}},
      {"W", {-1, -1, -1, -1}},
      {"", {-1, -1, -1, -1}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    const TServerVersion v = ParseServerVersion(c.text);
    EXPECT_EQ(v.Major, c.parts.Major);
    EXPECT_EQ(v.Minor, c.parts.Minor);
    EXPECT_EQ(v.Release, c.parts.Release);
    EXPECT_EQ(v.Build, c.parts.Build);
  }
}

TEST_F(database_info, facts_of_a_firebird_3_attachment) {
  db->SetConnected(true);
  EXPECT_TRUE(db->IsFirebird());
  EXPECT_TRUE(db->IsFirebirdServer());
  EXPECT_FALSE(db->IsNewInterBase());
  EXPECT_EQ(db->FirebirdVersionText(), "LI-V3.0.11.33637 Firebird 3.0");
  EXPECT_EQ(db->ServerVersionText(), "LI-V6.3.11.33637 Firebird 3.0");
  EXPECT_EQ(db->ServerMajor(), 3);
  EXPECT_EQ(db->ServerMinor(), 0);
  EXPECT_EQ(db->ServerRelease(), 11);
  EXPECT_EQ(db->ServerBuild(), 33637);
  EXPECT_EQ(db->ODSMajorVersion(), 12);
  EXPECT_EQ(db->ODSMinorVersion(), 0);
  EXPECT_EQ(db->DatabaseSQLDialect(), 3);
  EXPECT_EQ(db->AttachmentCharsetId(), 21);
  EXPECT_EQ(db->AttachmentId(), 42);
  EXPECT_TRUE(db->IsFirebird21OrLater());
  EXPECT_FALSE(db->IsUnicodeCharset());
  EXPECT_FALSE(db->IsUnicodeOrNoneCharset());
  EXPECT_FALSE(db->UTF8Metadata());
  EXPECT_EQ(db->UnicodeCharsets(), (std::set<int>{3, 4}));
  EXPECT_EQ(db->AttachedUserNames(), std::vector<std::string>{"SYSDBA"});
}

// Facts of one server and attachment character set.
struct FactsCase {
  const char* label;
  std::vector<std::string> firebird_version; // empty: the item is not answered
  std::string server_version;
  int ods_major, ods_minor, charset_id; // -1: not answered
  const char* lc_ctype;
  bool unicode, none, utf8_metadata, firebird21, new_interbase;
};

TEST_F(database_info, facts_follow_the_server_and_the_character_set) {
  const FactsCase cases[] = {
      {"Firebird 2.5, ISO8859_1, ODS 11.2",
       {"WI-V2.5.9.27139 Firebird 2.5"},
       "",
       11,
       2,
       21,
       "ISO8859_1",
       false,
       false,
       false,
       true,
       false},
      {"Firebird 2.1, UTF8, ODS 11.1",
       {"WI-V2.1.3.18185 Firebird 2.1"},
       "",
       11,
       1,
       4,
       "UTF8",
       true,
       false,
       true,
       true,
       false},
      {"Firebird 2.1, UTF8, ODS 11.0",
       {"WI-V2.1.3.18185 Firebird 2.1"},
       "",
       11,
       0,
       4,
       "UTF8",
       true,
       false,
       false,
       true,
       false},
      {"Firebird 2.0, UTF8, ODS 11.0",
       {"WI-V2.0.7.13318 Firebird 2.0"},
       "",
       11,
       0,
       4,
       "UTF8",
       true,
       false,
       false,
       false,
       false},
      {"Firebird 3, NONE, ODS 12.0",
       {"LI-V3.0.11.33637 Firebird 3.0"},
       "",
       12,
       0,
       0,
       "NONE",
       false,
       true,
       true,
       true,
       false},
      // Without the attachment's character set id nothing is Unicode.
      {"Firebird 3, id not answered",
       {"LI-V3.0.11.33637 Firebird 3.0"},
       "",
       12,
       0,
       -1,
       "UTF8",
       false,
       false,
       false,
       true,
       false},
      // Before Firebird 2 the facts come from the lc_ctype line.
      {"Firebird 1.5, UTF8 line",
       {"WI-V1.5.6.5026 Firebird 1.5"},
       "",
       10,
       1,
       4,
       "UTF8",
       true,
       false,
       false,
       false,
       false},
      {"InterBase 2007, no line",
       {},
       "WI-V8.1.0.257",
       11,
       0,
       21,
       "",
       false,
       true,
       false,
       false,
       true},
      {"InterBase 6, UNICODE_FSS line",
       {},
       "WI-V6.0.1.6 x",
       10,
       0,
       3,
       "UNICODE_FSS",
       true,
       false,
       false,
       false,
       false},
  };
  for (const FactsCase& c : cases) {
    SCOPED_TRACE(c.label);
    db->Close();
    auto& replies = FakeServer::info_replies;
    replies = FakeServer::Firebird3Replies();
    replies.erase(isc_info_firebird_version);
    if (!c.firebird_version.empty())
      replies[isc_info_firebird_version] =
          FakeServer::TextItem(isc_info_firebird_version, c.firebird_version);
    replies[isc_info_version] = FakeServer::TextItem(isc_info_version, {c.server_version});
    replies[isc_info_ods_version] = FakeServer::IntItem(isc_info_ods_version, c.ods_major);
    replies[isc_info_ods_minor_version] =
        FakeServer::IntItem(isc_info_ods_minor_version, c.ods_minor);
    if (c.charset_id < 0)
      replies.erase(frb_info_att_charset);
    else
      replies[frb_info_att_charset] = FakeServer::IntItem(frb_info_att_charset, c.charset_id);
    db->DBParams().Assign({"user_name=SYSDBA", "password=secret"});
    db->ConnectParams().SetCharSet(c.lc_ctype);

    db->SetConnected(true);
    EXPECT_EQ(db->IsFirebird(), !c.firebird_version.empty());
    EXPECT_EQ(db->CharsetIsUnicode(), c.unicode);
    EXPECT_EQ(db->IsUnicodeCharset(), c.unicode);
    EXPECT_EQ(db->CharsetIsNone(), c.none);
    EXPECT_EQ(db->IsUnicodeOrNoneCharset(), c.unicode || c.none);
    EXPECT_EQ(db->UTF8Metadata(), c.utf8_metadata);
    EXPECT_EQ(db->IsFirebird21OrLater(), c.firebird21);
    EXPECT_EQ(db->IsNewInterBase(), c.new_interbase);
  }
}

TEST_F(database_info, unicode_charsets_and_ids) {
  EXPECT_EQ(db->UnicodeCharsets(), std::set<int>{3}); // detached
  FakeServer::info_replies.erase(isc_info_firebird_version);
  FakeServer::info_replies[isc_info_version] =
      FakeServer::TextItem(isc_info_version, {"WI-V8.1.0.257 x"});
  db->ConnectParams().SetCharSet("UTF8");
  db->SetConnected(true);
  EXPECT_EQ(db->UnicodeCharsets(), (std::set<int>{3, 8, 59, 64}));
  // Unicode text without Unicode metadata: every id above 1 counts.
  const std::pair<int, bool> text_only[] = {{0, false}, {1, false}, {2, true}, {300, true}};
  for (auto [id, unicode] : text_only) {
    SCOPED_TRACE(id);
    EXPECT_EQ(db->IsUnicodeCharsetId(id), unicode);
  }
  db->Close();
  FakeServer::info_replies = FakeServer::Firebird3Replies();
  FakeServer::info_replies[frb_info_att_charset] = FakeServer::IntItem(frb_info_att_charset, 4);
  db->SetConnected(true);
  ASSERT_TRUE(db->UTF8Metadata());
  const std::pair<int, bool> with_metadata[] = {{3, true}, {4, true}, {8, false}, {259, false}};
  for (auto [id, unicode] : with_metadata) {
    SCOPED_TRACE(id);
    EXPECT_EQ(db->IsUnicodeCharsetId(id), unicode);
  }
}

TEST_F(database_info, detached_questions) {
  const std::string not_open = "Form1.dbNimbus: Cannot perform operation -- DB is not open.";
  ExpectClientError([&] { db->ServerMajor(); }, 12, not_open);
  ExpectClientError([&] { db->ServerBuild(); }, 12, not_open);
  ExpectClientError([&] { db->IsFirebirdServer(); }, 12, not_open);
  EXPECT_EQ(db->AttachmentId(), -1);
  EXPECT_THROW(db->ODSMajorVersion(), EFIBInterBaseError);
  EXPECT_THROW(db->AttachedUserNames(), EFIBInterBaseError);
  db->DBParams().Assign({"user_name=SYSDBA"});
  EXPECT_FALSE(db->IsUnicodeCharset());
  EXPECT_TRUE(db->IsUnicodeOrNoneCharset());
  db->ConnectParams().SetCharSet("utf8");
  EXPECT_TRUE(db->IsUnicodeCharset());
}

TEST_F(database_info, unanswered_items_give_their_fallbacks) {
  FakeServer::info_replies.clear();
  FakeServer::info_replies[isc_info_db_sql_dialect] = Bytes({isc_info_end});
  db->SetConnected(true);
  EXPECT_EQ(db->DatabaseSQLDialect(), 1);
  EXPECT_EQ(db->AttachmentCharsetId(), -1);
  EXPECT_EQ(db->ODSMajorVersion(), -1);
  EXPECT_EQ(db->AttachmentId(), -1);
  EXPECT_EQ(db->FirebirdVersionText(), "");
  EXPECT_FALSE(db->IsFirebird());
  EXPECT_EQ(db->ServerMajor(), -1);
  EXPECT_TRUE(db->AttachedUserNames().empty());
}

TEST_F(database_info, malformed_text_replies_give_no_text) {
  const int item = isc_info_firebird_version;
  const std::pair<const char*, std::string> cases[] = {
      {"another item", Bytes({isc_info_version, 7, 0, 1, 5}) + "LI-V3"},
      {"no strings", Bytes({item, 1, 0, 0})},
      {"string longer than the item", Bytes({item, 3, 0, 1, 200}) + "LI"},
      {"item longer than the buffer", Bytes({item, 0xFF, 0xFF, 1, 255}) + std::string(255, 'x')},
      {"item byte only", Bytes({item})},
      {"truncated", Bytes({isc_info_truncated})},
  };
  for (const auto& [label, reply] : cases) {
    SCOPED_TRACE(label);
    db->Close();
    FakeServer::info_replies[item] = reply;
    db->SetConnected(true);
    EXPECT_EQ(db->FirebirdVersionText(), "");
    EXPECT_FALSE(db->IsFirebird());
  }
  // A string that exactly fills its item is taken whole.
  FakeServer::info_replies[item] = Bytes({item, 6, 0, 1, 4}) + "LI-V";
  EXPECT_EQ(db->FirebirdVersionText(), "LI-V");
}

TEST_F(database_info, malformed_integer_replies_give_the_fallback) {
  const int item = frb_info_att_charset;
  for (const std::string& reply :
       {Bytes({item, 0xFF, 0xFF, 1, 2}), Bytes({item, 5, 0, 1, 2}), Bytes({item, 0xFF, 0x7F})}) {
    FakeServer::info_replies[item] = reply;
    db->SetConnected(true);
    EXPECT_EQ(db->AttachmentCharsetId(), -1);
    db->Close();
  }
}

TEST_F(database_info, user_names_walk_stays_inside_the_reply) {
  const int u = isc_info_user_names;
  const std::string three = FakeServer::UserNames({"SYSDBA", "ALICE", "BOB"});
  const std::string filled = [&] {
    // Entries up to the buffer's last byte, with no end marker after them.
    std::string reply;
    while (reply.size() + 259 <= 20480)
      reply += Bytes({u, 0, 1, 255}) + std::string(255, 'n');
    const std::size_t rest = 20480 - reply.size() - 4;
    return reply + Bytes({u, static_cast<int>(rest + 1), 0, static_cast<int>(rest)}) +
           std::string(rest, 'r');
  }();
  const struct {
    const char* label;
    std::string reply;
    std::vector<std::string> names;
  } cases[] = {
      {"three", three, {"SYSDBA", "ALICE", "BOB"}},
      {"an empty name", FakeServer::UserNames({"", "X"}), {"", "X"}},
      {"none", Bytes({isc_info_end}), {}},
      {"cut by isc_info_truncated",
       FakeServer::UserNames({"A", "B"}).substr(0, 10) + Bytes({isc_info_truncated}),
       {"A", "B"}},
      {"name longer than its entry", Bytes({u, 2, 0, 9}) + "SYSDBA", {}},
      {"entry past the buffer",
       "\x35\xFF\xFF\x05"
       "ALICE",
       {}},
      {"name past the buffer", Bytes({u, 0xFF, 0x7F, 0xFF}) + "A", {}},
      {"entry header cut", Bytes({u, 2, 0}), {}},
      {"entry longer than its name", Bytes({u, 3, 0, 1}) + "AB" + three, {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    FakeServer::info_replies[u] = c.reply;
    db->SetConnected(true);
    EXPECT_EQ(db->AttachedUserNames(), c.names);
    db->Close();
  }
  FakeServer::info_replies[u] = filled;
  db->SetConnected(true);
  const std::vector<std::string>& names = db->AttachedUserNames();
  ASSERT_EQ(names.size(), 20480u / 259 + 1);
  EXPECT_EQ(names.back(), std::string(20480 - (20480 / 259) * 259 - 4, 'r'));
}

TEST_F(database_info, a_failure_after_the_attach_leaves_it_detached) {
  const std::vector<std::string> quick = {"attach", "detach"};
  // The server time ran (and its transaction ended) before the facts.
  const std::vector<std::string> timed = {"attach", "start", "commit", "detach"};
  const struct {
    const char* step;
    int item;
    ISC_STATUS* statement_error;
    std::vector<std::string> calls;
  } cases[] = {
      {"attachment id", isc_info_attachment_id, nullptr, quick},
      {"dialect", isc_info_db_sql_dialect, nullptr, quick},
      {"server time", 0, &FakeServer::prepare_error, timed},
      {"Firebird version", isc_info_firebird_version, nullptr, timed},
      {"character set", frb_info_att_charset, nullptr, timed},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.step);
    FakeServer::calls.clear();
    FakeServer::info_error_item = c.item;
    FakeServer::info_error = isc_network_error;
    if (c.statement_error)
      *c.statement_error = isc_network_error;
    EXPECT_THROW(db->SetConnected(true), EFIBInterBaseError);
    EXPECT_FALSE(db->Connected());
    EXPECT_FALSE(db->InternalTransaction().Active());
    EXPECT_EQ(FakeServer::calls, c.calls);
    EXPECT_EQ(db->AttachmentId(), -1);
    // Without raising, too.
    EXPECT_NO_THROW(db->OpenAttachment(false));
    EXPECT_FALSE(db->Connected());
    if (c.statement_error)
      *c.statement_error = 0;
  }
  FakeServer::info_error = 0;
  db->SetConnected(true);
  EXPECT_TRUE(db->Connected());
}

TEST_F(database_info, create_reads_the_firebird_facts_and_a_failure_detaches) {
  db->DBParams().Assign({"USER 'SYSDBA'", "PAGE_SIZE 4096"});
  FakeServer::info_replies[frb_info_att_charset] = FakeServer::IntItem(frb_info_att_charset, 4);
  db->CreateDatabase();
  EXPECT_TRUE(db->IsFirebird());
  EXPECT_TRUE(db->CharsetIsUnicode());
  EXPECT_TRUE(db->UTF8Metadata());
  db->Close();
  FakeServer::calls.clear();
  FakeServer::info_error_item = isc_info_firebird_version;
  FakeServer::info_error = isc_network_error;
  EXPECT_THROW(db->CreateDatabase(), EFIBInterBaseError);
  EXPECT_FALSE(db->Connected());
  EXPECT_EQ(FakeServer::calls, (std::vector<std::string>{"execute_immediate", "detach"}));
}

TEST_F(database_info, version_is_read_again_after_each_attach) {
  db->SetConnected(true);
  EXPECT_EQ(db->ServerRelease(), 11);
  db->Close();
  // A shorter text holds no release: the previous server's must not show.
  FakeServer::info_replies[isc_info_firebird_version] =
      FakeServer::TextItem(isc_info_firebird_version, {"WI-V2.5 x"});
  db->SetConnected(true);
  EXPECT_EQ(db->ServerMajor(), 2);
  EXPECT_EQ(db->ServerMinor(), 5);
  EXPECT_EQ(db->ServerRelease(), -1);
  EXPECT_EQ(db->ServerBuild(), -1);
}

// The scripted statement answers every query with 2000-01-01 12:00.
TEST_F(database_info, server_time_and_its_offset) {
  const double noon = EncodeDateTime({2000, 1, 1, 12, 0, 0, 0}).Value;
  const double before = Now().Value;
  db->SetConnected(true);
  const double after = Now().Value;
  EXPECT_EQ(FakeServer::prepared_sql, "SELECT CAST('NOW' AS TIMESTAMP) from RDB$DATABASE\r\n");
  EXPECT_GE(db->ServerTimeOffset(), before - noon);
  EXPECT_LE(db->ServerTimeOffset(), after - noon);
  EXPECT_FALSE(db->InternalTransaction().Active());
  EXPECT_EQ(db->ServerTime().Value, noon);
  db->Close();

  FakeServer::dialect = 1;
  db->SynchronizeTime = false;
  db->SetConnected(true);
  EXPECT_EQ(db->ServerTimeOffset(), 0);
  EXPECT_EQ(db->ServerTime().Value, noon);
  EXPECT_EQ(FakeServer::prepared_sql, "SELECT CAST('NOW' AS DATE) from RDB$DATABASE\r\n");

  FakeServer::columns[0].null = true;
  ExpectClientError([&] { db->ServerTime(); }, 33, "Invalid data conversion.");
}

TEST_F(database_info, query_value_commits_the_internal_transaction_it_uses) {
  db->SynchronizeTime = false;
  db->SetConnected(true);
  FakeServer::columns = {FakeServer::Var{SQL_LONG + 1, 4, 0, 0, "A", Bytes({7, 0, 0, 0})},
                         FakeServer::Var{SQL_LONG + 1, 4, 0, 0, "B", Bytes({8, 0, 0, 0})}};
  FakeServer::calls.clear();
  EXPECT_EQ(db->QueryValue("SELECT A, B FROM T", 1), TVariant(int32_t{8}));
  EXPECT_EQ(db->QueryValues("SELECT A, B FROM T"),
            (std::vector<TVariant>{TVariant(int32_t{7}), TVariant(int32_t{8})}));
  EXPECT_EQ(FakeServer::calls, (std::vector<std::string>{"start", "commit", "start", "commit"}));
  ExpectClientError([&] { db->QueryValue("SELECT A, B FROM T", 2); }, 41,
                    "Field \"Field No: 2\" not found.");
  EXPECT_FALSE(db->InternalTransaction().Active());

  // A given transaction is the caller's to end.
  tr->StartTransaction();
  FakeServer::calls.clear();
  EXPECT_EQ(db->QueryValue("SELECT A, B FROM T", 0, tr), TVariant(int32_t{7}));
  EXPECT_TRUE(tr->Active());
  EXPECT_TRUE(FakeServer::calls.empty());

  // A failure still commits the internal transaction, and is the one raised.
  FakeServer::execute_error = isc_lock_conflict;
  FakeServer::commit_error = isc_network_error;
  try {
    db->QueryValue("SELECT A, B FROM T", 0);
    ADD_FAILURE() << "no error";
  } catch (const EFIBInterBaseError& e) {
    EXPECT_EQ(e.StatusCode(), isc_lock_conflict);
  }
  EXPECT_EQ(FakeServer::calls, (std::vector<std::string>{"start", "commit"}));
  FakeServer::commit_error = 0;
  FakeServer::execute_error = 0;
  db->QueryValue("SELECT A, B FROM T", 0);
  EXPECT_FALSE(db->InternalTransaction().Active());
}

} // namespace
} // namespace nimbus
