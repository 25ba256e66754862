#include "script/database_commands.h"

#include <stdexcept>

#include "script/runner.h"

namespace nimbus {

void RaiseUnsupportedCommand(const std::string& command) {
  throw std::runtime_error("Script command not supported yet: " + command);
}

void TScriptDatabaseCommands::Execute(const TStatementDesc& entry,
                                      const std::vector<std::string>& /*lines*/,
                                      std::int32_t /*StatementNo*/) {
  switch (entry.Kind) {
  case skConnect:
    RaiseUnsupportedCommand("CONNECT");
  case skDisconnect:
    RaiseUnsupportedCommand("DISCONNECT");
  case skReconnect:
    RaiseUnsupportedCommand("RECONNECT");
  case skCreateDatabase:
    RaiseUnsupportedCommand("CREATE DATABASE");
  case skDropDatabase:
    RaiseUnsupportedCommand("DROP DATABASE");
  default:
    throw std::logic_error("not a database command");
  }
}

void TScriptDatabaseCommands::Cleanup(bool /*afterFile*/) {
  // Only the database commands own an attachment or change forced writes;
  // until they exist there is nothing to undo.
}

} // namespace nimbus
