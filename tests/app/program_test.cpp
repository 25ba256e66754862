// nimbus-scripts run whole: exit status, standard output and standard error.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdlib>
#include <string>

#include "tests/support/temp_dir.h"

namespace nimbus::test {
namespace {

struct Outcome {
  int status; // -1 when the program did not exit by itself (a crash, an abort)
  std::string out;
  std::string err;
};

// `environment` goes before the program on an env(1) command line; no
// argument and standard input from /dev/null, so boxes do not wait.
Outcome RunProgram(const TempDir& dir, const std::string& environment) {
  const std::string command = "env " + environment +
                              " '" NIMBUS_BINARY_DIR "/app/nimbus-scripts' </dev/null >'" +
                              dir.Path() + "/out' 2>'" + dir.Path() + "/err'";
  const int status = std::system(command.c_str());
  return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, ReadFile(dir.Path() + "/out"),
          ReadFile(dir.Path() + "/err")};
}

TEST(program, a_display_nothing_answers_on_gives_console_mode_with_a_notice) {
  struct Case {
    const char* environment;
    const char* named;
  };
  // Nothing listens on these displays.
  const Case cases[] = {
      {"DISPLAY=:387", "DISPLAY=:387"},
      {"WAYLAND_DISPLAY=nimbus-none-387", "WAYLAND_DISPLAY=nimbus-none-387"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.environment);
    TempDir dir;
    const Outcome outcome = RunProgram(
        dir, std::string("-u QT_QPA_PLATFORM -u DISPLAY -u WAYLAND_DISPLAY -u XDG_SESSION_TYPE ") +
                 c.environment);
    EXPECT_EQ(outcome.status, 0) << outcome.err;
    EXPECT_EQ(outcome.err, std::string("nimbus-scripts: no display can be opened (") + c.named +
                               "); console mode\n");
    EXPECT_EQ(outcome.out.rfind("[Information] Aucune configuration d\xC3\xA9"
                                "finie.",
                                0),
              0u)
        << outcome.out;
  }
}

} // namespace
} // namespace nimbus::test
