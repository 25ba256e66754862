#include "script/script_file.h"

#include <optional>
#include <stdexcept>
#include <string_view>

#include "fib/query.h"
#include "platform/exception.h"
#include "platform/os.h"
#include "platform/text.h"
#include "script/runner.h"
#include "script/script_text.h"

namespace nimbus {

namespace {

constexpr std::string_view kUtf8Mark = "\xEF\xBB\xBF";
constexpr std::size_t kReadPiece = 65536;

// Lines of a script file as they are read: split at CR LF, LF or CR, a final
// line break adding no empty line. A file that opens with the UTF-8 mark is
// UTF-8 and its lines are converted to Windows-1252.
class TLineReader {
public:
  explicit TLineReader(os::TReadOnlyFile& file) : file_(file) {}

  bool Next(std::string& out) {
    out.clear();
    bool any = false;
    for (;;) {
      if (pos_ == buffer_.size() && !Fill()) {
        if (!any)
          return false;
        break;
      }
      any = true;
      const std::size_t stop = buffer_.find_first_of("\r\n", pos_);
      if (stop == std::string::npos) {
        out.append(buffer_, pos_);
        pos_ = buffer_.size();
        continue;
      }
      out.append(buffer_, pos_, stop - pos_);
      pos_ = stop + 1;
      if (buffer_[stop] == '\r') {
        if (pos_ == buffer_.size())
          Fill();
        if (pos_ < buffer_.size() && buffer_[pos_] == '\n')
          ++pos_;
      }
      break;
    }
    if (++line_ == 1 && out.starts_with(kUtf8Mark)) {
      utf8_ = true;
      out.erase(0, kUtf8Mark.size());
    }
    if (utf8_) {
      std::optional<std::string> converted = Utf8ToCp1252Exact(out);
      if (!converted)
        throw Exception("Script \"" + file_.Path() + "\", line " + std::to_string(line_) +
                        ": a character that Windows-1252 cannot hold, or malformed UTF-8");
      out = std::move(*converted);
    }
    return true;
  }

private:
  bool Fill() {
    if (eof_)
      return false;
    buffer_.resize(kReadPiece);
    buffer_.resize(file_.Read(buffer_.data(), kReadPiece));
    pos_ = 0;
    eof_ = buffer_.empty();
    return !eof_;
  }

