#include "tests/fib/database_server_fixture.h"

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

} // namespace
} // namespace nimbus
