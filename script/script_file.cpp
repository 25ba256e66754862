#include "script/script_file.h"

#include "fib/query.h"
#include "script/database_commands.h"
#include "script/runner.h"

namespace nimbus {

void TScriptFileRunner::Input(const TStatementDesc& entry) {
  const std::vector<std::string>& source = runner_.Source();
  const TScriptPos name = NextToken(source, entry.StartPos, entry.EndPos);
  ExecuteFile(name.Col ? TokenText(source, name, true) : std::string(), ";");
}

void TScriptFileRunner::ExecuteFile(const std::string& /*FileName*/,
                                    const std::string& /*Terminator*/) {
  RaiseUnsupportedCommand("INPUT");
}

void TScriptFileRunner::BindBlobParams() {
  TpFIBQuery& statement = *runner_.OwnStatement();
  for (int i = statement.ParamCount() - 1; i >= 0; --i) {
    const std::string& name = statement.ParamName(i);
    if (!name.empty() && (name[0] == 'H' || name[0] == 'h'))
      RaiseUnsupportedCommand("SET BLOBFILE");
  }
}

void TScriptFileRunner::CloseBlobFile() {
  // No blob file is ever opened yet.
}

} // namespace nimbus
