#include <cstdio>
#include <cstring>

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

} // namespace

int main(int argc, char** argv) {
  if (argc < 2)
    return Usage();
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