  os::TReadOnlyFile& file_;
  std::string buffer_;
  std::size_t pos_ = 0;
  bool eof_ = false;
  bool utf8_ = false;
  std::int32_t line_ = 0;
};

std::string FolderOf(const std::string& path) {
  const auto slash = path.rfind(os::kPathSeparator);
  if (slash == std::string::npos)
    return std::string();
  return slash == 0 ? std::string(1, os::kPathSeparator) : path.substr(0, slash);
}

bool IsBlank(unsigned char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

// A number written in hexadecimal, every character other than "0"-"9" and
// "A"-"F" counting as a zero digit; false when it does not fit in 64 bits.
bool ParseHex(std::string_view text, std::uint64_t& value) {
  value = 0;
  for (const char ch : text) {
    const unsigned char c = static_cast<unsigned char>(ch);
    std::uint64_t digit = 0;
    if (c >= '0' && c <= '9')
      digit = c - '0';
    else if (c >= 'A' && c <= 'F')
      digit = c - 'A' + 10;
    if (value > (UINT64_MAX >> 4))
      return false;
    value = (value << 4) | digit;
  }
  return true;
}

// Swaps a chunk's directive map in for as long as its statements run.
class TDirectiveSwap {
public:
  TDirectiveSwap(TDirectivesMap& a, TDirectivesMap& b) : a_(a), b_(b) { a_.swap(b_); }
  ~TDirectiveSwap() { a_.swap(b_); }
  TDirectiveSwap(const TDirectiveSwap&) = delete;
  TDirectiveSwap& operator=(const TDirectiveSwap&) = delete;

private:
  TDirectivesMap& a_;
  TDirectivesMap& b_;
};

} // namespace

TScriptFileRunner::TScriptFileRunner(TpFIBScripter& runner) : runner_(runner) {}

TScriptFileRunner::~TScriptFileRunner() = default;

std::optional<std::string> TScriptFileRunner::FileNameAfter(const std::vector<std::string>& source,
                                                            TScriptPos keyword, TScriptPos end) {
  if (!keyword.Col)
    return std::nullopt;
  std::vector<std::string> lines;
  StatementText(source, keyword, end, lines);
  std::string text;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    if (i)
      text += '\n';
    text += lines[i];
  }
  const std::size_t n = text.size();
  const auto blank = [&](std::size_t i) { return IsBlank(static_cast<unsigned char>(text[i])); };
  // The keyword ends where a delimiter does: "INPUT/tmp/a.sql" names /tmp/a.sql.
  std::size_t i = 0;
  while (i < n && !blank(i) && std::string_view("/-;'\"").find(text[i]) == std::string_view::npos)
    ++i;
  // Comments may stand before the name; NextToken is not used because it
  // also steps over a "/", the start of an absolute name.
  for (;;) {
    while (i < n && blank(i))
      ++i;
    if (text.compare(i, 2, "--") == 0) {
      i = text.find('\n', i);
      i = i == std::string::npos ? n : i;
    } else if (text.compare(i, 2, "/*") == 0) {
      i = text.find("*/", i + 2);
      i = i == std::string::npos ? n : i + 2;
    } else {
      break;
    }
  }
  if (i == n)
    return std::nullopt;
  if (text[i] == '\'' || text[i] == '"') {
    const char quote = text[i];
    std::string name;
    for (++i; i < n; ++i) {
      if (text[i] == quote) {
        if (i + 1 < n && text[i + 1] == quote) {
          name += quote;
          ++i;
          continue;
        }
        return name;
      }
      name += text[i] == '\n' ? ' ' : text[i];
    }
    throw std::runtime_error("Can't find end token");
  }
  // Unquoted, the name runs to the statement's end, as a folder may hold
  // blanks, less a comment that follows it after a blank.
  std::size_t last = i;
  for (std::size_t j = i; j < n; ++j) {
    if (!blank(j)) {
      last = j + 1;
      continue;
    }
    while (j + 1 < n && blank(j + 1))
      ++j;
    if (text.compare(j + 1, 2, "--") == 0 || text.compare(j + 1, 2, "/*") == 0)
      break;
  }
  std::string name = text.substr(i, last - i);
  for (char& c : name)
    if (c == '\n')
      c = ' ';
  return name;
}

std::string TScriptFileRunner::Resolve(const std::string& name) const {
  if (name.empty() || name[0] == os::kPathSeparator)
    return name;
  const std::string& folder = folders_.empty() ? runner_.ScriptFolder : folders_.back();
  if (folder.empty())
    return name;
  if (folder.back() == os::kPathSeparator)
    return folder + name;
  return folder + os::kPathSeparator + name;
}

void TScriptFileRunner::Input(const TStatementDesc& entry) {
  ExecuteFile(FileNameAfter(runner_.Source(), entry.StartPos, entry.EndPos).value_or(""), ";");
}

void TScriptFileRunner::ExecuteFile(const std::string& FileName, const std::string& Terminator) {
  const std::string path = Resolve(FileName);
  // A file that includes itself would otherwise recurse until the stack
  // runs out.
  if (folders_.size() >= kMaxDepth)
    throw std::runtime_error("Script file \"" + path + "\": more than " +
                             std::to_string(kMaxDepth) + " nested INPUT levels");
  const bool outermost = folders_.empty() && !runner_.running_;
  runner_.last_insert_text_.clear();
  runner_.reinsert_head_valid_ = false;
  runner_.stop_requested_ = false;
  if (outermost) {
    runner_.stopped_at_ = 0;
    runner_.exec_block_.Discard();
    runner_.database_commands_.BeginRun();
  }

  // The caller's lines (Script, or the chunk of the including file) come
  // back however this ends.
  const std::vector<std::string>* const source = runner_.source_;
  const std::vector<std::string>* const parserScript = runner_.parser_.Script();
  const auto restore = [&] {
    runner_.source_ = source;
    runner_.parser_.SetScript(parserScript);
    folders_.pop_back();
  };
  const auto endOfFile = [&](bool errorLeaving) {
    runner_.exec_block_.Discard();
    runner_.database_commands_.Cleanup(true, errorLeaving);
    CloseBlobFile();
  };
  folders_.push_back(FolderOf(path));
  try {
    RunFile(path, Terminator);
    if (outermost && !runner_.stop_requested_)
      runner_.exec_block_.FinishRun();
  } catch (...) {
    restore();
    if (outermost) {
      try {
        endOfFile(true);
      } catch (...) {
        // The error that ended the file is the one to report.
      }
    }
    throw;
  }
  restore();
  if (outermost)
    endOfFile(false);
}

void TScriptFileRunner::RunFile(const std::string& path, const std::string& Terminator) {
  os::TReadOnlyFile file(path);
  TLineReader reader(file);
  runner_.RefreshServerConstants();

  std::string terminator = Terminator;
  std::vector<std::string> chunk;
  std::vector<std::string> lines;
  TScriptMap statements;
  TDirectivesMap directives;
  std::int32_t fileLine = 0;  // lines read
  std::int32_t chunkLine = 1; // file line of the chunk's first line
  std::int32_t chunks = 0;

  // Parses the chunk and runs its terminated statements; an unterminated
  // last one stays in the chunk. False while a directive or a block comment
  // is still open: the text after the last terminator would be lost.
  const auto runChunk = [&](bool final) {
    std::string changed = terminator;
    runner_.parser_.Parse(chunk, changed, final, directives, statements);
    if (!final && (runner_.parser_.OpenDirectives() > 0 || runner_.parser_.EndsInComment()))
      return false;
    runner_.source_ = &chunk;
    const TStatementDesc* tail = nullptr;
    // What a BATCH block collects runs after this chunk is gone.
    std::shared_ptr<const std::vector<std::string>> kept;
    {
      TDirectiveSwap swap(runner_.directive_map_, directives);
      for (const TStatementDesc& entry : statements) {
        if (!entry.HasEnd()) {
          tail = &entry;
          break;
        }
        if (runner_.stop_requested_)
          break;
        StatementText(chunk, entry.StartPos, entry.EndPos, lines);
        const std::int32_t line = chunkLine + entry.StartPos.Line;
        if (entry.Kind == skBatchStart || entry.Kind == skBatchExecute || runner_.in_batch_) {
          if (runner_.in_batch_ && !kept)
            kept = std::make_shared<const std::vector<std::string>>(chunk);
          runner_.exec_block_.HandleBatchStatement(entry, lines, line, chunks + 1, kept);
        } else {
          runner_.ExecuteStatement(entry, lines, line, chunks);
        }
        // A nested file left the parser on its own lines.
        runner_.source_ = &chunk;
        runner_.parser_.SetScript(&chunk);
      }
    }
    if (tail && !runner_.stop_requested_) {
      std::vector<std::string> rest;
      StatementText(chunk, tail->StartPos, kNoEnd, rest);
      chunkLine += tail->StartPos.Line;
      chunk = std::move(rest);
    } else {
      chunk.clear();
    }
    terminator = changed;
    ++chunks;
    return true;
  };

  std::string line;
  // Each parse reads the whole chunk, so a chunk that cannot run yet is not
  // parsed again for nothing. A terminator inside a comment ends nothing:
  // while the chunk ends inside one, only a line that may close it is worth
  // a parse. While a directive is open, a parse is worth it again only once
  // a line that may hold a directive ("{$ENDIF}") has come.
  bool inComment = false;
  bool inDirective = false;
  for (;;) {
    if (runner_.stop_requested_) {
      runner_.stopped_at_ = chunks + 1;
      return;
    }
    if (!reader.Next(line))
      break;
    ++fileLine;
    if (chunk.empty())
      chunkLine = fileLine;
    chunk.push_back(line);
    if (inDirective && line.find('{') != std::string::npos)
      inDirective = false;
    const bool worthParsing = inComment
                                  ? line.find("*/") != std::string::npos
                                  : !inDirective && line.find(terminator) != std::string::npos;
    if (worthParsing) {
      const bool ran = runChunk(false);
      inComment = !ran && runner_.parser_.EndsInComment();
      inDirective = !ran && !inComment && runner_.parser_.OpenDirectives() > 0;
    }
  }
  // What is left runs as the end of a script does: a last statement without
  // terminator too, and a directive still open is an error.
  bool blank = true;
  for (const std::string& rest : chunk)
    for (const char c : rest)
      blank = blank && IsBlank(static_cast<unsigned char>(c));
  if (!blank)
    runChunk(true);
}

void TScriptFileRunner::BindBlobParams() {
  TpFIBQuery& statement = *runner_.OwnStatement();
  const std::string& fileName = runner_.BlobFileName();
  for (int i = statement.ParamCount() - 1; i >= 0; --i) {
    const std::string name = statement.ParamName(i);
    if (!IsBlobFileParam(name))
      continue;
    const std::size_t underscore = name.find('_');
    const std::string_view offsetText = std::string_view(name).substr(
        1, underscore == std::string::npos ? std::string::npos : underscore - 1);
    const std::string_view sizeText = underscore == std::string::npos
                                          ? std::string_view()
                                          : std::string_view(name).substr(underscore + 1);
    std::uint64_t offset = 0;
    std::uint64_t size = 0;
    const bool valid = ParseHex(offsetText, offset) && ParseHex(sizeText, size);
    if (valid && size == 0) {
      statement.Params().Vars(i).SetIsNull(true);
      continue;
    }
    if (!blob_)
      blob_ = std::make_unique<os::TReadOnlyFile>(fileName);
    const std::uint64_t fileSize = blob_->Size();
    if (!valid || offset > fileSize || size > fileSize - offset)
      throw std::runtime_error("Blob file \"" + fileName + "\" (" + std::to_string(fileSize) +
                               " bytes) holds no range for parameter " + name);
    std::string bytes(static_cast<std::size_t>(size), '\0');
    for (std::size_t done = 0; done < bytes.size();) {
      const std::size_t piece = std::min<std::size_t>(bytes.size() - done, 1u << 20);
      blob_->ReadAt(offset + done, bytes.data() + done, piece);
      done += piece;
    }
    statement.Params().Vars(i).LoadFromStream(bytes);
  }
}

void TScriptFileRunner::CloseBlobFile() {
  blob_.reset();
}

} // namespace nimbus
