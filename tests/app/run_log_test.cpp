#include <gtest/gtest.h>

#include <filesystem>

#include "app/run_log.h"
#include "app/run_state.h"
#include "platform/os.h"
#include "platform/scripted_ui.h"
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

TEST(run_log, lines_before_the_file_exists_or_in_an_unwritable_folder_are_lost_quietly) {
  LogFixture f;
  f.log.LogLine("before", true);
  EXPECT_FALSE(os::FileExists(f.state.LogFileName)) << "appending never creates the file";

  f.state.LogFileName = f.dir.Path() + "/no such folder/Log.txt";
  f.log.CreateLogFile();
  f.log.LogLine("after", true);
  EXPECT_EQ(f.ui.MainWindow().MemoLines(), (std::vector<std::string>{"before", "after"}));
}

TEST(run_log, a_log_name_taken_by_a_folder_loses_only_the_file_lines) {
  LogFixture f;
  std::filesystem::create_directory(f.state.LogFileName);
  f.log.CreateLogFile();
  f.log.LogLine("shown anyway", true);
  EXPECT_TRUE(std::filesystem::is_directory(f.state.LogFileName));
  EXPECT_EQ(f.ui.MainWindow().MemoLines().size(), 1u);
}

} // namespace
} // namespace nimbus::test
