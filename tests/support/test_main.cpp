// Every test program's entry point: gtest's, then the client library's
// threads are ended and leaks checked before the exit path runs (see
// ShutdownClientLibraries).
#include "fib/client_library.h"
#include "platform/os.h"

#include <gtest/gtest.h>

int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  const int result = RUN_ALL_TESTS();
  nimbus::ShutdownClientLibraries(1000);
  nimbus::os::CheckLeaksNow();
  return result;
}
