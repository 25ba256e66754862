// Whole runs on the scripted window system: command line in, window lines,
// log file bytes, dialogs and the menu program out.
#include <gtest/gtest.h>

#include <filesystem>

#include "app/run_description.h"
#include "app/texts.h"
#include "platform/os.h"
#include "platform/text.h"
#include "tests/app/run_fixture.h"

namespace nimbus::test {
namespace {

const ScriptedUi::DialogRecord& LastDialog(ScriptedUi& ui) {
  return ui.Dialogs.back();
}

TEST(run, three_scripts_one_missing_log_exactly_the_run_lines) {
  RunFixture run;
  const std::string one = run.dir.Write("bin/one.sql", "select 1 from rdb$database;\n");
  const std::string two = run.dir.Write("bin/two.sql", "");
  const std::string ini = run.dir.Write("run.ini", "[scripts]\n"
                                                   "a=one.sql;Premier\n"
                                                   "b=missing.sql\n"
                                                   "c=two.sql\n");
  std::vector<std::string> executed;
  run.onForm = [&](TForm1& form) {
    form.bExecClick = [&] { executed.push_back(form.Window().EditText()); };
  };
  EXPECT_EQ(run.Start({ini}), kExitFailed) << "a listed script was not applied";

  const Lines shown = {
      "14:03:05 transaction \"no Wait\"",
      "14:03:05" + Ansi("-Non trouvé : ") + "b=missing.sql",
      "",
      "Premier",
      "14:03:05 - Chargement fichier : one.sql",
      "14:03:05 - Chargement fichier : two.sql",
  };
  EXPECT_EQ(run.Memo(), shown);
  EXPECT_EQ(run.Log(), Joined({
                           "14:03:05 transaction \"no Wait\"",
                           "14:03:05-Added : " + one,
                           "14:03:05" + Ansi("-Non trouvé : ") + "b=missing.sql",
                           "14:03:05-Added : " + two,
                           "",
                           "Premier",
                           "14:03:05 - Chargement fichier : one.sql",
                           "14:03:05 - Chargement fichier : two.sql",
                       }));
  EXPECT_EQ(run.Log().find("\xE9"), run.Log().find("trouv") + 5) << "the accent is one byte";
  EXPECT_EQ(executed, (Lines{one, two}));
  EXPECT_TRUE(run.ui.MainWindow().Closed());
  EXPECT_FALSE(run.ui.MainWindow().QuitEnabled());
  EXPECT_EQ(LastDialog(run.ui).Text, Ansi("Opération terminée."));
  EXPECT_EQ(LastDialog(run.ui).ClosedAt - LastDialog(run.ui).ShownAt, 6000u);
  EXPECT_EQ(LastDialog(run.ui).Result, mrCancel);
  EXPECT_TRUE(run.opened.empty()) << "no menu program installed";
  EXPECT_EQ(run.form->State.ScriptList, nullptr) << "released at shutdown";
}

TEST(run, dialog_captions_count_the_scripts) {
  struct Case {
    int scripts;
    Lines captions;
  };
  const Case cases[] = {
      {1, {"wait", "Execution du script..."}},
      {3,
       {"wait", "Execution du script...", "Execution de scripts 1/3...",
        "Execution de scripts 2/3...", "Execution de scripts 3/3..."}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.scripts);
    RunFixture run;
    std::string ini = "[scripts]\n";
    for (int i = 0; i < c.scripts; ++i) {
      const std::string index = std::to_string(i);
      const std::string name = "s" + index + ".sql";
      run.dir.Write("bin/" + name, "");
      ini += "k" + index + "=" + name + (i == 0 ? ";" : ";Etape") + "\n";
    }
    run.Start({run.dir.Write("run.ini", ini)});
    ScriptedUi::ProgressRecord& progress = *run.ui.ProgressDialogs().front();
    EXPECT_EQ(progress.Captions, c.captions);
    EXPECT_EQ(progress.Texts.front(), "wait");
    EXPECT_EQ(progress.Texts[2], "Veuillez patienter...") << "an empty label";
    if (c.scripts > 1) {
      EXPECT_EQ(progress.Texts[3], "Etape...");
    }
    EXPECT_EQ(progress.ShowCount, 1);
    EXPECT_FALSE(progress.Visible);
  }
}

TEST(run, cancel_during_the_first_script_lets_it_finish_and_skips_the_rest) {
  RunFixture run;
  for (const char* name : {"a.sql", "b.sql", "c.sql"})
    run.dir.Write(std::string("bin/") + name, "");
  const std::string ini = run.dir.Write("run.ini", "[scripts]\n1=a.sql\n2=b.sql\n3=c.sql\n");
  int steps = 0;
  bool finished = false;
  run.onForm = [&](TForm1& form) {
    form.bExecClick = [&] {
      ++steps;
      run.ui.PressCancel();
      EXPECT_FALSE(run.ui.ProgressDialogs().front()->Visible) << "the dialog closes at once";
      form.WaitPumping(100); // the step goes on after the cancel
      finished = true;
    };
  };
  run.Start({ini});
  EXPECT_EQ(steps, 1);
  EXPECT_TRUE(finished);
  EXPECT_EQ(run.Memo().back(), "14:03:05 - Chargement fichier : a.sql");
  EXPECT_EQ(LastDialog(run.ui).Text, Ansi("Opération terminée."));
}

// What a shell or a scheduler sees: the exit status and the summary line,
// from how each listed script ended.
TEST(run, exit_status_and_summary_say_how_the_listed_scripts_ended) {
  using enum TStepOutcome;
  struct Case {
    const char* name;
    std::vector<TStepOutcome> steps; // one per script a.sql, b.sql, c.sql
    bool missingEntry;               // the run description also lists a missing script
    int cancelAfter;                 // Cancel pressed during this step (1-based), 0 never
    int status;
    const char* summary;
  };
  const Case cases[] = {
      {"all applied",
       {Applied, Applied, Applied},
       false,
       0,
       kExitApplied,
       "nimbus-scripts: 3 script(s): 3 applied, 0 failed, 0 skipped"},
      {"one failed",
       {Applied, Failed, Applied},
       false,
       0,
       kExitFailed,
       "nimbus-scripts: 3 script(s): 2 applied, 1 failed, 0 skipped"},
      {"one not found at its turn",
       {Skipped, Applied, Applied},
       false,
       0,
       kExitFailed,
       "nimbus-scripts: 3 script(s): 2 applied, 0 failed, 1 skipped"},
      {"an entry missing from the start",
       {Applied, Applied, Applied},
       true,
       0,
       kExitFailed,
       "nimbus-scripts: 4 script(s): 3 applied, 0 failed, 1 skipped"},
      {"cancelled during the first",
       {Applied, Applied, Applied},
       false,
       1,
       kExitFailed,
       "nimbus-scripts: 3 script(s): 1 applied, 0 failed, 2 skipped"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    RunFixture run;
    for (const char* name : {"a.sql", "b.sql", "c.sql"})
      run.dir.Write(std::string("bin/") + name, "");
    const std::string ini =
        run.dir.Write("run.ini", std::string("[scripts]\n1=a.sql\n2=b.sql\n") +
                                     (c.missingEntry ? "x=missing.sql\n" : "") + "3=c.sql\n");
    std::size_t step = 0;
    run.onForm = [&](TForm1& form) {
      form.bExecClick = [&] {
        form.StepOutcome = c.steps[step++];
        if (static_cast<int>(step) == c.cancelAfter)
          run.ui.PressCancel();
      };
    };
    EXPECT_EQ(run.Start({ini}), c.status);
    EXPECT_EQ(run.form->SummaryLine(), c.summary);
  }
}

TEST(run, an_error_escaping_a_step_counts_it_failed_and_the_rest_skipped) {
  RunFixture run;
  for (const char* name : {"a.sql", "b.sql", "c.sql"})
    run.dir.Write(std::string("bin/") + name, "");
  const std::string ini = run.dir.Write("run.ini", "[scripts]\n1=a.sql\n2=b.sql\n3=c.sql\n");
  int steps = 0;
  run.onForm = [&](TForm1& form) {
    form.bExecClick = [&] {
      if (++steps == 2)
        throw std::runtime_error("broken");
    };
  };
  EXPECT_THROW(run.Start({ini}), std::runtime_error);
  EXPECT_EQ(run.form->SummaryLine(), "nimbus-scripts: 3 script(s): 1 applied, 1 failed, 1 skipped");
  EXPECT_EQ(run.form->ExitStatus(), kExitFailed);
}

TEST(run, closing_the_window_during_a_step_stops_after_it_and_closes_once) {
  RunFixture run;
  for (const char* name : {"a.sql", "b.sql"})
    run.dir.Write(std::string("bin/") + name, "");
  const std::string ini = run.dir.Write("run.ini", "[scripts]\n1=a.sql\n2=b.sql\n");
  run.onForm = [&](TForm1& form) {
    form.bExecClick = [&] {
      run.ui.MainWindow().OnCloseRequest();
      EXPECT_NE(form.State.ScriptList, nullptr) << "the list stays while the loop runs";
    };
  };
  run.Start({ini});
  int closingBoxes = 0;
  for (const auto& dialog : run.ui.Dialogs)
    closingBoxes += dialog.Text == Ansi("Opération terminée.");
  EXPECT_EQ(closingBoxes, 1);
  EXPECT_EQ(run.Memo().back(), "14:03:05 - Chargement fichier : a.sql");
}

TEST(run, start_up_refusals_show_their_box_and_end_without_shutdown) {
  RunFixture run0, run1, run3;
  const std::string empty = run3.dir.Write("empty.ini", "[configuration]\ncentre=5\n");
  struct Case {
    RunFixture* run;
    std::vector<std::string> args;
    Lines texts; // every box shown, in order
  };
  const std::string missing = run1.dir.Path() + "/nothing.ini";
  const Case cases[] = {
      {&run0, {}, {Ansi("Aucune configuration définie.") + "\n\r0\n\r"}},
      {&run1, {missing, "x"}, {Ansi("Aucune configuration définie.") + "\n\r2\n\r" + missing}},
      {&run3, {empty}, {Ansi("Aucun fichier sql trouvé")}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.texts.front());
    EXPECT_EQ(c.run->Start(c.args), kExitNotStarted);
    Lines texts;
    for (const auto& d : c.run->ui.Dialogs) {
      texts.push_back(d.Text);
      EXPECT_EQ(d.ClosedAt - d.ShownAt, 6000u);
      EXPECT_EQ(d.Type, mtInformation);
      EXPECT_EQ(d.Title, "Information");
    }
    EXPECT_EQ(texts, c.texts);
    EXPECT_FALSE(c.run->ui.MainWindow().Closed()) << "no shutdown sequence";
    EXPECT_TRUE(c.run->opened.empty());
  }
  EXPECT_FALSE(os::FileExists(run0.LogPath())) << "no log file without an argument";
  EXPECT_TRUE(os::FileExists(run3.LogPath()));
  EXPECT_TRUE(run3.Memo() == Lines{"14:03:05 transaction \"no Wait\""});
}

TEST(run, a_relative_argument_resolves_from_the_current_folder) {
  RunFixture run;
  run.dir.Write("cwd/run.ini", "[configuration]\n");
  const auto saved = std::filesystem::current_path();
  std::filesystem::current_path(run.dir.Path() + "/cwd");
  run.Start({"run.ini"});
  std::filesystem::current_path(saved);
  ASSERT_EQ(run.ui.Dialogs.size(), 1u);
  EXPECT_EQ(run.ui.Dialogs[0].Text, Ansi("Aucun fichier sql trouvé"));
  EXPECT_TRUE(os::FileExists(run.LogPath()));
}

// A relative argument must exist as given; the file beside the executable
// then wins over it.
TEST(run, a_relative_argument_must_exist_as_given_and_is_read_beside_the_executable_first) {
  struct Case {
    const char* name;
    bool inCurrentFolder;
    bool besideExecutable;
    const char* box; // how the last box shown begins
  };
  const Case cases[] = {
      {"in both folders", true, true,
       "Op\xC3\xA9ration termin\xC3\xA9"
       "e."},
      {"only beside the executable", false, true,
       "Aucune configuration d\xC3\xA9"
       "finie."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    RunFixture run;
    run.dir.File("cwd/.keep");
    run.dir.Write("bin/a.sql", "");
    if (c.inCurrentFolder)
      run.dir.Write("cwd/run.ini", "[scripts]\nb=b.sql\n");
    if (c.besideExecutable)
      run.dir.Write("bin/run.ini", "[scripts]\na=a.sql\n");
    std::vector<TScriptPath> executed;
    run.onForm = [&](TForm1& form) {
      form.bExecClick = [&] { executed.push_back(form.State.CurrentScript); };
    };
    const auto saved = std::filesystem::current_path();
    std::filesystem::current_path(run.dir.Path() + "/cwd");
    run.Start({"run.ini"});
    std::filesystem::current_path(saved);
    EXPECT_EQ(LastDialog(run.ui).Text.rfind(Ansi(c.box), 0), 0u) << LastDialog(run.ui).Text;
    const std::string a = run.Bin() + "/a.sql";
    const std::vector<TScriptPath> expected =
        c.inCurrentFolder ? std::vector<TScriptPath>{{a, a}} : std::vector<TScriptPath>{};
    EXPECT_EQ(executed, expected);
  }
}

TEST(run, an_argument_that_does_not_resolve_gets_its_box_and_no_log_file) {
  RunFixture run;
  TEnvironment env = run.Environment({"gone.ini"});
  TRunState state;
  state.LogFileName = run.LogPath();
  TRunLog log(state, run.ui.MainWindow());
  EXPECT_TRUE(ReadRunDescription("gone.ini", state, log, run.ui, env));
  ASSERT_EQ(run.ui.Dialogs.size(), 1u);
  EXPECT_EQ(run.ui.Dialogs[0].Text, Ansi("Aucun fichier trouvé.") + "\n\r1\n\rgone.ini");
  EXPECT_TRUE(state.ScriptList->empty());
  EXPECT_FALSE(os::FileExists(run.LogPath()));
}

TEST(run, server_only_refusal_is_silent_and_closes_after_one_second) {
  RunFixture run;
  run.dir.Write("bin/a.sql", "");
  const std::string ini =
      run.dir.Write("run.ini", "[configuration]\nparam3=1\nip=localhost\n[scripts]\na=a.sql\n");
  bool stepped = false;
  run.onForm = [&](TForm1& form) { form.bExecClick = [&] { stepped = true; }; };
  run.Start({ini});
  EXPECT_FALSE(stepped);
  EXPECT_EQ(run.Memo().back(), "# Ce poste n'est pas un serveur, aucune action.");
  EXPECT_EQ(run.Log().find("# Ce poste"), std::string::npos) << "window only";
  EXPECT_EQ(LastDialog(run.ui).Text, Ansi("Opération terminée."));
  EXPECT_EQ(LastDialog(run.ui).ClosedAt - LastDialog(run.ui).ShownAt, 1000u);
  EXPECT_TRUE(run.opened.empty());
}

TEST(run, server_only_accepts_the_exact_loopback_address) {
  RunFixture run;
  run.dir.Write("bin/a.sql", "");
  const std::string ini =
      run.dir.Write("run.ini", "[configuration]\nparam3=1\nip=127.0.0.1\n[scripts]\na=a.sql\n");
  int steps = 0;
  run.onForm = [&](TForm1& form) { form.bExecClick = [&] { ++steps; }; };
  run.Start({ini});
  EXPECT_EQ(steps, 1);
}

TEST(run, single_script_in_mixed_case_is_listed_lower_case_and_found_by_its_real_name) {
  RunFixture run;
  const std::string script = run.dir.Write("Pkg/Maj.SQL", "select 1 from rdb$database;\n");
  std::string listed;
  TScriptPath current;
  run.onForm = [&](TForm1& form) {
    form.bExecClick = [&] {
      listed = form.Window().EditText();
      current = form.State.CurrentScript;
    };
  };
  run.Start({script});
  EXPECT_EQ(listed, AnsiLowerCase(script));
  EXPECT_EQ(current, (TScriptPath{AnsiLowerCase(script), script}));
  EXPECT_EQ(run.Memo().front(), "ajout fichier " + AnsiLowerCase(script));
  EXPECT_EQ(run.form->State.LabelList, Lines{Ansi("traitement des données")});
  EXPECT_EQ(run.Memo()[2], Ansi("traitement des données"));
}

// The argument's path is shown lower-cased, but lower-casing may name
// another file or none: the files are read by the path as given.
TEST(run, the_argument_is_read_by_its_own_name_not_the_lower_cased_one) {
  struct Case {
    const char* name;
    std::vector<std::pair<std::string, std::string>> files; // path in the folder, bytes
    std::vector<std::string> folders;                       // extra folders to create
    std::string argument;                                   // in the folder
  };
  const std::string runA = "[scripts]\na=a.sql\n";
  const std::string runB = "[scripts]\nb=b.sql\n";
  const Case cases[] = {
      {"another file under the lower-cased name",
       {{"RUN.INI", runA}, {"run.ini", runB}},
       {},
       "RUN.INI"},
      {"a folder under the lower-cased name", {{"RUN.INI", runA}}, {"run.ini"}, "RUN.INI"},
      {"a UTF-8 folder name",
       {{"Donn\xC3\xA9"
         "es/run.ini",
         runA}},
       {},
       "Donn\xC3\xA9"
       "es/run.ini"},
      {"a Windows-1252 capital", {{"\xC9TAPE/Run.ini", runA}}, {}, "\xC9TAPE/Run.ini"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    RunFixture run;
    run.dir.Write("bin/a.sql", "");
    run.dir.Write("bin/b.sql", "");
    for (const auto& [name, bytes] : c.files)
      run.dir.Write(name, bytes);
    for (const std::string& folder : c.folders)
      std::filesystem::create_directories(run.dir.Path() + "/" + folder);
    std::vector<TScriptPath> executed;
    run.onForm = [&](TForm1& form) {
      form.bExecClick = [&] { executed.push_back(form.State.CurrentScript); };
    };
    EXPECT_EQ(run.Start({run.dir.Path() + "/" + c.argument}), 0);
    const std::string a = run.Bin() + "/a.sql";
    EXPECT_EQ(executed, (std::vector<TScriptPath>{{a, a}}));
    EXPECT_EQ(run.Memo().back(), "14:03:05 - Chargement fichier : a.sql");
  }
}

TEST(run, a_single_script_under_a_non_ascii_folder_is_opened_as_found) {
  RunFixture run;
  const std::string script = run.dir.Write("\xC9TAPE/Donn\xC3\xA9"
                                           "es/Maj.SQL",
                                           "");
  TScriptPath current;
  std::string edit;
  run.onForm = [&](TForm1& form) {
    form.bExecClick = [&] {
      current = form.State.CurrentScript;
      edit = form.Window().EditText();
    };
  };
  run.Start({script});
  EXPECT_EQ(current.Real, script);
  EXPECT_EQ(current.Shown, AnsiLowerCase(script));
  EXPECT_NE(current.Shown, current.Real);
  EXPECT_EQ(edit, current.Shown);
  EXPECT_TRUE(os::FileExists(current.Real));
  EXPECT_EQ(run.Memo().front(), "ajout fichier " + current.Shown);
}

TEST(run, a_script_path_holding_a_nul_byte_is_not_found) {
  RunFixture run;
  run.dir.Write("bin/a.sql", "");
  const std::string value = std::string("a.sql\0whatever", 14);
  const std::string ini = run.dir.Write("run.ini", "[scripts]\nk=" + value + "\n");
  bool stepped = false;
  run.onForm = [&](TForm1& form) { form.bExecClick = [&] { stepped = true; }; };
  run.Start({ini});
  EXPECT_FALSE(stepped);
  EXPECT_EQ(run.Memo().back(), "14:03:05" + Ansi("-Non trouvé : ") + "k=" + value);
  EXPECT_EQ(LastDialog(run.ui).Text, Ansi("Aucun fichier sql trouvé"));
  EXPECT_TRUE(os::FileExists(run.Bin() + "/a.sql"));
}

TEST(run, menu_program_is_started_unless_silent) {
  for (bool silent : {false, true}) {
    SCOPED_TRACE(silent);
    RunFixture run;
    run.dir.Write("pf/orvan system/program/menucirrus", "");
    run.dir.Write("bin/a.sql", "");
    const std::string ini =
        run.dir.Write("run.ini", std::string("[configuration]\nparam2=") + (silent ? "1" : "0") +
                                     "\n[scripts]\na=a.sql\n");
    run.Start({ini});
    EXPECT_EQ(run.opened, silent ? Lines{} : Lines{run.MenuPath()});
    EXPECT_EQ(LastDialog(run.ui).ClosedAt - LastDialog(run.ui).ShownAt, silent ? 1000u : 6000u);
    EXPECT_EQ(run.ui.ProgressDialogs().front()->ShowCount, silent ? 0 : 1);
    EXPECT_EQ(run.Log().empty(), silent) << "silent mode leaves the log file empty";
    EXPECT_TRUE(os::FileExists(run.LogPath()));
    EXPECT_FALSE(run.Memo().empty()) << "the window still shows the lines";
  }
}

// Installed where the user cannot write (/usr/bin), the run logs to the
// fallback folder and its first window line says where; silent, the file is
// created there and stays empty.
TEST(run, an_executable_folder_that_takes_no_file_logs_to_the_fallback_folder_and_says_so_first) {
  for (const bool silent : {false, true}) {
    SCOPED_TRACE(silent ? "silent" : "normal");
    RunFixture run;
    std::filesystem::remove_all(run.Bin());
    run.dir.Write("bin", ""); // no folder can be written under a file, not even by root
    const std::string script = run.dir.Write("a.sql", "");
    const std::string ini =
        run.dir.Write("run.ini", std::string("[configuration]\nparam2=") + (silent ? "1" : "0") +
                                     "\n[scripts]\na=" + script + ";Premier\n");
    int steps = 0;
    run.onForm = [&](TForm1& form) { form.bExecClick = [&] { ++steps; }; };
    EXPECT_EQ(run.Start({ini}), 0);

    EXPECT_EQ(steps, 1) << "the run goes on";
    ASSERT_FALSE(run.Memo().empty());
    EXPECT_EQ(run.Memo()[0], "Journal : " + run.FallbackLogPath());
    EXPECT_EQ(run.Memo()[1], "14:03:05 transaction \"no Wait\"");
    EXPECT_EQ(run.form->State.LogFileName, run.FallbackLogPath());
    const std::string log = ReadFile(run.FallbackLogPath());
    if (silent)
      EXPECT_EQ(log, "");
    else
      EXPECT_EQ(log.rfind("14:03:05 transaction \"no Wait\"\r\n14:03:05-Added : " + script, 0), 0u)
          << log;
  }
}

TEST(run, debug_mode_logs_its_line_first) {
  RunFixture run;
  run.dir.Write("bin/a.sql", "");
  run.Start({run.dir.Write("run.ini", "[configuration]\nparam1=2\nwait=$1\n[scripts]\na=a.sql\n")});
  EXPECT_EQ(run.Memo()[0], "14:03:05 transaction \"Wait\"");
  EXPECT_EQ(run.Memo()[1], "mode DEBUG");
  EXPECT_TRUE(run.form->State.WaitMode);
}

TEST(run, an_error_escaping_a_step_still_shuts_down_and_reaches_the_caller) {
  RunFixture run;
  run.dir.Write("bin/a.sql", "");
  run.dir.Write("bin/b.sql", "");
  const std::string ini = run.dir.Write("run.ini", "[scripts]\na=a.sql\nb=b.sql\n");
  int steps = 0;
  run.onForm = [&](TForm1& form) {
    form.bExecClick = [&] {
      ++steps;
      throw std::runtime_error("broken");
    };
  };
  EXPECT_THROW(run.Start({ini}), std::runtime_error);
  EXPECT_EQ(steps, 1);
  EXPECT_TRUE(run.ui.MainWindow().Closed());
  EXPECT_EQ(LastDialog(run.ui).Text, Ansi("Opération terminée."));
  EXPECT_FALSE(run.ui.ProgressDialogs().front()->Visible);
}

} // namespace
} // namespace nimbus::test
