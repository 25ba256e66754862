#pragma once

namespace nimbus::scripttool {

// Each takes the arguments after its subcommand word and returns the exit status.
int RunParse(int argc, char** argv);
int RunEncrypt(int argc, char** argv);
int RunDecrypt(int argc, char** argv);
int RunCheck(int argc, char** argv);

} // namespace nimbus::scripttool
