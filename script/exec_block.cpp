#include "script/exec_block.h"

#include "script/database_commands.h"
#include "script/runner.h"

namespace nimbus {

void TExecBlockBatcher::FlushBefore(const TStatementDesc& /*entry*/,
                                    const std::vector<std::string>& /*lines*/,
                                    std::int32_t /*Line*/, std::int32_t /*StatementNo*/) {
  // The buffer never holds statements yet (Take answers false).
}

bool TExecBlockBatcher::Take(const TStatementDesc& /*entry*/,
                             const std::vector<std::string>& /*lines*/, std::int32_t /*Line*/,
                             std::int32_t /*StatementNo*/) {
  return false;
}

void TExecBlockBatcher::FlushAtEnd() {}

void TExecBlockBatcher::HandleBatchStatement(const TStatementDesc& entry,
                                             const std::vector<std::string>& /*lines*/,
                                             std::int32_t /*Line*/, std::int32_t /*StatementNo*/) {
  RaiseUnsupportedCommand(entry.Kind == skBatchExecute ? "BATCH EXECUTE" : "BATCH START");
}

} // namespace nimbus
