// The connection procedure against the test server: the password probe, the
// three attempts, the question about other users and its refusal.
#include <gtest/gtest.h>

#include "app/password_candidate.h"
#include "platform/os.h"
#include "platform/text.h"
#include "tests/app/run_fixture.h"
#include "tests/support/product_database.h"
#include "tests/support/test_server.h"

namespace nimbus::test {
namespace {

// The log file exists as after the run description was read.
TForm1& FormFor(RunFixture& run, const std::string& address, const std::string& alias) {
  TForm1& form = run.Form();
  form.State.StationSettings.ServerAddress = address;
  form.State.StationSettings.DatabaseAlias = alias;
  form.State.ProgramFilesFolder = run.ProgramFiles();
  run.dir.Write("bin/Log101226-140305.txt", "");
  return form;
}

TEST(connection, the_probe_finds_the_server_password_after_refusing_two) {
  RunFixture run;
  TForm1& form = FormFor(run, "127.0.0.1", "unused");
  std::int32_t index = -1;
  ASSERT_TRUE(form.ProbeAdminPassword(index));
  EXPECT_EQ(index, 0) << "the test server takes the fallback password";
  EXPECT_TRUE(PasswordCandidate(index) == ServerPassword());
  EXPECT_EQ(run.Log(), "") << "the probe logs nothing";
  EXPECT_TRUE(run.Memo().empty());
}

TEST(connection, attaches_once_moves_the_window_and_then_returns_at_once) {
  ProductDatabase database;
  RunFixture run;
  TForm1& form = FormFor(run, "127.0.0.1", database.Path());
  ASSERT_TRUE(form.ConnectDatabase());
  EXPECT_TRUE(form.dbNimbus->Connected());
  EXPECT_EQ(form.dbNimbus->DBName(), database.Name());
  EXPECT_TRUE(form.dbNimbus->DBParams().Lines() ==
              (Lines{"user_name=SYSDBA", "password=" + ServerPassword(), "lc_ctype=ISO8859_1"}));
  const std::string connecting = "14:03:05---Connexion DB \"" + database.Name() + "\"";
  EXPECT_EQ(run.Memo(), Lines{connecting});
  EXPECT_EQ(run.Log(), Joined({connecting, "lib \"libfbclient.so.2\")"}));
  EXPECT_EQ(run.ui.SplashTexts, (Lines{Ansi("Connexion à la base de données..."),
                                       Ansi("Connexion à la base de données (1)...")}));
  EXPECT_EQ(form.Window().Top(), -80);
  EXPECT_TRUE(run.ui.Dialogs.empty()) << "the only user: no question";

  ASSERT_TRUE(form.ConnectDatabase());
  EXPECT_EQ(run.Memo().size(), 1u);
  EXPECT_EQ(run.ui.SplashTexts.size(), 2u);
  EXPECT_EQ(form.Window().Top(), -80);
}

TEST(connection, no_client_library_logs_four_times_and_fails_three_attempts) {
  struct Case {
    const char* address;
    const char* alias;
    const char* name;
    bool missingFileLine;
  };
  // No server is reached without a library, whatever the names.
  const Case cases[] = {
      {"127.0.0.1", "/srv/base.fdb", "127.0.0.1:/srv/base.fdb", false},
      {" \t", "", "127.0.0.1:nimbus_gestion", false},
      {"127.0.0.9", "C:\\Data\\Base.fdb", "127.0.0.9:C:\\Data\\Base.fdb", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    RunFixture run;
    run.systemLibrary.clear();
    TForm1& form = FormFor(run, c.address, c.alias);
    const std::uint32_t start = run.ui.TickCount();
    EXPECT_FALSE(form.ConnectDatabase());
    EXPECT_GE(run.ui.TickCount() - start, 3000u) << "a one-second pause after each attempt";

    const std::string missing = "14:03:05" + Ansi(" *** fbclient.dll non trouvé.");
    Lines shown;
    if (c.missingFileLine)
      shown.push_back(Ansi("14:03:05 erreur: fichier base non présent"));
    shown.push_back(missing);
    shown.push_back("14:03:05---Connexion DB \"" + std::string(c.name) + "\"");
    const Lines memo = run.Memo();
    for (int attempt = 0; attempt < 3; ++attempt) {
      shown.push_back(missing); // the probe looks for the library too
      ASSERT_GT(memo.size(), shown.size());
      const std::string& failure = memo[shown.size()];
      EXPECT_EQ(failure.rfind(Ansi("Erreur de connexion à la base, "), 0), 0u) << failure;
      shown.push_back(failure);
    }
    shown.push_back(Ansi("Impossible de se connecter à la base."));
    EXPECT_EQ(memo, shown);
    ASSERT_EQ(run.ui.Dialogs.size(), 1u);
    EXPECT_EQ(run.ui.Dialogs[0].Text, Ansi("Impossible de se connecter à la base."));
    EXPECT_EQ(run.ui.Dialogs[0].Type, mtError);
    EXPECT_EQ(run.ui.Dialogs[0].Buttons, ButtonBit(mbOK));
    EXPECT_EQ(run.ui.SplashTexts.back(), Ansi("Connexion à la base de données (3)..."));
    EXPECT_EQ(form.Window().Top(), 0);
  }
}

TEST(connection, an_unreachable_server_fails_every_probe_and_attempt) {
  RunFixture run;
  // Nothing listens there: the refusals are the network's, not logins.
  TForm1& form = FormFor(run, "127.0.0.1/3", "/srv/base.fdb");
  std::int32_t index = 7;
  EXPECT_FALSE(form.ProbeAdminPassword(index));
  EXPECT_EQ(index, -1);
  EXPECT_TRUE(PasswordCandidate(index).empty());

  EXPECT_FALSE(form.ConnectDatabase());
  const Lines memo = run.Memo();
  ASSERT_EQ(memo.size(), 5u);
  for (int attempt = 1; attempt <= 3; ++attempt)
    EXPECT_EQ(memo[attempt].rfind(Ansi("Erreur de connexion à la base, "), 0), 0u);
  EXPECT_EQ(memo.back(), Ansi("Impossible de se connecter à la base."));
  EXPECT_EQ(run.ui.Dialogs.size(), 1u);
  for (const std::string& line : memo)
    EXPECT_TRUE(line.find(ServerPassword()) == std::string::npos);
}

TEST(connection, other_users_are_asked_about_unless_silent) {
  struct Case {
    const char* what;
    std::optional<int> answer; // none: the box closes itself
    bool silent;
    bool continues;
  };
  const Case cases[] = {
      {"yes", mrYes, false, true},
      {"unanswered", std::nullopt, false, true},
      {"no", mrNo, false, false},
      {"silent", std::nullopt, true, true},
  };
  ProductDatabase database;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    auto second = database.Attach();
    auto third = database.Attach();
    RunFixture run;
    TForm1& form = FormFor(run, "127.0.0.1", database.Path());
    form.State.SilentMode = c.silent;
    if (c.answer)
      run.ui.Answers.push_back(*c.answer);
    bool ended = false;
    try {
      EXPECT_TRUE(form.ConnectDatabase());
    } catch (const TProcessEnded& end) {
      ended = true;
      EXPECT_EQ(end.ExitCode, 0);
    }
    EXPECT_EQ(ended, !c.continues);
    EXPECT_EQ(run.endedWith.has_value(), !c.continues);
    EXPECT_EQ(form.dbNimbus->Connected(), c.continues);
    EXPECT_EQ(form.Window().Top(), -80);
    if (c.silent) {
      EXPECT_TRUE(run.ui.Dialogs.empty());
      continue;
    }
    ASSERT_EQ(run.ui.Dialogs.size(), 1u);
    const auto& box = run.ui.Dialogs[0];
    EXPECT_EQ(box.Text,
              Ansi("Il y a 2 utilisateur(s) connecté(s) à la base.\r\nVoulez vous continuer ?"));
    EXPECT_EQ(box.Type, mtWarning);
    EXPECT_EQ(box.Buttons, ButtonBit(mbYes) | ButtonBit(mbNo));
    if (!c.answer) {
      EXPECT_EQ(box.Result, mrCancel);
      EXPECT_EQ(box.ClosedAt - box.ShownAt, 5000u);
    }
    const Lines memo = run.Memo();
    if (c.continues)
      EXPECT_EQ(memo.size(), 1u) << "only the connection line";
    else
      EXPECT_EQ(memo.back(), Ansi("2 utilisateur(s) connecté(s) à la base."));
  }
}

TEST(connection, refusing_to_continue_ends_the_run_at_once_with_exit_code_0) {
  ProductDatabase database;
  auto other = database.Attach();
  RunFixture run;
  run.dir.Write("bin/one.sql", "SELECT 1 FROM RDB$DATABASE;\n");
  const std::string ini = run.dir.Write("run.ini", "[configuration]\nbase=" + database.Path() +
                                                       "\n[scripts]\n1=one.sql;Un\n");
  run.ui.Answers.push_back(mrNo);
  run.realStep = true;
  EXPECT_EQ(run.Start({ini}), 0);
  EXPECT_EQ(run.endedWith, 0);
  const Lines memo = run.Memo();
  ASSERT_FALSE(memo.empty());
  EXPECT_EQ(memo.back(), Ansi("1 utilisateur(s) connecté(s) à la base."));
  const std::string log = run.Log();
  EXPECT_TRUE(log.ends_with(Ansi("1 utilisateur(s) connecté(s) à la base.\r\n"))) << log;
  ASSERT_EQ(run.ui.Dialogs.size(), 1u) << "no closing box";
  EXPECT_TRUE(run.opened.empty());
  EXPECT_FALSE(run.form->dbNimbus->Connected());
  EXPECT_TRUE(run.form->State.ScriptList) << "the shutdown did not run";
  EXPECT_TRUE(os::FileExists(run.Bin() + "/one.sql"));
}

} // namespace
} // namespace nimbus::test
