#include "script/exec_block.h"

#include <stdexcept>
#include <string_view>

#include "fib/database.h"
#include "fib/errors.h"
#include "fib/query.h"
#include "fib/transaction.h"
#include "script/runner.h"
#include "script/script_text.h"

namespace nimbus {

namespace {

constexpr std::int32_t kMaxBlockStatements = 255;
// The server's limit of contexts (tables, views, procedures met) in one
// statement.
constexpr std::int32_t kMaxBlockContexts = 256;
// The longest statement text the client API takes; every line is sent
// followed by CR LF.
constexpr std::int64_t kMaxBlockText = 65535;
constexpr std::string_view kBlockHead = "EXECUTE BLOCK AS BEGIN";
constexpr std::int32_t kEndLength = 3 + 2;   // "END"
constexpr std::int32_t kCloseLength = 1 + 2; // ";" on its own line

// The words of a statement outside literals, quoted names and comments, in
// upper case (ASCII letters only: keywords are ASCII).
std::vector<std::string> Words(const std::vector<std::string>& lines) {
  std::vector<std::string> words;
  bool inComment = false;
  char quote = 0;
  for (const std::string& line : lines) {
    const std::size_t n = line.size();
    for (std::size_t i = 0; i < n;) {
      const unsigned char c = static_cast<unsigned char>(line[i]);
      if (inComment) {
        if (c == '*' && i + 1 < n && line[i + 1] == '/') {
          inComment = false;
          i += 2;
        } else {
          ++i;
        }
      } else if (quote) {
        if (c == static_cast<unsigned char>(quote))
          quote = 0; // a doubled quote reopens at once
        ++i;
      } else if (c == '\'' || c == '"') {
        quote = static_cast<char>(c);
        ++i;
      } else if (c == '-' && i + 1 < n && line[i + 1] == '-') {
        break;
      } else if (c == '/' && i + 1 < n && line[i + 1] == '*') {
        inComment = true;
        i += 2;
      } else if (IsWordByte(c)) {
        std::string word;
        for (; i < n && IsWordByte(static_cast<unsigned char>(line[i])); ++i) {
          char w = line[i];
          if (w >= 'a' && w <= 'z')
            w = static_cast<char>(w - 'a' + 'A');
          word += w;
        }
        words.push_back(std::move(word));
      } else {
        ++i;
      }
    }
  }
  return words;
}

std::int64_t CountedLength(const std::vector<std::string>& lines) {
  std::int64_t n = 0;
  for (const std::string& line : lines)
    n += static_cast<std::int64_t>(line.size()) + 2;
  return n;
}

} // namespace

// Contexts measured on the test server (Firebird 3.0): EXECUTE BLOCKs of N
// copies of one statement on a one-table database, N raised until the
// prepare failed with "Too many Contexts": 256 INSERT or DELETE passed, 128
// UPDATE, 85 UPDATE OR INSERT, 64 MERGE ... USING RDB$DATABASE, 128 INSERT
// ... SELECT FROM one table, 85 UPDATE with a one-table subquery and 85
// INSERT ... SELECT from a two-table JOIN. So: 1 for the target of INSERT,
// 2 for UPDATE, 3 for UPDATE OR INSERT and MERGE, plus 1 for every table
// read (FROM, JOIN, USING; DELETE's own FROM is its target). Tables listed
// with commas are not counted; a block refused for that still runs its
// statements one by one.
std::int32_t TExecBlockBatcher::ContextWeight(const std::vector<std::string>& lines) {
  const std::vector<std::string> words = Words(lines);
  if (words.empty())
    return 1;
  std::int32_t weight = 0;
  if (words[0] == "INSERT")
    weight = 1;
  else if (words[0] == "UPDATE")
    weight = words.size() > 1 && words[1] == "OR" ? 3 : 2;
  else if (words[0] == "MERGE")
    weight = 3;
  for (const std::string& word : words)
    if (word == "FROM" || word == "JOIN" || word == "USING")
      ++weight;
  return weight < 1 ? 1 : weight;
}

bool TExecBlockBatcher::FitsInBlock(const std::vector<std::string>& lines) {
  const std::vector<std::string> words = Words(lines);
  if (words.empty())
    return false;
  const std::string& first = words[0];
  if (first != "INSERT" && first != "UPDATE" && first != "DELETE" && first != "MERGE")
    return false;
  // Output values have nowhere to go inside a block.
  for (const std::string& word : words)
    if (word == "RETURNING")
      return false;
  return true;
}

bool TExecBlockBatcher::Append(const std::vector<std::string>& lines, std::int32_t length,
                               std::int32_t contexts) {
  if (BlockCount >= kMaxBlockStatements || BlockContexts + contexts > kMaxBlockContexts)
    return false;
  const std::int64_t head = BlockLength > 0 ? BlockLength : std::int64_t(kBlockHead.size()) + 2;
  if (head + length + kCloseLength + kEndLength > kMaxBlockText)
    return false;
  if (BlockLength == 0) {
    BlockBuffer.assign(1, std::string(kBlockHead));
    BlockCount = 0;
    BlockContexts = 0;
  }
  BlockBuffer.insert(BlockBuffer.end(), lines.begin(), lines.end());
  // On its own line: a last line ending in a "--" comment would swallow it.
  BlockBuffer.emplace_back(";");
  BlockLength = static_cast<std::int32_t>(head + length + kCloseLength);
  BlockCount += 1;
  BlockContexts += contexts;
  return true;
}

bool TExecBlockBatcher::Take(const TStatementDesc& entry, const std::vector<std::string>& lines,
                             std::int32_t Line, std::int32_t StatementNo) {
  TpFIBQuery& statement = *runner_.OwnStatement();
  const std::int64_t length = CountedLength(lines);
  const bool batchable =
      statement.ParamCount() == 0 && FitsInBlock(lines) &&
      length + std::int64_t(kBlockHead.size()) + 2 + kCloseLength + kEndLength <= kMaxBlockText;
  const std::int32_t contexts = batchable ? ContextWeight(lines) : 0;
  if (batchable && Append(lines, static_cast<std::int32_t>(length), contexts)) {
    pending_.push_back({entry, lines, Line, StatementNo});
    return true;
  }
  // The buffer runs first, under this statement's number.
  const TPending self{entry, lines, Line, StatementNo};
  if (HoldsStatements() && !Flush(&self))
    return true;
  if (batchable && Append(lines, static_cast<std::int32_t>(length), contexts)) {
    pending_.push_back(self);
    return true;
  }
  statement.SQL().Assign(lines);
  return false;
}

bool TExecBlockBatcher::FlushBefore(const TStatementDesc& entry,
                                    const std::vector<std::string>& lines, std::int32_t Line,
                                    std::int32_t StatementNo) {
  const TPending context{entry, lines, Line, StatementNo};
  return Flush(&context);
}

void TExecBlockBatcher::FlushForQuery() {
  if (!runner_.UseExecBlockForDML || !HoldsStatements())
    return;
  const TPending last = pending_.back();
  Flush(&last);
}

void TExecBlockBatcher::FinishRun() {
  if (runner_.UseExecBlockForDML && HoldsStatements())
    Flush(nullptr);
  if (runner_.in_batch_) {
    const std::size_t count = batch_.size();
    Discard();
    throw std::runtime_error("BATCH START without BATCH EXECUTE: " + std::to_string(count) +
                             " collected statement(s) not executed");
  }
}

void TExecBlockBatcher::Discard() {
  BlockBuffer.clear();
  BlockCount = 0;
  BlockLength = 0;
  BlockContexts = 0;
  pending_.clear();
  runner_.in_batch_ = false;
  runner_.batch_texts_.clear();
  batch_.clear();
}

bool TExecBlockBatcher::Flush(const TPending* context) {
  if (!HoldsStatements())
    return true;
  std::vector<std::string> block = std::move(BlockBuffer);
  block.emplace_back("END");
  std::vector<TPending> statements = std::move(pending_);
  BlockBuffer.clear();
  pending_.clear();
  BlockCount = 0;
  BlockLength = 0;
  BlockContexts = 0;

  TpFIBQuery& statement = *runner_.OwnStatement();
  try {
    if (TpFIBTransaction* t = runner_.EffectiveTransaction(); !t->Active())
      t->StartTransaction();
    statement.SQL().Assign(std::move(block));
    statement.ExecQuery();
  } catch (const EFIBError& error) {
    if (!runner_.OnExecuteError)
      throw;
    if (IsConnectionLost(error)) // nothing more can run: report it once
      runner_.ErrorPath(error, context ? context->Entry : statements.back().Entry,
                        context ? context->Lines : statements.back().Lines,
                        context ? context->StatementNo : statements.back().StatementNo);
    // A failed block applied nothing: each statement runs again on its own.
    return RunEach(statements);
  }
  if (context) {
    if (runner_.progress_)
      runner_.progress_(context->Line, context->StatementNo);
    if (runner_.AfterStatementExecute)
      runner_.AfterStatementExecute(&runner_, context->Line, context->StatementNo, context->Entry,
                                    context->Lines);
  }
  return true;
}

bool TExecBlockBatcher::RunEach(const std::vector<TPending>& statements) {
  for (const TPending& p : statements) {
    if (runner_.stop_requested_)
      return false;
    try {
      runner_.OwnStatement()->SQL().Assign(p.Lines);
    } catch (const EFIBError& error) {
      if (!runner_.OnExecuteError)
        throw;
      runner_.ErrorPath(error, p.Entry, p.Lines, p.StatementNo);
      continue;
    }
    runner_.ExecuteCurrent(p.Entry, p.Lines, p.Line, p.StatementNo);
  }
  return !runner_.stop_requested_;
}

void TExecBlockBatcher::RunCollected(const std::vector<TCollected>& statements) {
  const std::vector<std::string>* const source = runner_.source_;
  struct TRestore {
    TpFIBScripter& runner;
    const std::vector<std::string>* source;
    ~TRestore() { runner.source_ = source; }
  } restore{runner_, source};
  for (const TCollected& c : statements) {
    if (runner_.stop_requested_)
      return;
    const TPending& p = c.Statement;
    runner_.source_ = c.Source ? c.Source.get() : &runner_.script_.Lines();
    // Decided when it was collected, against the directive map of its time.
    TStatementDesc entry = p.Entry;
    entry.DirectiveIndex = -1;
    std::vector<std::string> lines = p.Lines;
    runner_.ExecuteStatement(entry, lines, p.Line, p.StatementNo - 1);
  }
}

void TExecBlockBatcher::HandleBatchStatement(
    const TStatementDesc& entry, const std::vector<std::string>& lines, std::int32_t Line,
    std::int32_t StatementNo, std::shared_ptr<const std::vector<std::string>> source) {
  // Directive statements keep deciding what is collected.
  if (entry.Kind == skDirective) {
    std::vector<std::string> copy = lines;
    runner_.ExecuteStatement(entry, copy, Line, StatementNo - 1);
    return;
  }
  if (entry.DirectiveIndex >= 0 &&
      !runner_.DirectiveAllows(entry.DirectiveIndex, entry.InElseBranch))
    return;
  if (entry.Kind != skBatchStart && entry.Kind != skBatchExecute) {
    runner_.batch_texts_.push_back(JoinLines(lines));
    batch_.push_back({{entry, lines, Line, StatementNo}, std::move(source)});
    return;
  }
  if (runner_.UseExecBlockForDML && HoldsStatements() &&
      !FlushBefore(entry, lines, Line, StatementNo))
    return;
  if (entry.Kind == skBatchStart) {
    runner_.in_batch_ = true;
    runner_.batch_texts_.clear();
    batch_.clear();
    return;
  }
  runner_.in_batch_ = false;
  const std::vector<std::string> texts = std::move(runner_.batch_texts_);
  const std::vector<TCollected> statements = std::move(batch_);
  runner_.batch_texts_.clear();
  batch_.clear();
  if (TpFIBTransaction* t = runner_.EffectiveTransaction(); !t->Active())
    t->StartTransaction();
  if (runner_.BeforeStatementExecute)
    runner_.BeforeStatementExecute(&runner_, Line, StatementNo, entry, {});
  TpFIBDatabase* db = runner_.Database();
  if (db && db->IsNewInterBase()) {
    runner_.OwnStatement()->ExecuteBatch(texts);
    return;
  }
  // Elsewhere (Firebird included) the statement layer's batch sends
  // nothing: the statements run one by one instead.
  RunCollected(statements);
}

} // namespace nimbus
