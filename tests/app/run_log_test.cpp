#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <functional>

#include "app/run_log.h"
#include "app/run_state.h"
#include "platform/os.h"
#include "platform/scripted_ui.h"
#include "platform/text.h"
#include "tests/support/local_moment.h"
#include "tests/support/temp_dir.h"

namespace nimbus::test {
namespace {

struct LogFixture {
  TempDir dir;
  ScriptedUi ui;
  TRunState state;
  TRunLog log{state, ui.MainWindow()};
  LogFixture() { state.LogFileName = dir.Path() + "/Log010203-040506.txt"; }
  std::string File() const { return ReadFile(state.LogFileName); }
};

TEST(run_log, file_name_is_stamped_with_two_digit_fields) {
  const std::time_t moment = LocalMoment(2009, 1, 2, 3, 4, 5);
  EXPECT_EQ(LogFileNameFor("/x/bin", moment), "/x/bin/Log020109-030405.txt");
  EXPECT_EQ(TimePrefix(moment), "03:04:05");
}

TEST(run_log, lines_end_in_cr_lf_and_keep_their_bytes) {
  LogFixture f;
  f.log.CreateLogFile();
  f.log.LogLine("-Non trouv\xE9 : a=b", true);
  f.log.LogLine("", true);
  f.log.LogLine("file only", false);
  EXPECT_EQ(f.File(), "-Non trouv\xE9 : a=b\r\n\r\nfile only\r\n");
  EXPECT_EQ(f.ui.MainWindow().MemoLines(), (std::vector<std::string>{"-Non trouv\xE9 : a=b", ""}));
}

TEST(run_log, a_second_run_in_the_same_second_appends_to_the_first_file) {
  LogFixture f;
  f.log.CreateLogFile();
  f.log.LogLine("first run", false);
  TRunState second;
  second.LogFileName = f.state.LogFileName;
  TRunLog log2(second, f.ui.MainWindow());
  log2.CreateLogFile();
  log2.LogLine("second run", false);
  EXPECT_EQ(f.File(), "first run\r\nsecond run\r\n");
}

TEST(run_log, silent_mode_writes_nothing_but_still_shows) {
  LogFixture f;
  f.log.CreateLogFile();
  f.state.SilentMode = true;
  f.log.LogLine("shown", true);
  EXPECT_EQ(f.File(), "");
  EXPECT_EQ(f.ui.MainWindow().MemoLines().size(), 1u);
}

TEST(run_log, lines_before_the_file_exists_are_lost_and_a_log_nowhere_to_write_is_said) {
  LogFixture f;
  f.log.LogLine("before", true);
  EXPECT_FALSE(os::FileExists(f.state.LogFileName)) << "appending never creates the file";

  f.state.LogFileName = f.dir.Path() + "/no such folder/Log.txt";
  f.log.CreateLogFile();
  f.log.LogLine("after", true);
  EXPECT_EQ(f.ui.MainWindow().MemoLines(),
            (std::vector<std::string>{
                "before", Utf8ToCp1252("Journal impossible à écrire : ") + f.state.LogFileName,
                "after"}));
}

TEST(run_log, a_log_name_taken_by_a_folder_loses_only_the_file_lines) {
  LogFixture f;
  std::filesystem::create_directory(f.state.LogFileName);
  f.log.CreateLogFile();
  f.log.LogLine("shown anyway", true);
  EXPECT_TRUE(std::filesystem::is_directory(f.state.LogFileName));
  EXPECT_EQ(f.ui.MainWindow().MemoLines().size(), 2u) << "the window says the log is not written";
  EXPECT_EQ(f.ui.MainWindow().MemoLines().back(), "shown anyway");
}

// Installed in a folder the user cannot write (/usr/bin), the log goes to
// the fallback folder under the same name, and the window says where.
TEST(run_log, an_executable_folder_that_takes_no_file_sends_the_log_to_the_fallback_folder) {
  enum class Goes { Beside, Fallback, Nowhere };
  struct Case {
    const char* name;
    std::function<void(const TempDir&)> prepare; // the executable's folder is <dir>/bin
    Goes goes;
  };
  const Case cases[] = {
      {"writable folder", [](const TempDir& d) { d.File("bin/.keep"); }, Goes::Beside},
      {"missing folder", [](const TempDir&) {}, Goes::Fallback},
      {"a file in place of the folder", [](const TempDir& d) { d.Write("bin", ""); },
       Goes::Fallback},
      {"log name taken by a folder",
       [](const TempDir& d) { d.File("bin/Log010203-040506.txt/.keep"); }, Goes::Fallback},
      {"fallback blocked too",
       [](const TempDir& d) {
         d.Write("bin", "");
         d.Write("state", "");
       },
       Goes::Nowhere},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    LogFixture f;
    c.prepare(f.dir);
    const std::string beside = f.dir.Path() + "/bin/Log010203-040506.txt";
    const std::string fallback = f.dir.Path() + "/state/nimbus-scripts/Log010203-040506.txt";
    f.state.LogFileName = beside;
    f.state.LogFallbackFileName = fallback;
    f.log.CreateLogFile();
    f.log.LogLine("line", true);

    std::vector<std::string> shown{"line"};
    switch (c.goes) {
    case Goes::Beside:
      EXPECT_EQ(ReadFile(beside), "line\r\n");
      EXPECT_FALSE(std::filesystem::exists(f.dir.Path() + "/state")) << "nothing created there";
      break;
    case Goes::Fallback:
      shown.insert(shown.begin(), "Journal : " + fallback);
      EXPECT_EQ(f.state.LogFileName, fallback);
      EXPECT_EQ(ReadFile(fallback), "line\r\n");
      EXPECT_FALSE(os::FileExists(beside));
      break;
    case Goes::Nowhere:
      shown.insert(shown.begin(),
                   Utf8ToCp1252("Journal impossible à écrire : ") + beside + ", " + fallback);
      break;
    }
    EXPECT_EQ(f.ui.MainWindow().MemoLines(), shown);
  }
}

// Permissions bind everyone but root, who writes anywhere.
TEST(run_log, a_read_only_executable_folder_sends_the_log_to_the_fallback_folder) {
  if (::geteuid() == 0)
    GTEST_SKIP() << "root writes into a read-only folder";
  LogFixture f;
  const std::string bin = f.dir.Path() + "/bin";
  std::filesystem::create_directory(bin);
  std::filesystem::permissions(bin, std::filesystem::perms::owner_read |
                                        std::filesystem::perms::owner_exec);
  f.state.LogFileName = bin + "/Log010203-040506.txt";
  f.state.LogFallbackFileName = f.dir.Path() + "/state/Log010203-040506.txt";
  f.log.CreateLogFile();
  f.log.LogLine("line", false);
  EXPECT_EQ(ReadFile(f.state.LogFallbackFileName), "line\r\n");
  EXPECT_EQ(f.ui.MainWindow().MemoLines(),
            (std::vector<std::string>{"Journal : " + f.state.LogFallbackFileName}));
}

} // namespace
} // namespace nimbus::test
