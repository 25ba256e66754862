#include <cstdio>

#include "tools/scripttool/commands.h"

namespace nimbus::scripttool {

int RunEncrypt(int, char**) {
  std::fputs("encrypt: not available yet\n", stderr);
  return 2;
}

int RunDecrypt(int, char**) {
  std::fputs("decrypt: not available yet\n", stderr);
  return 2;
}

} // namespace nimbus::scripttool
