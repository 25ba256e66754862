#include <cstdio>

#include "tools/scripttool/commands.h"

namespace nimbus::scripttool {

int RunParse(int, char**) {
  std::fputs("parse: not available yet\n", stderr);
  return 2;
}

} // namespace nimbus::scripttool
