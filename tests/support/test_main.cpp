// Every test program's entry point. After the tests, the client library's
// own threads are ended before the process exits: threads still ending while
// the leak checker stops the world at exit can crash it.
#include "fib/client_library.h"

#include <gtest/gtest.h>

int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  const int result = RUN_ALL_TESTS();
  nimbus::ShutdownClientLibraries();
  return result;
}
