#pragma once

#include <string>

namespace nimbus {

// Whether the Qt window system can start here. Qt ends the process when no
// platform it tries can start, so the program asks before choosing it.
struct TDisplayProbe {
  // A platform Qt would try can start: one that needs no display
  // (QT_QPA_PLATFORM=offscreen, ...), an X server that accepts a connection,
  // or a Wayland compositor when Qt has its Wayland plugin.
  bool Usable = false;
  // The variables that asked for a display, "NAME=value" joined by ", ";
  // empty when none did.
  std::string Named;
};

TDisplayProbe ProbeDisplay();

} // namespace nimbus
