#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "script/script_types.h"

namespace nimbus {

class TpFIBScripter;

// Batched execution: consecutive DML gathered into one EXECUTE BLOCK while
// UseExecBlockForDML holds, and BATCH START ... BATCH EXECUTE blocks.
//
// The server runs a block all or nothing: when it fails, nothing of it was
// applied, and its statements run again one by one, each with its own
// number, line, events and error. Only statements that can live inside a
// block are taken (parameter-free INSERT, UPDATE, DELETE, MERGE without
// RETURNING), weighed by the contexts they open so that the server never
// refuses a block for having too many.
//
// A BATCH block runs as one server batch where the server has batch
// execution (InterBase 8 and later); elsewhere its statements run one by one
// at BATCH EXECUTE as they would outside the block (REINSERT, script
// commands and all), the directives having been decided as they came.
class TExecBlockBatcher {
public:
  explicit TExecBlockBatcher(TpFIBScripter& runner) : runner_(runner) {}

  // The buffer holds statements not sent yet.
  bool HoldsStatements() const { return BlockLength > 0; }
  // Before a statement that cannot join the buffer: the buffer runs first,
  // under that statement's number. False when an error handler asked to
  // stop: the statement must not run then.
  bool FlushBefore(const TStatementDesc& entry, const std::vector<std::string>& lines,
                   std::int32_t Line, std::int32_t StatementNo);
  // Before a directive's query reads the database: what is buffered must be
  // visible to it.
  void FlushForQuery();
  // A DML, INSERT or REINSERT statement whose text is in OwnStatement: true
  // when the statement is done (taken into the buffer, or skipped because a
  // failed flush asked to stop); false when it is to run on its own, with
  // its text in OwnStatement again.
  bool Take(const TStatementDesc& entry, const std::vector<std::string>& lines, std::int32_t Line,
            std::int32_t StatementNo);
  // End of a run that was not stopped: the buffer runs without events, and
  // a batch left open is an error.
  void FinishRun();
  // Forgets unsent statements and an open batch: statements of a failed or
  // stopped script must never run in the next script's transaction.
  void Discard();

  // BATCH START, BATCH EXECUTE, and every statement while InBatch holds.
  // `source` holds the lines the entry's positions point into when they do
  // not outlive the call (the chunk of a file); none stands for Script.
  void HandleBatchStatement(const TStatementDesc& entry, const std::vector<std::string>& lines,
                            std::int32_t Line, std::int32_t StatementNo,
                            std::shared_ptr<const std::vector<std::string>> source = nullptr);

  // Contexts a statement opens on the server (its weight in a block).
  static std::int32_t ContextWeight(const std::vector<std::string>& lines);
  // Whether the statement can run inside an EXECUTE BLOCK as written
  // (parameters aside).
  static bool FitsInBlock(const std::vector<std::string>& lines);

  // The EXECUTE BLOCK buffer: its lines, statements in it and counted length
  // (each line's characters plus 2).
  std::vector<std::string> BlockBuffer;
  std::int32_t BlockCount = 0;
  std::int32_t BlockLength = 0;
  // Sum of the buffered statements' context weights.
  std::int32_t BlockContexts = 0;

private:
  // A statement as it was met: what its own run needs when the block fails.
  struct TPending {
    TStatementDesc Entry;
    std::vector<std::string> Lines;
    std::int32_t Line = 0;
    std::int32_t StatementNo = 0;
  };

  bool Append(const std::vector<std::string>& lines, std::int32_t length, std::int32_t contexts);
  // Runs the buffer; on success the events carry `context` (none at the end
  // of a run). False when an error handler asked to stop.
  bool Flush(const TPending* context);
  // A statement collected by a BATCH block, with the lines its script
  // commands read their words from.
  struct TCollected {
    TPending Statement;
    std::shared_ptr<const std::vector<std::string>> Source; // none: Script
  };

  // Each statement through ExecuteCurrent; stops when a handler asks to.
  bool RunEach(const std::vector<TPending>& statements);
  // A BATCH block's statements where the server has no batch execution:
  // each one as if it stood outside the block.
  void RunCollected(const std::vector<TCollected>& statements);

  TpFIBScripter& runner_;
  std::vector<TPending> pending_;
  std::vector<TCollected> batch_; // BATCH statements beside BatchTexts
};

} // namespace nimbus
