// Scripts of a run that create, re-open and drop databases themselves: each
// later script must still reach the run's database, created databases end
// with forced writes on, and the credentials written in scripts stay out of
// the log and the window.
#include "tests/app/execution_fixture.h"

#include <algorithm>

#include "platform/text.h"
#include "tests/support/test_server.h"

namespace nimbus::test {
namespace {

std::size_t CountContaining(const Lines& lines, const std::string& text) {
  return static_cast<std::size_t>(std::count_if(lines.begin(), lines.end(), [&](const auto& line) {
    return line.find(text) != std::string::npos;
  }));
}

class database_commands_run : public ExecutionRun {};

TEST_F(database_commands_run, each_script_reaches_its_own_database_and_no_password_shows) {
  const std::string password = ServerPassword();
  const std::string login = " USER '" + ServerUser() + "' PASSWORD '" + password + "'";
  ScratchDatabase filled;
  ScratchDatabase named;
  ScratchDatabase dropped;
  // The run's database must come out as it went in, forced writes included.
  SetForcedWrites(database.Name(), false);

  const Lines scripts = {
      // Rows of a new database; the last one records its forced writes.
      Script("01_scratch.sql", "CREATE DATABASE '" + filled.Name() + "'" + login +
                                   " PAGE_SIZE 8192;\n"
                                   "CREATE TABLE NOTE (N INTEGER);\n"
                                   "INSERT INTO NOTE (N) VALUES (1);\n"
                                   "INSERT INTO NOTE (N) SELECT 10 + MON$FORCED_WRITES FROM "
                                   "MON$DATABASE;\n"),
      Script("02_run.sql", "CREATE TABLE RUN_NOTE (N INTEGER);\n"
                           "INSERT INTO RUN_NOTE (N) VALUES (2);\n"),
      // Re-opened after a creation whose character set is its own; the row
      // records the attachment's character set.
      Script("03_names.sql", "CREATE DATABASE '" + named.Name() + "'" + login +
                                 " SET NAMES 'ISO8859_1' DEFAULT CHARACTER SET ISO8859_1;\n"
                                 "CREATE TABLE NOTE (N INTEGER);\n"
                                 "RECONNECT;\n"
                                 "INSERT INTO NOTE (N) SELECT 100 + MON$CHARACTER_SET_ID FROM "
                                 "MON$ATTACHMENTS WHERE MON$ATTACHMENT_ID = CURRENT_CONNECTION;\n"),
      // The run's own database under another spelling, without credentials:
      // refused before anything moves, so the script's row goes with it.
      Script("04_drop_run.sql", "INSERT INTO RUN_NOTE (N) VALUES (4);\n"
                                "DROP DATABASE 'localhost:" +
                                    database.Path() + "';\n"),
      Script("05_drop_created.sql", "CREATE DATABASE '" + dropped.Name() + "'" + login +
                                        ";\nDROP DATABASE '" + dropped.Name() + "';\n"),
      Script("06_run.sql", "INSERT INTO RUN_NOTE (N) VALUES (6);\n"),
  };
  EXPECT_EQ(Run(scripts), kExitFailed) << "the refused DROP ends its script in Erreur.";
  EXPECT_EQ(run.form->SummaryLine(), "nimbus-scripts: 6 script(s): 5 applied, 1 failed, 0 skipped");

  EXPECT_EQ(database.QueryInt("SELECT COUNT(*) FROM RUN_NOTE WHERE N IN (2, 6)"), 2);
  EXPECT_EQ(database.QueryInt("SELECT COUNT(*) FROM RUN_NOTE"), 2);
  EXPECT_EQ(database.QueryInt("SELECT MON$FORCED_WRITES FROM MON$DATABASE"), 0);

  EXPECT_EQ(filled.QueryInt("SELECT COUNT(*) FROM NOTE"), 2);
  EXPECT_EQ(filled.QueryInt("SELECT COUNT(*) FROM NOTE WHERE N = 10"), 1)
      << "filled with forced writes off";
  EXPECT_EQ(filled.QueryInt("SELECT MON$FORCED_WRITES FROM MON$DATABASE"), 1);
  EXPECT_EQ(
      filled.QueryInt("SELECT COUNT(*) FROM RDB$RELATIONS WHERE RDB$RELATION_NAME = 'RUN_NOTE'"),
      0);

  EXPECT_EQ(named.QueryInt("SELECT MAX(N) FROM NOTE"), 121) << "re-opened as ISO8859_1";
  EXPECT_FALSE(dropped.Exists());

  const Lines log = Log();
  EXPECT_EQ(CountContaining(log, "DROP DATABASE refused"), 1u);
  EXPECT_EQ(CountContaining(log, "ExecuteError"), 0u);
  // Lower-cased as well: parameter-line errors quote lines that way.
  const std::string secret = AnsiLowerCase(password);
  const auto shows = [&](const Lines& lines) {
    return std::any_of(lines.begin(), lines.end(), [&](const std::string& line) {
      return AnsiLowerCase(line).find(secret) != std::string::npos;
    });
  };
  EXPECT_FALSE(shows(log)) << "a password in the log";
  EXPECT_FALSE(shows(run.Memo())) << "a password in the window";
}

} // namespace
} // namespace nimbus::test
