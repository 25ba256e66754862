// CONNECT, RECONNECT, CREATE and DROP DATABASE carried out by the runner on
// the caller's attachment or on one of its own.
#include <stdexcept>

#include "platform/text.h"
#include "tests/script/runner_server_fixture.h"
#include "tests/support/product_database.h"

namespace nimbus::test {
namespace {

class database_commands : public RunnerServerTest {
protected:
  static std::string Login() {
    return " USER '" + ServerUser() + "' PASSWORD '" + ServerPassword() + "'";
  }
  std::string Path() const { return DatabaseName().substr(ServerAddress().size() + 1); }
  // The runner's attachment back on the test database, as the step leaves it.
  void Reattach() {
    db->Close();
    db->SetDBName(DatabaseName());
    SetAttachLines(*db);
    db->SetConnected(true);
  }
  // Every parameter line is name=value: none is a statement clause.
  bool OnlyParameterLines() const {
    for (const std::string& line : db->DBParams().Lines())
      if (line.find('=') == std::string::npos)
        return false;
    return true;
  }
};

TEST_F(database_commands, drop_of_the_run_database_is_refused_in_every_spelling) {
  const std::string path = Path();
  const std::string file = path.substr(path.rfind('/') + 1);
  const std::pair<std::string, const char*> cases[] = {
      {"DROP DATABASE;", "needs the name"},
      {"DROP DATABASE 'localhost:" + path + "';", "refused"},
      {"DROP DATABASE '127.0.0.1/3050:" + path + "';", "refused"},
      {"DROP DATABASE '127.0.0.1:" + ServerDataFolder() + "/../" +
           ServerDataFolder().substr(ServerDataFolder().rfind('/') + 1) + "/" + file + "';",
       "refused"},
      {"DROP DATABASE '" + DatabaseName() + "'" + Login() + ";", "refused"},
  };
  for (const auto& [script, expected] : cases) {
    SCOPED_TRACE(script);
    Reattach();
    try {
      Run(script);
      ADD_FAILURE() << "no error";
    } catch (const std::runtime_error& e) {
      EXPECT_NE(std::string(e.what()).find(expected), std::string::npos) << e.what();
    }
    EXPECT_EQ(QueryIntAt(DatabaseName(), "SELECT COUNT(*) FROM MON$DATABASE"), 1);
    EXPECT_TRUE(db->Connected()) << "refused before the attachment moves";
  }
}

TEST_F(database_commands, connect_takes_the_run_settings_and_leaving_commits_first) {
  Run("SET SQL DIALECT 1;\nCONNECT '" + DatabaseName() + "'" + Login() +
      ";\nCREATE TABLE T (N INTEGER);\n"
      "INSERT INTO T (N) VALUES (1);\nRECONNECT;\nROLLBACK;\n"
      "INSERT INTO T (N) VALUES (2);\nDISCONNECT;\nINSERT INTO T (N) VALUES (3);\n");
  EXPECT_EQ(db->SQLDialect(), 1);
  EXPECT_EQ(db->LibraryName(), "gds32.dll");
  EXPECT_EQ(db->DBParams().FindParamLine("lc_ctype"), -1) << "no SET NAMES in this run";
  EXPECT_TRUE(scripter->CallerAttachmentChanged());
  ASSERT_EQ(errors.size(), 1u) << ErrorList();
  EXPECT_EQ(errors[0].StatementNo, 9) << "the statement after DISCONNECT";
  EXPECT_EQ(QueryIntAt(DatabaseName(), "SELECT COUNT(*) FROM T"), 2);

  Reattach();
  Run("SELECT 1 FROM RDB$DATABASE;");
  EXPECT_EQ(scripter->Dialect(), 3);
  EXPECT_FALSE(scripter->CallerAttachmentChanged());
}

TEST_F(database_commands, a_failed_connect_is_reported_and_the_run_goes_on_detached) {
  Run("SELECT 1 FROM RDB$DATABASE;\nCONNECT '" + ServerAddress() +
      ":/nimbus-missing-folder/x.fdb'" + Login() + ";\nSELECT 1 FROM RDB$DATABASE;\n");
  ASSERT_EQ(errors.size(), 2u) << ErrorList();
  EXPECT_EQ(errors[0].StatementNo, 2);
  EXPECT_EQ(errors[0].Line, 2);
  EXPECT_EQ(errors[1].StatementNo, 3) << "not attached any more";
  EXPECT_FALSE(db->Connected());
}

TEST_F(database_commands, connect_without_a_database_works_on_an_attachment_of_its_own) {
  auto* own = new TpFIBScripter(&form);
  own->Script().SetText("CONNECT '" + DatabaseName() + "'" + Login() +
                        ";\nCREATE TABLE T (N INTEGER);\nINSERT INTO T (N) VALUES (1);\n");
  own->ParseScript(";");
  own->RunScript(1);
  EXPECT_EQ(own->Database(), nullptr);
  EXPECT_FALSE(own->OwnsDatabase());
  EXPECT_FALSE(own->CallerAttachmentChanged());
  EXPECT_EQ(QueryIntAt(DatabaseName(), "SELECT COUNT(*) FROM T"), 1) << "committed at the end";
}

TEST_F(database_commands, a_created_database_gets_forced_writes_back_once) {
  ScratchDatabase scratch;
  Run("CREATE DATABASE '" + scratch.Name() + "'" + Login() +
      ";\nCREATE TABLE T (N INTEGER);\n"
      "INSERT INTO T (N) SELECT MON$FORCED_WRITES FROM MON$DATABASE;\n");
  EXPECT_EQ(ErrorList(), "");
  EXPECT_TRUE(scripter->CallerAttachmentChanged());
  EXPECT_FALSE(scripter->ForceWriteChanged());
  EXPECT_TRUE(OnlyParameterLines());
  EXPECT_EQ(scratch.QueryInt("SELECT N FROM T"), 0) << "filled with forced writes off";
  EXPECT_EQ(scratch.QueryInt("SELECT MON$FORCED_WRITES FROM MON$DATABASE"), 1);

  // A later run elsewhere leaves that database's setting alone.
  db->Close();
  SetForcedWrites(DatabaseName(), false);
  Reattach();
  Run("CREATE TABLE U (N INTEGER);");
  EXPECT_FALSE(scripter->CallerAttachmentChanged());
  EXPECT_EQ(QueryIntAt(DatabaseName(), "SELECT MON$FORCED_WRITES FROM MON$DATABASE"), 0);
  db->Close();
}

TEST_F(database_commands, an_error_leaving_the_run_rolls_the_created_database_back) {
  ScratchDatabase scratch;
  EXPECT_THROW(Run("CREATE DATABASE '" + scratch.Name() + "'" + Login() +
                   ";\nCREATE TABLE T (N INTEGER);\nINSERT INTO T (N) VALUES (1);\n"
                   "DESCRIBE INDEX X;\n"),
               std::runtime_error);
  EXPECT_FALSE(scripter->ForceWriteChanged());
  EXPECT_EQ(scratch.QueryInt("SELECT COUNT(*) FROM T"), 0);
  EXPECT_EQ(scratch.QueryInt("SELECT MON$FORCED_WRITES FROM MON$DATABASE"), 1);
  db->Close();
}

TEST_F(database_commands, a_failed_creation_keeps_no_clause_and_shows_no_password) {
  const std::string password = ServerPassword();
  // The server names the character set it cannot find: here the password.
  ScratchDatabase scratch;
  Run("CREATE DATABASE '" + scratch.Name() + "'" + Login() + " DEFAULT CHARACTER SET " + password +
      ";\n");
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_EQ(errors[0].StatementNo, 1);
  EXPECT_TRUE(errors[0].Msg.find(password) == std::string::npos) << "the password shown";
  EXPECT_NE(errors[0].Msg.find("****"), std::string::npos);
  EXPECT_TRUE(db->DBParams().Empty());
}

} // namespace
} // namespace nimbus::test
