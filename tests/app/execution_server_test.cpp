// Whole runs against the test server: scripts applied end to end, with the
// exact log file, the progress dialog, the script files and the database
// read back through an attachment of its own.
#include "tests/app/execution_fixture.h"

#include <algorithm>

#include "platform/os.h"

namespace nimbus::test {
namespace {

// Members, activities and a COMMIT in the middle; statement 8 (line 18)
// repeats a key.
const char* const kMembers =
    "-- Adh\xE9rents et activit\xE9s du club\n"
    "CREATE TABLE ADHERENT (\n"
    "  ADH_ID INTEGER NOT NULL,\n"
    "  ADH_NOM VARCHAR(60) NOT NULL,\n"
    "  ADH_CENTRE INTEGER NOT NULL,\n"
    "  CONSTRAINT PK_ADHERENT PRIMARY KEY (ADH_ID)\n"
    ");\n"
    "CREATE TABLE ACTIVITE (\n"
    "  ACT_ID INTEGER NOT NULL PRIMARY KEY,\n"
    "  ACT_LIBELLE VARCHAR(60) NOT NULL\n"
    ");\n"
    "ALTER TABLE ADHERENT ADD ADH_EMAIL VARCHAR(120);\n"
    "INSERT INTO ACTIVITE (ACT_ID, ACT_LIBELLE) VALUES (1, 'Natation');\n"
    "INSERT INTO ACTIVITE (ACT_ID, ACT_LIBELLE) VALUES (2, 'Escalade');\n"
    "COMMIT;\n"
    "INSERT INTO ADHERENT (ADH_ID, ADH_NOM, ADH_CENTRE)\n"
    "  VALUES (1, '\xC9lodie Martin', %CENTRE%);\n"
    "INSERT INTO ADHERENT (ADH_ID, ADH_NOM, ADH_CENTRE) VALUES (1, 'Doublon', "
    "%CENTRE%);\n"
    "INSERT INTO ADHERENT (ADH_ID, ADH_NOM, ADH_CENTRE) VALUES (2, 'Hugo "
    "Petit', %CENTRE%);\n";

// Fees: a trigger and a procedure between SET TERM, then data.
const char* const kFees =
    "CREATE TABLE COTISATION (\n"
    "  COT_ID INTEGER NOT NULL PRIMARY KEY,\n"
    "  COT_ADHERENT INTEGER NOT NULL REFERENCES ADHERENT (ADH_ID),\n"
    "  COT_MONTANT NUMERIC(9,2) NOT NULL,\n"
    "  COT_SAISON VARCHAR(9) NOT NULL\n"
    ");\n"
    "CREATE SEQUENCE GEN_COTISATION;\n"
    "SET TERM ^ ;\n"
    "CREATE TRIGGER COTISATION_BI FOR COTISATION BEFORE INSERT AS\n"
    "BEGIN\n"
    "  IF (NEW.COT_ID IS NULL) THEN NEW.COT_ID = NEXT VALUE FOR GEN_COTISATION;\n"
    "END^\n"
    "CREATE PROCEDURE AJOUTER_COTISATION (P_ADHERENT INTEGER, P_MONTANT NUMERIC(9,2))\n"
    "AS\n"
    "BEGIN\n"
    "  INSERT INTO COTISATION (COT_ADHERENT, COT_MONTANT, COT_SAISON)\n"
    "    VALUES (:P_ADHERENT, :P_MONTANT, '2026-2027');\n"
    "END^\n"
    "SET TERM ; ^\n"
    "EXECUTE PROCEDURE AJOUTER_COTISATION (1, 180.00);\n"
    "EXECUTE PROCEDURE AJOUTER_COTISATION (2, 95.50);\n"
    "UPDATE ACTIVITE SET ACT_LIBELLE = 'Escalade (bloc)' WHERE ACT_ID = 2;\n";

class execution : public ExecutionRun {};

// Normal mode, then debug mode.
class execution_modes : public ExecutionRun, public ::testing::WithParamInterface<bool> {};

TEST_P(execution_modes, realistic_scripts_apply_with_every_line_and_one_activation) {
  {
    const bool debug = GetParam();
    const std::string members = Script("01_adherents.sql", kMembers);
    const std::string fees = Script("02_cotisations.sql", kFees);
    EXPECT_EQ(Run({members + Ansi(";Adhérents"), fees + ";Cotisations"},
                  {debug ? "param1=1" : "param1=0"}),
              0);

    Lines expected = Opening({members, fees});
    if (debug)
      expected.insert(expected.end() - 1, "mode DEBUG");
    const Lines first = {Ansi("Adhérents"), "14:03:05 - Chargement fichier : 01_adherents.sql",
                         "14:03:05---Ouverture script \"" + members + "\""};
    expected.insert(expected.end(), first.begin(), first.end());
    for (const std::string& line : Connecting())
      expected.push_back(line);
    expected.push_back("Execution script...");
    expected.push_back(Ansi("19 lignes chargées"));
    expected.push_back("14:03:05-Execution...");
    if (debug)
      expected.push_back("14:03:05-Context enabled #1000");
    expected.push_back("14:03:05-ExecuteError #-803 - line18 : \xE2\x80\xA6");
    if (!debug)
      expected.push_back("14:03:05-Erreur sql (18)");
    for (const std::string& line : Applied())
      expected.push_back(line);
    const Lines second = {"Cotisations",
                          "14:03:05 - Chargement fichier : 02_cotisations.sql",
                          "14:03:05---Ouverture script \"" + fees + "\"",
                          Ansi("14:03:05---DB connectée"),
                          "Execution script...",
                          Ansi("22 lignes chargées"),
                          "14:03:05-Execution..."};
    expected.insert(expected.end(), second.begin(), second.end());
    for (const std::string& line : Applied())
      expected.push_back(line);
    ExpectLines(Log(), expected);

    const Lines memo = run.Memo();
    EXPECT_EQ(std::count(memo.begin(), memo.end(), Ansi("14:03:05-Terminé")), 2)
        << "once a script in the window";
    EXPECT_EQ(std::count_if(memo.begin(), memo.end(),
                            [](const std::string& line) {
                              return line.find("-ExecuteError #") != std::string::npos;
                            }),
              debug ? 1 : 0);
    EXPECT_EQ(run.ui.ProgressDialogs().front()->Max, 7) << "the statements of the last script";
    EXPECT_EQ(run.ui.ProgressDialogs().front()->Position, 7);
    EXPECT_EQ(os::FileExists(members), debug);
    EXPECT_EQ(os::FileExists(fees), debug);
    EXPECT_EQ(run.form->Window().Top(), -80) << "one attachment for the run";

    EXPECT_EQ(database.QueryTexts("SELECT ADH_ID || ':' || ADH_NOM || ':' || ADH_CENTRE "
                                  "FROM ADHERENT ORDER BY ADH_ID"),
              (Lines{"1:\xC9lodie Martin:1000", "2:Hugo Petit:1000"}));
    EXPECT_EQ(database.QueryTexts("SELECT ACT_LIBELLE FROM ACTIVITE ORDER BY ACT_ID"),
              (Lines{"Natation", "Escalade (bloc)"}));
    EXPECT_EQ(database.QueryTexts("SELECT COT_ADHERENT || ':' || COT_MONTANT FROM COTISATION "
                                  "ORDER BY COT_ID"),
              (Lines{"1:180.00", "2:95.50"}));
    EXPECT_EQ(database.QueryTexts("SELECT CTL_MODE || ':' || CTL_CENTRE || ':' || CTL_TEXT "
                                  "FROM CONTEXT_LOG"),
              Lines{"0:1000:"});
  }
}

INSTANTIATE_TEST_SUITE_P(debug, execution_modes, ::testing::Bool());

TEST_F(execution, a_failed_final_commit_is_an_error_and_keeps_nothing) {
  // Index creation is deferred to the commit, where the duplicates stop it.
  database.Exec({"CREATE TABLE DOUBLONS (X INTEGER)"});
  database.Exec({"INSERT INTO DOUBLONS VALUES (1)", "INSERT INTO DOUBLONS VALUES (1)"});
  const std::string failing = Script("index.sql", "SET AUTODDL OFF;\n"
                                                  "INSERT INTO CENTRE VALUES (2000, 1);\n"
                                                  "CREATE UNIQUE INDEX UQ_X ON DOUBLONS (X);\n");
  const std::string next = Script("next.sql", "INSERT INTO CENTRE VALUES (3000, 1);\n");
  EXPECT_EQ(Run({failing, next}), kExitFailed);

  Lines expected = Opening({failing, next});
  expected.push_back("14:03:05 - Chargement fichier : index.sql");
  expected.push_back("14:03:05---Ouverture script \"" + failing + "\"");
  for (const std::string& line : Connecting())
    expected.push_back(line);
  expected.insert(expected.end(),
                  {"Execution script...", Ansi("3 lignes chargées"), "14:03:05-Execution...",
                   Ansi("14:03:05-Terminé"), Ansi("14:03:05-Terminé"), "Erreur \xE2\x80\xA6",
                   "Erreur.", kSeparator, "14:03:05 - Chargement fichier : next.sql",
                   "14:03:05---Ouverture script \"" + next + "\"", Ansi("14:03:05---DB connectée"),
                   "Execution script...", Ansi("1 lignes chargées"), "14:03:05-Execution..."});
  for (const std::string& line : Applied())
    expected.push_back(line);
  ExpectLines(Log(), expected);

  EXPECT_EQ(database.QueryTexts("SELECT CTR_ID FROM CENTRE ORDER BY CTR_ID"),
            (Lines{"1000", "3000"}));
  EXPECT_EQ(database.QueryInt("SELECT COUNT(*) FROM RDB$INDICES WHERE RDB$INDEX_NAME = 'UQ_X'"), 0);
  // The activation is once per attachment; in this schema its trace went
  // with the failed work.
  EXPECT_EQ(database.QueryInt("SELECT COUNT(*) FROM CONTEXT_LOG"), 0);
}

TEST_F(execution, a_ddl_statement_failing_at_its_commit_takes_only_its_own_work) {
  // The index is built at the commit after it, where the duplicates stop it.
  database.Exec({"CREATE TABLE DOUBLONS (X INTEGER)"});
  database.Exec({"INSERT INTO DOUBLONS VALUES (1)", "INSERT INTO DOUBLONS VALUES (1)"});
  const std::string script = Script("index.sql", "INSERT INTO CENTRE VALUES (2000, 1);\n"
                                                 "CREATE UNIQUE INDEX UQ_X ON DOUBLONS (X);\n"
                                                 "INSERT INTO CENTRE VALUES (3000, 1);\n");
  EXPECT_EQ(Run({script}), 0);

  Lines expected = Opening({script});
  expected.push_back("14:03:05 - Chargement fichier : index.sql");
  expected.push_back("14:03:05---Ouverture script \"" + script + "\"");
  for (const std::string& line : Connecting())
    expected.push_back(line);
  expected.insert(expected.end(),
                  {"Execution script...", Ansi("3 lignes chargées"), "14:03:05-Execution...",
                   "14:03:05-ExecuteError #-803 - line2 : \xE2\x80\xA6",
                   "14:03:05-Erreur sql (2)"});
  for (const std::string& line : Applied())
    expected.push_back(line);
  ExpectLines(Log(), expected);

  // The row before the index and the site context stay, as for any failing
  // statement.
  EXPECT_EQ(database.QueryTexts("SELECT CTR_ID FROM CENTRE ORDER BY CTR_ID"),
            (Lines{"1000", "2000", "3000"}));
  EXPECT_EQ(database.QueryInt("SELECT COUNT(*) FROM RDB$INDICES WHERE RDB$INDEX_NAME = 'UQ_X'"), 0);
  EXPECT_EQ(database.QueryInt("SELECT COUNT(*) FROM CONTEXT_LOG"), 1);
}

TEST_F(execution, a_killed_attachment_fails_its_script_and_the_next_one_attaches_again) {
  const std::string killed = Script("a.sql", "INSERT INTO CENTRE VALUES (2001, 1);\n"
                                             "INSERT INTO CENTRE VALUES (2002, 1);\n"
                                             "INSERT INTO CENTRE VALUES (2003, 1);\n"
                                             "INSERT INTO CENTRE VALUES (2004, 1);\n");
  const std::string next = Script("b.sql", "INSERT INTO CENTRE VALUES (3000, 1);\n");
  // After the second statement, as an administrator ending the session would.
  OnceAfterStatement(2, [&] {
    database.Exec({"DELETE FROM MON$ATTACHMENTS WHERE MON$ATTACHMENT_ID <> CURRENT_CONNECTION"});
  });
  EXPECT_EQ(Run({killed, next}), kExitFailed);
  ASSERT_TRUE(actedMidScript);

  Lines expected = Opening({killed, next});
  expected.push_back("14:03:05 - Chargement fichier : a.sql");
  expected.push_back("14:03:05---Ouverture script \"" + killed + "\"");
  for (const std::string& line : Connecting())
    expected.push_back(line);
  expected.insert(expected.end(), {"Execution script...", Ansi("4 lignes chargées"),
                                   "14:03:05-Execution...", "14:03:05-ExecuteError #\xE2\x80\xA6",
                                   "14:03:05-Erreur sql (3)", "Erreur \xE2\x80\xA6"});
  for (const std::string& line : Failed())
    expected.push_back(line);
  expected.push_back("14:03:05 - Chargement fichier : b.sql");
  expected.push_back("14:03:05---Ouverture script \"" + next + "\"");
  for (const std::string& line : Connecting())
    expected.push_back(line);
  expected.insert(expected.end(),
                  {"Execution script...", Ansi("1 lignes chargées"), "14:03:05-Execution..."});
  for (const std::string& line : Applied())
    expected.push_back(line);
  ExpectLines(Log(), expected);

  EXPECT_EQ(database.QueryTexts("SELECT CTR_ID FROM CENTRE ORDER BY CTR_ID"),
            (Lines{"1000", "3000"}));
  EXPECT_EQ(database.QueryInt("SELECT COUNT(*) FROM CONTEXT_LOG"), 1)
      << "activated again on the new attachment";
  EXPECT_FALSE(os::FileExists(killed)) << "it ran";
  EXPECT_EQ(run.form->Window().Top(), -160) << "moved once per attachment";
}

TEST_F(execution, what_one_script_sets_does_not_change_the_next) {
  const std::string off = Script("off.sql", "SET AUTODDL OFF;\n"
                                            "CREATE TABLE T_UN (X INTEGER);\n");
  // Without its own AutoDDL the INSERT would find no table T_DEUX.
  const std::string plain = Script("plain.sql", "CREATE TABLE T_DEUX (X INTEGER);\n"
                                                "INSERT INTO T_DEUX VALUES (%CENTRE%);\n");
  Run({off, plain});
  const Lines log = Log();
  EXPECT_EQ(std::count(log.begin(), log.end(), Ansi("14:03:05 - Opérations appliquées.")), 2);
  EXPECT_TRUE(std::none_of(log.begin(), log.end(), [](const std::string& line) {
    return line.find("ExecuteError") != std::string::npos;
  }));
  EXPECT_EQ(database.QueryInt("SELECT X FROM T_DEUX"), 1000);
  EXPECT_EQ(database.QueryInt("SELECT COUNT(*) FROM T_UN"), 0);
}

struct UnstartableCase {
  const char* what;
  std::string text;
  const char* message;
};

class unstartable_script : public ExecutionRun,
                           public ::testing::WithParamInterface<UnstartableCase> {};

TEST_P(unstartable_script, stays_in_place_and_ends_the_run) {
  const std::string path = Script("bad.sql", GetParam().text);
  const std::string after = Script("after.sql", "INSERT INTO CENTRE VALUES (3000, 1);\n");
  std::string error;
  try {
    Run({path, after});
  } catch (const std::exception& escaped) {
    error = escaped.what();
  }
  EXPECT_NE(error.find(GetParam().message), std::string::npos) << error;
  EXPECT_TRUE(os::FileExists(path));
  EXPECT_TRUE(os::FileExists(after));
  EXPECT_EQ(database.QueryInt("SELECT COUNT(*) FROM CENTRE"), 1);
  EXPECT_EQ(run.ui.Dialogs.back().Text, Ansi("Opération terminée.")) << "the shutdown ran";
}

INSTANTIATE_TEST_SUITE_P(
    cases, unstartable_script,
    ::testing::Values(
        UnstartableCase{"parse_error", "INSERT INTO CENTRE VALUES (2000, 1);\n{$ENDIF}\n",
                        "Parse script error."},
        UnstartableCase{"no_windows_1252_form",
                        "\xEF\xBB\xBFINSERT INTO CENTRE VALUES (2000, 1);\n-- \xE4\xB8\xAD\n",
                        "line 2"}),
    [](const auto& info) { return std::string(info.param.what); });

TEST_F(execution, a_utf8_script_with_its_mark_is_stored_as_the_database_text) {
  const std::string path = Script(
      "utf8.sql", "\xEF\xBB\xBFINSERT INTO CONTEXT_LOG (CTL_TEXT) VALUES ('\xC3\xA9t\xC3\xA9');\n");
  Run({path});
  EXPECT_EQ(database.QueryTexts("SELECT CTL_TEXT FROM CONTEXT_LOG WHERE CTL_MODE IS NULL"),
            Lines{"\xE9t\xE9"});
  const Lines log = Log();
  EXPECT_EQ(std::count(log.begin(), log.end(), Ansi("14:03:05 - Opérations appliquées.")), 1);
}

TEST_F(execution, statements_do_not_wait_between_them) {
  std::string many;
  for (int i = 0; i < 200; ++i)
    many += "INSERT INTO CENTRE VALUES (" + std::to_string(5000 + i) + ", 1);\n";
  const std::string one = Script("one.sql", "INSERT INTO CENTRE VALUES (2000, 1);\n");
  const std::string lots = Script("lots.sql", many);
  std::vector<std::uint32_t> spent;
  run.onForm = [&](TForm1& form) {
    auto step = form.bExecClick;
    form.bExecClick = [&, step] {
      const std::uint32_t start = run.ui.TickCount();
      step();
      spent.push_back(run.ui.TickCount() - start);
    };
  };
  Run({one, lots});
  ASSERT_EQ(spent.size(), 2u);
  EXPECT_EQ(spent[0], spent[1]) << "the window is kept painted without waiting";
  EXPECT_EQ(run.ui.ProgressDialogs().front()->Position, 200);
  EXPECT_EQ(database.QueryInt("SELECT COUNT(*) FROM CENTRE"), 202);
}

TEST_F(execution, without_a_client_library_every_script_is_skipped_and_kept) {
  run.systemLibrary.clear();
  const std::string one = Script("one.sql", "INSERT INTO CENTRE VALUES (2000, 1);\n");
  const std::string two = Script("two.sql", "INSERT INTO CENTRE VALUES (2001, 1);\n");
  Run({one, two});
  const Lines memo = run.Memo();
  EXPECT_EQ(std::count(memo.begin(), memo.end(), Ansi("Erreur à l'ouverture de la base")), 2)
      << "the second script tried again";
  std::vector<std::string> boxes;
  for (const auto& dialog : run.ui.Dialogs)
    boxes.push_back(dialog.Text);
  EXPECT_EQ(boxes, (Lines{Ansi("Impossible de se connecter à la base."),
                          Ansi("Erreur à l'ouverture de la base."),
                          Ansi("Impossible de se connecter à la base."),
                          Ansi("Erreur à l'ouverture de la base."), Ansi("Opération terminée.")}));
  EXPECT_TRUE(os::FileExists(one));
  EXPECT_TRUE(os::FileExists(two));
}

TEST_F(execution, silent_runs_show_a_splash_per_step_and_ask_nothing) {
  auto other = database.Attach();
  const std::string one = Script("one.sql", "INSERT INTO CENTRE VALUES (2000, 1);\n");
  const std::string two = Script("two.sql", "INSERT INTO CENTRE VALUES (2001, 1);\n");
  Run({one, two}, {"param2=1"});
  EXPECT_EQ(std::count(run.ui.SplashTexts.begin(), run.ui.SplashTexts.end(), "Please wait..."), 2);
  ASSERT_EQ(run.ui.Dialogs.size(), 1u) << "no question about the other user";
  EXPECT_EQ(run.ui.Dialogs[0].ClosedAt - run.ui.Dialogs[0].ShownAt, 1000u);
  EXPECT_EQ(run.ui.ProgressDialogs().front()->ShowCount, 0);
  EXPECT_EQ(run.ui.ProgressDialogs().front()->Position, 0);
  EXPECT_EQ(run.Log(), "") << "silent: the log file stays empty";
  const Lines memo = run.Memo();
  EXPECT_EQ(std::count(memo.begin(), memo.end(), Ansi("14:03:05 - Opérations appliquées.")), 2);
  EXPECT_EQ(database.QueryInt("SELECT COUNT(*) FROM CENTRE"), 3);
}

} // namespace
} // namespace nimbus::test
