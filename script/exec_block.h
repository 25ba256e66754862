#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "script/script_types.h"

namespace nimbus {

class TpFIBScripter;

// Batched execution: consecutive DML gathered into one EXECUTE BLOCK while
// UseExecBlockForDML holds, and BATCH START ... BATCH EXECUTE blocks.
//
// Not built yet. The buffer never takes a statement, so with
// UseExecBlockForDML on every DML statement still runs on its own (the same
// work, one statement at a time); BATCH START and BATCH EXECUTE raise a
// general error naming the command. The runner already calls every hook at
// its place.
class TExecBlockBatcher {
public:
  explicit TExecBlockBatcher(TpFIBScripter& runner) : runner_(runner) {}

  // The buffer holds statements not sent yet.
  bool HoldsStatements() const { return BlockLength > 0; }
  // Before a statement that cannot join the buffer: the buffer runs first,
  // under that statement's number.
  void FlushBefore(const TStatementDesc& entry, const std::vector<std::string>& lines,
                   std::int32_t Line, std::int32_t StatementNo);
  // A DML, INSERT or REINSERT statement whose text is in OwnStatement: true
  // when the buffer took it, and the statement is done.
  bool Take(const TStatementDesc& entry, const std::vector<std::string>& lines, std::int32_t Line,
            std::int32_t StatementNo);
  // End of a run that was not stopped: the buffer runs without events.
  void FlushAtEnd();

  // BATCH START, BATCH EXECUTE, and every statement while InBatch holds.
  void HandleBatchStatement(const TStatementDesc& entry, const std::vector<std::string>& lines,
                            std::int32_t Line, std::int32_t StatementNo);

  // The EXECUTE BLOCK buffer: its lines, statements in it and counted length
  // (each line's characters plus 2). Kept for the runner's life.
  std::vector<std::string> BlockBuffer;
  std::int32_t BlockCount = 0;
  std::int32_t BlockLength = 0;

private:
  [[maybe_unused]] TpFIBScripter& runner_; // used once the buffer runs statements
};

} // namespace nimbus
