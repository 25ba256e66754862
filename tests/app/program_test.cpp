// nimbus-scripts run whole: exit status, standard output and standard error.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "app/usage.h"
#include "tests/support/temp_dir.h"

namespace nimbus::test {
namespace {

struct Outcome {
  int status; // -1 when the program did not exit by itself (a crash, an abort)
  std::string out;
  std::string err;
};

// `environment` goes before the program on an env(1) command line,
// `arguments` (shell words) after it; standard input from /dev/null, so
// boxes do not wait.
Outcome RunProgram(const TempDir& dir, const std::string& environment,
                   const std::string& arguments = "") {
  const std::string command = "env " + environment +
                              " '" NIMBUS_BINARY_DIR "/app/nimbus-scripts' " + arguments +
                              " </dev/null >'" + dir.Path() + "/out' 2>'" + dir.Path() + "/err'";
  const int status = std::system(command.c_str());
  return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, ReadFile(dir.Path() + "/out"),
          ReadFile(dir.Path() + "/err")};
}

TEST(program, a_display_nothing_answers_on_gives_console_mode_with_a_notice) {
  struct Case {
    const char* environment;
    const char* named;
  };
  // Nothing listens on these displays, and Qt has no such platform.
  const Case cases[] = {
      {"DISPLAY=:387", "DISPLAY=:387"},
      {"WAYLAND_DISPLAY=nimbus-none-387", "WAYLAND_DISPLAY=nimbus-none-387"},
      {"QT_QPA_PLATFORM=nimbus-none-387", "QT_QPA_PLATFORM=nimbus-none-387"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.environment);
    TempDir dir;
    const Outcome outcome = RunProgram(
        dir, std::string("-u QT_QPA_PLATFORM -u DISPLAY -u WAYLAND_DISPLAY -u XDG_SESSION_TYPE ") +
                 c.environment);
    EXPECT_EQ(outcome.status, 2) << outcome.err;
    EXPECT_EQ(outcome.err, std::string("nimbus-scripts: no display can be opened (") + c.named +
                               "); console mode\n");
    EXPECT_EQ(outcome.out.rfind("[Information] Aucune configuration d\xC3\xA9"
                                "finie.",
                                0),
              0u)
        << outcome.out;
  }
}

// They answer before anything else, whatever else the command line holds:
// no box, no display probe, no log.
TEST(program, help_and_version_print_and_exit_zero_before_the_run) {
  struct Case {
    const char* arguments;
    std::string out;
  };
  const Case cases[] = {
      {"--version", VersionText()},
      {"--help", UsageText()},
      {"missing.ini --console --help", UsageText()},
      {"--version --help", VersionText()},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.arguments);
    TempDir dir;
    const Outcome outcome = RunProgram(dir, "DISPLAY=:387", c.arguments);
    EXPECT_EQ(outcome.status, 0);
    EXPECT_EQ(outcome.out, c.out);
    EXPECT_EQ(outcome.err, "");
  }
  // "x.y.z": three numbers, two dots.
  const std::string version = VersionText();
  ASSERT_TRUE(version.starts_with("nimbus-scripts ") && version.ends_with("\n")) << version;
  const std::string number = version.substr(15, version.size() - 16);
  EXPECT_EQ(std::count(number.begin(), number.end(), '.'), 2) << number;
  EXPECT_EQ(number.find_first_not_of("0123456789."), std::string::npos) << number;
}

TEST(program, help_that_cannot_be_written_is_a_failure) {
  TempDir dir;
  const std::string command =
      "'" NIMBUS_BINARY_DIR "/app/nimbus-scripts' --help >/dev/full 2>'" + dir.Path() + "/err'";
  const int status = std::system(command.c_str());
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1);
  EXPECT_EQ(ReadFile(dir.Path() + "/err"), "nimbus-scripts: cannot write to standard output\n");
}

// What a shell sees of a run: the exit status and the last line, for a run
// that could not start, and for one whose script could not be applied (its
// server does not answer: no server is needed for that).
TEST(program, the_exit_status_and_the_last_line_say_how_the_run_ended) {
  TempDir dir;
  // A copy of its own, so that the log goes beside it.
  const std::string program = dir.File("bin/nimbus-scripts");
  std::filesystem::copy_file(NIMBUS_BINARY_DIR "/app/nimbus-scripts", program);
  const std::string script = dir.Write("a.sql", "SELECT 1 FROM RDB$DATABASE;\n");
  // Port 1 on the loopback: nothing listens there.
  const std::string ini = dir.Write("run.ini", "[configuration]\nip=127.0.0.1/1\nparam2=1\n"
                                               "[scripts]\n1=" +
                                                   script + "\n");
  struct Case {
    std::string arguments;
    int status;
    std::string lastLine; // empty: no summary line
  };
  const Case cases[] = {
      {"", 2, ""},
      {"'" + dir.Path() + "/missing.ini'", 2, ""},
      {"'" + ini + "'", 1, "nimbus-scripts: 1 script(s): 0 applied, 1 failed, 0 skipped"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.arguments);
    const std::string command = "env -u DISPLAY -u WAYLAND_DISPLAY PROGRAMFILES='" + dir.Path() +
                                "/pf' '" + program + "' --console " + c.arguments +
                                " </dev/null >'" + dir.Path() + "/out' 2>/dev/null";
    const int status = std::system(command.c_str());
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), c.status);
    const std::string out = ReadFile(dir.Path() + "/out");
    const bool summarised = out.find("nimbus-scripts: ") != std::string::npos;
    if (c.lastLine.empty())
      EXPECT_FALSE(summarised) << out;
    else
      EXPECT_TRUE(out.ends_with("\n" + c.lastLine + "\n")) << out;
  }
  EXPECT_TRUE(std::filesystem::exists(script)) << "a script not applied stays";
}

} // namespace
} // namespace nimbus::test
