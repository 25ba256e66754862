#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "script/script_types.h"

namespace nimbus {

class TpFIBScripter;

// CONNECT, DISCONNECT, RECONNECT, CREATE DATABASE and DROP DATABASE: carried
// out by the runner on its attachment, never sent to the server as
// statements. They fire BeforeStatementExecute only; AutoDDL does not apply.
//
// Not built yet: each command raises a general error naming itself. The
// runner already dispatches here and keeps the state these commands need
// (OwnsDatabase, ForceWriteChanged, Dialect, NamesCharset,
// ClientLibraryName).
class TScriptDatabaseCommands {
public:
  explicit TScriptDatabaseCommands(TpFIBScripter& runner) : runner_(runner) {}

  // For kinds skConnect, skDisconnect, skReconnect, skCreateDatabase and
  // skDropDatabase.
  void Execute(const TStatementDesc& entry, const std::vector<std::string>& lines,
               std::int32_t StatementNo);
  // End of RunScript (`afterFile` false) or of ExecuteFile (true), also when
  // an error leaves them: forced writes back on, an owned attachment
  // committed and released. Must not fail when nothing is to be undone.
  void Cleanup(bool afterFile);

private:
  TpFIBScripter& runner_;
};

// The general error of a script command that this build does not carry out.
[[noreturn]] void RaiseUnsupportedCommand(const std::string& command);

} // namespace nimbus
