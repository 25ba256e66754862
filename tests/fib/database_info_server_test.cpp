#include "tests/fib/database_server_fixture.h"

#include <cmath>

namespace nimbus {
namespace {

class server_database_info : public test::ServerDatabaseTest {};

TEST_F(server_database_info, facts_of_a_fresh_iso8859_1_dialect_3_database) {
  CreateTestDatabase();
  db->SetConnected(true);
  EXPECT_TRUE(db->IsFirebird());
  EXPECT_TRUE(db->IsFirebirdServer());
  EXPECT_FALSE(db->IsNewInterBase());
  EXPECT_EQ(db->ServerMajor(), 3);
  EXPECT_EQ(db->ServerMinor(), 0);
  EXPECT_GE(db->ServerRelease(), 0);
  EXPECT_GT(db->ServerBuild(), 0);
  EXPECT_EQ(db->ODSMajorVersion(), 12);
  EXPECT_EQ(db->ODSMinorVersion(), 0);
  EXPECT_EQ(db->DatabaseSQLDialect(), 3);
  EXPECT_EQ(db->AttachmentCharsetId(), 21); // ISO8859_1
  EXPECT_GT(db->AttachmentId(), 0);
  EXPECT_TRUE(db->IsFirebird21OrLater());
  EXPECT_FALSE(db->IsUnicodeCharset());
  EXPECT_FALSE(db->IsUnicodeOrNoneCharset());
  EXPECT_FALSE(db->UTF8Metadata());
  EXPECT_EQ(db->UnicodeCharsets(), (std::set<int>{3, 4}));
}

TEST_F(server_database_info, every_attachment_is_one_user_name) {
  CreateTestDatabase();
  db->SetConnected(true);
  EXPECT_EQ(db->AttachedUserNames(), std::vector<std::string>{test::ServerUser()});
  TpFIBDatabase second, third;
  for (TpFIBDatabase* other : {&second, &third}) {
    other->SetLibraryName(kLibrary);
    other->SetDBName(DatabaseName());
    SetAttachLines(*other);
    other->SetConnected(true);
  }
  EXPECT_EQ(db->AttachedUserNames(), std::vector<std::string>(3, test::ServerUser()));
  third.Close();
  EXPECT_EQ(second.AttachedUserNames().size(), 2u);
}

TEST_F(server_database_info, server_clock_and_query_values) {
  CreateTestDatabase();
  db->SetConnected(true);
  // Server and test run on one machine: the offset is only the query's time.
  EXPECT_LT(std::abs(db->ServerTimeOffset()), 1.0 / 86400);
  EXPECT_LT(std::abs(Now().Value - db->ServerTime().Value), 1.0 / 86400);
  EXPECT_FALSE(db->InternalTransaction().Active());

  EXPECT_EQ(db->QueryValues("SELECT 1, 'x', CAST('abc' AS BLOB SUB_TYPE TEXT) FROM RDB$DATABASE"),
            (std::vector<TVariant>{TVariant(int32_t{1}), TVariant(std::string("x")),
                                   TVariant(std::string("abc"))}));
  EXPECT_EQ(db->QueryValue("SELECT MON$SQL_DIALECT FROM MON$DATABASE", 0), TVariant(int32_t{3}));
  EXPECT_THROW(db->QueryValue("SELECT NO_SUCH_COLUMN FROM RDB$DATABASE", 0), EFIBInterBaseError);
  EXPECT_FALSE(db->InternalTransaction().Active());
}

} // namespace
} // namespace nimbus
