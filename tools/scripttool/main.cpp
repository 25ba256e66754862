#include <cerrno>
#include <cstdio>
#include <cstring>
#include <new>

#include "tools/scripttool/commands.h"

namespace {

int Usage() {
  std::fputs("usage: nimbus-scripttool parse [--text] [--terminator T] FILE\n"
             "       nimbus-scripttool encrypt IN OUT [--passphrase TEXT]\n"
             "       nimbus-scripttool decrypt IN OUT [--passphrase TEXT]\n"
             "       nimbus-scripttool check [--program-folder DIR] RUN.ini|SCRIPT\n",
             stderr);
  return 2;
}

int Dispatch(int argc, char** argv) {
  const char* command = argv[1];
  if (std::strcmp(command, "parse") == 0)
    return nimbus::scripttool::RunParse(argc - 2, argv + 2);
  if (std::strcmp(command, "encrypt") == 0)
    return nimbus::scripttool::RunEncrypt(argc - 2, argv + 2);
  if (std::strcmp(command, "decrypt") == 0)
    return nimbus::scripttool::RunDecrypt(argc - 2, argv + 2);
  if (std::strcmp(command, "check") == 0)
    return nimbus::scripttool::RunCheck(argc - 2, argv + 2);
  return Usage();
}

} // namespace

int main(int argc, char** argv) {
  if (argc < 2)
    return Usage();
  // A file read whole can still be too large for what is made of it (its
  // lines, its statements): say so rather than abort.
  try {
    return Dispatch(argc, argv);
  } catch (const std::bad_alloc&) {
    std::fprintf(stderr, "nimbus-scripttool %s: %s\n", argv[1], std::strerror(ENOMEM));
    return 2;
  }
}
