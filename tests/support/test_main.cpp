// Every test program's entry point. The leak checker of the sanitized build
// stops every thread at exit, and crashes now and then on a thread that is
// ending at that moment. A test that reached the server leaves the client
// library's threads running until its exit handlers stop them: end them here
// instead, and wait until they are gone. fb_shutdown starts a thread of its
// own, so a program that never ran another thread is left alone.
#include <chrono>
#include <thread>

#include "fib/client_library.h"
#include "platform/os.h"

#include <gtest/gtest.h>

namespace {

void EndClientThreads() {
  if (nimbus::os::ThreadCount() <= 1)
    return;
  nimbus::ShutdownClientLibraries();
  for (int i = 0; i < 200 && nimbus::os::ThreadCount() > 1; ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
}

} // namespace

int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  const int result = RUN_ALL_TESTS();
  EndClientThreads();
  return result;
}
