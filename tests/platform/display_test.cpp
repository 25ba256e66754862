// Whether the program may choose the Qt window system. Nothing listens on the
// X display ":387" here, nor on the Wayland display named below, and Qt has
// no platform named "nimbus-none-387".
#include "platform/display.h"

#include <gtest/gtest.h>

#include <stdlib.h>

#include <optional>
#include <string>

namespace nimbus {
namespace {

const char* const kVariables[] = {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY",
                                  "XDG_SESSION_TYPE"};

// Sets the display variables for the life of the object (null: unset) and
// puts the previous values back.
class DisplayVariables {
public:
  explicit DisplayVariables(const std::optional<std::string> (&values)[4]) {
    for (int i = 0; i < 4; ++i) {
      const char* old = getenv(kVariables[i]);
      saved_[i] = old ? std::optional<std::string>(old) : std::nullopt;
      Set(kVariables[i], values[i]);
    }
  }
  ~DisplayVariables() {
    for (int i = 0; i < 4; ++i)
      Set(kVariables[i], saved_[i]);
  }

private:
  static void Set(const char* name, const std::optional<std::string>& value) {
    value ? setenv(name, value->c_str(), 1) : unsetenv(name);
  }
  std::optional<std::string> saved_[4];
};

TEST(display, only_a_platform_that_can_start_is_usable) {
  struct Case {
    std::optional<std::string> values[4]; // in the order of kVariables
    bool usable;
    const char* named;
  };
  const std::nullopt_t none = std::nullopt;
  const Case cases[] = {
      {{none, none, none, none}, false, ""},
      {{"", "", "", none}, false, ""},
      {{"offscreen", none, none, none}, true, "QT_QPA_PLATFORM=offscreen"},
      {{"vnc:size=800x600", none, none, none}, true, "QT_QPA_PLATFORM=vnc:size=800x600"},
      {{none, ":387", none, none}, false, "DISPLAY=:387"},
      {{"xcb", ":387", none, none}, false, "QT_QPA_PLATFORM=xcb, DISPLAY=:387"},
      {{"xcb;offscreen", ":387", none, none}, true, "QT_QPA_PLATFORM=xcb;offscreen, DISPLAY=:387"},
      // Qt has no such plugin and would end the process.
      {{"nimbus-none-387", none, none, none}, false, "QT_QPA_PLATFORM=nimbus-none-387"},
      {{"nimbus-none-387;offscreen", none, none, none},
       true,
       "QT_QPA_PLATFORM=nimbus-none-387;offscreen"},
      {{none, none, "nimbus-none-387", none}, false, "WAYLAND_DISPLAY=nimbus-none-387"},
      {{none, ":387", "nimbus-none-387", "wayland"},
       false,
       "DISPLAY=:387, WAYLAND_DISPLAY=nimbus-none-387"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.named);
    const DisplayVariables variables(c.values);
    const TDisplayProbe probe = ProbeDisplay();
    EXPECT_EQ(probe.Usable, c.usable);
    EXPECT_EQ(probe.Named, c.named);
  }
}

} // namespace
} // namespace nimbus
