#pragma once

#include <cstdlib>
#include <string>

namespace nimbus::test {

// The local Firebird test server that scripts/setup.sh starts and configures.
inline std::string ServerAddress() {
  return "127.0.0.1";
}
inline std::string ServerUser() {
  return "SYSDBA";
}
inline std::string ServerPassword() {
  const char* password = std::getenv("NIMBUS_TEST_PASSWORD");
  return password && *password ? password : "ZEPHYRINE";
}
// Folder on the server where tests may create their own databases.
inline std::string ServerDataFolder() {
  return "/var/lib/firebird/3.0/data";
}

} // namespace nimbus::test
