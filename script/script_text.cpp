#include "script/script_text.h"

#include <algorithm>
#include <stdexcept>

namespace nimbus {

namespace {

bool IsKeywordDelimiter(unsigned char c) {
  switch (c) {
  case '\t':
  case '\n':
  case '\r':
  case ' ':
  case ',':
  case '-':
  case '/':
  case ';':
  case '^':
  case '}':
    return true;
  default:
    return false;
  }
}

bool IsBlank(unsigned char c) {
  return c == '\t' || c == '\n' || c == '\r' || c == ' ';
}

// Where NextToken's token (not in quotes) ends.
bool EndsToken(unsigned char c) {
  return IsBlank(c) || c == '-' || c == '/' || c == ';';
}

// Where TokenText's text ends.
bool EndsTokenText(unsigned char c) {
  return IsBlank(c) || c == '(' || c == ',' || c == '-' || c == '/' || c == ';';
}

} // namespace

bool MatchKeyword(std::string_view keyword, std::string_view text, std::size_t col) {
  // The keyword length is a byte count: longer keywords wrap.
  const std::size_t n = keyword.size() % 256;
  const std::size_t length = text.size();
  if (col == 0 || n + col > length + 1)
    return false;
  for (std::size_t i = 0; i < n; ++i) {
    if (!KeywordCharMatches(keyword[i], text[col - 1 + i]))
      return false;
  }
  const std::size_t after = col + n; // 1-based column after the match
  return after > length || IsKeywordDelimiter(static_cast<unsigned char>(text[after - 1]));
}

std::size_t EnterLexMode(TLexState& lex, std::string_view text, std::size_t col) {
  const std::size_t length = text.size();
  const bool more = col < length;
  const char next = more ? text[col] : '\0';
  switch (text[col - 1]) {
  case '\'':
    if (more && col >= 2 && (text[col - 2] == 'q' || text[col - 2] == 'Q') &&
        (col == 2 || !IsWordChar(static_cast<unsigned char>(text[col - 3])))) {
      lex.Mode = TLexMode::kQLiteral;
      lex.Close = next == '('   ? ')'
                  : next == '[' ? ']'
                  : next == '{' ? '}'
                  : next == '<' ? '>'
                                : next;
      return col + 1; // the opening delimiter is no closing one
    }
    lex.Mode = TLexMode::kSingleQuote;
    return col;
  case '"':
    lex.Mode = TLexMode::kDoubleQuote;
    return col;
  case '-':
    return more && next == '-' ? length : 0;
  case '/':
    if (!more || next != '*')
      return 0;
    // The "*" is looked at again: it may also close the comment ("/*/").
    lex.Mode = TLexMode::kBlockComment;
    return col;
  default:
    return 0;
  }
}

std::size_t SkipLexMode(TLexState& lex, std::string_view text, std::size_t col) {
  const std::size_t length = text.size();
  switch (lex.Mode) {
  case TLexMode::kNormal:
    return col - 1;
  case TLexMode::kBlockComment:
    for (std::size_t c = std::max<std::size_t>(col, 2); c <= length; ++c)
      if (text[c - 1] == '/' && text[c - 2] == '*') {
        lex.Mode = TLexMode::kNormal;
        return c;
      }
    return length;
  case TLexMode::kSingleQuote:
  case TLexMode::kDoubleQuote: {
    const std::size_t close = text.find(lex.Mode == TLexMode::kSingleQuote ? '\'' : '"', col - 1);
    if (close == std::string_view::npos)
      return length;
    lex.Mode = TLexMode::kNormal;
    return close + 1;
  }
  case TLexMode::kQLiteral:
    for (std::size_t c = col; c < length; ++c)
      if (text[c - 1] == lex.Close && text[c] == '\'') {
        lex.Mode = TLexMode::kNormal;
        return c + 1;
      }
    return length;
  }
  return length;
}

TScriptPos NextWord(const std::vector<std::string>& script, TScriptPos pos, TScriptPos end,
                    std::string_view& word) {
  TLexState lex;
  for (std::int32_t line = std::max(pos.Line, 0);
       line <= end.Line && static_cast<std::size_t>(line) < script.size(); ++line) {
    const std::string_view s = script[line];
    const std::size_t limit =
        line == end.Line ? std::min<std::size_t>(end.Col, s.size()) : s.size();
    std::size_t col = line == pos.Line ? std::max<std::size_t>(pos.Col, 1) : 1;
    bool tail = line == pos.Line && col >= 2 && col - 2 < s.size() &&
                IsWordChar(static_cast<unsigned char>(s[col - 2]));
    for (; col <= limit; ++col) {
      if (lex.Mode != TLexMode::kNormal) {
        col = SkipLexMode(lex, s, col);
        continue;
      }
      if (IsWordChar(static_cast<unsigned char>(s[col - 1]))) {
        std::size_t last = col;
        while (last < limit && IsWordChar(static_cast<unsigned char>(s[last])))
          ++last;
        if (!tail) {
          word = s.substr(col - 1, last - col + 1);
          return {static_cast<std::uint32_t>(col), line};
        }
        tail = false;
        col = last;
        continue;
      }
      tail = false;
      if (const std::size_t last = EnterLexMode(lex, s, col))
        col = last;
    }
  }
  return {};
}

TScriptPos NextToken(const std::vector<std::string>& script, TScriptPos pos, TScriptPos end) {
  if (pos.Line < 0 || static_cast<std::size_t>(pos.Line) >= script.size() || end.Line < pos.Line)
    return {};
  std::int32_t line = pos.Line;
  std::size_t col;
  {
    const std::string& s = script[line];
    const std::size_t length = s.size();
    std::size_t tokenEnd = length + 1; // by default the token runs to the end of the line
    if (pos.Col >= 1 && pos.Col <= length) {
      const char first = s[pos.Col - 1];
      if (first == '\'' || first == '"') {
        const std::size_t close = s.find(first, pos.Col);
        if (close != std::string::npos)
          tokenEnd = close + 2; // just after the closing quote
      } else {
        for (std::size_t c = pos.Col; c <= length; ++c)
          if (EndsToken(static_cast<unsigned char>(s[c - 1]))) {
            tokenEnd = c;
            break;
          }
      }
    }
    col = tokenEnd;
    if (col > length) {
      ++line;
      col = 1;
    }
  }
  bool inComment = false;
  for (; line <= end.Line && static_cast<std::size_t>(line) < script.size(); ++line, col = 1) {
    const std::string& s = script[line];
    const std::size_t length = s.size();
    const std::size_t limit = line == end.Line ? std::min<std::size_t>(end.Col, length) : length;
    for (std::size_t c = col; c <= limit; ++c) {
      const unsigned char ch = s[c - 1];
      if (inComment) {
        if (ch == '/' && c >= 2 && s[c - 2] == '*')
          inComment = false;
        continue;
      }
      if (IsBlank(ch) || ch == ';')
        continue;
      if (ch == '-') {
        if (c < length && s[c] == '-')
          break; // rest of the line is a comment
        continue;
      }
      if (ch == '/') {
        if (c < length && s[c] == '*') {
          inComment = true;
          ++c; // the "*" may also close the comment ("/*/")
        }
        continue;
      }
      return {static_cast<std::uint32_t>(c), line};
    }
  }
  return {};
}

std::string TokenText(const std::vector<std::string>& script, TScriptPos pos, bool unquote) {
  if (pos.Line < 0 || static_cast<std::size_t>(pos.Line) >= script.size())
    return {};
  const std::string& s = script[pos.Line];
  if (pos.Col < 1 || pos.Col > s.size())
    return {};
  const std::size_t start = pos.Col - 1;
  const char first = s[start];
  if (unquote && (first == '\'' || first == '"')) {
    const std::size_t close = s.find(first, start + 1);
    if (close == std::string::npos)
      throw std::runtime_error("Can't find end token");
    return s.substr(start + 1, close - start - 1);
  }
  std::size_t stop = start;
  while (stop < s.size() && !EndsTokenText(static_cast<unsigned char>(s[stop])))
    ++stop;
  return s.substr(start, stop - start);
}

void StatementText(const std::vector<std::string>& script, TScriptPos from, TScriptPos to,
                   std::vector<std::string>& lines) {
  lines.clear();
  if (script.empty())
    return;
  if (to.Line < 0)
    to = {static_cast<std::uint32_t>(script.back().size()),
          static_cast<std::int32_t>(script.size() - 1)};
  const std::int32_t last = std::min<std::int32_t>(to.Line, script.size() - 1);
  for (std::int32_t line = std::max(from.Line, 0); line <= last; ++line) {
    const std::string& s = script[line];
    std::size_t first = line == from.Line && from.Col > 1 ? from.Col - 1 : 0;
    std::size_t stop = line == to.Line ? std::min<std::size_t>(to.Col, s.size()) : s.size();
    first = std::min(first, stop);
    lines.emplace_back(s, first, stop - first);
  }
}

std::vector<std::string> SplitLines(std::string_view text) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start < text.size()) {
    const std::size_t stop = text.find_first_of("\r\n", start);
    if (stop == std::string_view::npos) {
      lines.emplace_back(text.substr(start));
      break;
    }
    lines.emplace_back(text.substr(start, stop - start));
    start = stop + (text[stop] == '\r' && stop + 1 < text.size() && text[stop + 1] == '\n' ? 2 : 1);
  }
  return lines;
}

std::string JoinLines(const std::vector<std::string>& lines) {
  std::size_t size = 0;
  for (const std::string& line : lines)
    size += line.size() + 2;
  std::string text;
  text.reserve(size);
  for (const std::string& line : lines) {
    text += line;
    text += "\r\n";
  }
  return text;
}

} // namespace nimbus
