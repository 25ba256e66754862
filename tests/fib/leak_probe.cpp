// Sanitized builds only: works with the server through the client library,
// then loses one allocation of its own. CTest expects the leak checker to
// report exactly that one, so it still sees our leaks once the client's are
// set aside, and does not crash on the client's thread-local storage.
#include "fib/client_library.h"
#include "fib/errors.h"
#include "platform/os.h"
#include "tests/support/test_server.h"

#include <cstdio>
#include <string>

#include <unistd.h>

int main() {
  using namespace nimbus;
  IIBClientLibraryPtr library = GetClientLibrary("fbclient.dll");
  const std::string create = "CREATE DATABASE '" + test::ServerAddress() + ":" +
                             test::ServerDataFolder() + "/nimbus_leak_probe_" +
                             std::to_string(::getpid()) + ".fdb' USER '" + test::ServerUser() +
                             "' PASSWORD '" + test::ServerPassword() + "'";
  isc_db_handle database = 0;
  isc_tr_handle transaction = 0;
  if (library->isc_dsql_execute_immediate(StatusVector(), &database, &transaction, 0,
                                          create.c_str(), 3, nullptr) != 0 ||
      library->isc_drop_database(StatusVector(), &database) != 0) {
    std::puts("leak probe: the test server did not take the database");
    return 1;
  }

  static int* volatile lost;
  lost = new int[3];
  lost = nullptr;
  (void)lost;

  ShutdownClientLibraries(1000);
  os::CheckLeaksNow();
  return 0;
}
