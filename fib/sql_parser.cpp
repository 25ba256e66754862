#include "fib/sql_parser.h"

#include "fib/errors.h"

#include <algorithm>

namespace nimbus {

namespace {

// Character classes; a byte may belong to several. Bytes >= 0x80 belong to none.
enum : std::uint8_t {
  kBlank = 0x01,      // may precede a keyword: TAB LF CR space " )
  kWordEnd = 0x02,    // may follow a keyword: NUL TAB LF CR space ( - / ; ^
  kLeadFiller = 0x04, // skipped before the first token: NUL TAB LF CR space ( ; ^
  kName = 0x08,       // parameter and macro names: # $ % . 0-9 A-Z _ a-z
  kLineEnd = 0x10,    // ends a "--" comment: NUL LF CR
  kGap = 0x20,        // after a block's AS, or between an operator and its operand:
                      // NUL TAB LF CR space " ( - / ; ^
};

struct CharTable {
  std::uint8_t classes[256] = {};
  constexpr void Add(std::string_view members, std::uint8_t cls) {
    for (char c : members)
      classes[static_cast<unsigned char>(c)] |= cls;
  }
  constexpr CharTable() {
    using namespace std::string_view_literals;
    Add("\t\n\r \")"sv, kBlank);
    Add("\0\t\n\r (-/;^"sv, kWordEnd);
    Add("\0\t\n\r (;^"sv, kLeadFiller);
    Add("#$%._"sv, kName);
    for (int c = '0'; c <= '9'; ++c)
      classes[c] |= kName;
    for (int c = 'A'; c <= 'Z'; ++c) {
      classes[c] |= kName;
      classes[c + ('a' - 'A')] |= kName;
    }
    Add("\0\n\r"sv, kLineEnd);
    Add("\0\t\n\r \"(-/;^"sv, kGap);
  }
};

constexpr CharTable kChars;

bool Is(char c, std::uint8_t cls) {
  return (kChars.classes[static_cast<unsigned char>(c)] & cls) != 0;
}

// Byte at `i`, or NUL past the end.
char At(std::string_view text, std::size_t i) {
  return i < text.size() ? text[i] : '\0';
}

// `keyword` (upper case letters) at `i` in either case, followed by the end
// of the text or a word end. Says nothing about what precedes it.
bool KeywordAt(std::string_view text, std::size_t i, std::string_view keyword) {
  if (i > text.size() || text.size() - i < keyword.size())
    return false;
  for (std::size_t k = 0; k < keyword.size(); ++k) {
    const char c = text[i + k];
    if (c != keyword[k] && c != keyword[k] + ('a' - 'A'))
      return false;
  }
  const std::size_t after = i + keyword.size();
  return after == text.size() || Is(text[after], kWordEnd);
}

// A keyword elsewhere than at a token start must follow a Blank character.
bool MatchKeyword(std::string_view text, std::size_t i, std::string_view keyword) {
  return (i == 0 || Is(text[i - 1], kBlank)) && KeywordAt(text, i, keyword);
}

struct Token {
  std::size_t pos; // 0-based; text.size() when none
  bool atBoundary; // may start a keyword
};

// Skips fillers and comments from `i`. A token right after a comment
// ("/*x*/CREATE") starts a word as much as one after a blank does.
Token NextToken(std::string_view text, std::size_t i) {
  bool afterComment = false;
  while (i < text.size()) {
    const char c = text[i];
    if (Is(c, kLeadFiller)) {
      ++i;
      afterComment = false;
    } else if (c == '-' && At(text, i + 1) == '-') {
      i += 2;
      while (i < text.size() && !Is(text[i], kLineEnd))
        ++i;
    } else if (c == '/' && At(text, i + 1) == '*') {
      const std::size_t end = text.find("*/", i + 2);
      i = end == std::string_view::npos ? text.size() : end + 2;
      afterComment = true;
    } else {
      break;
    }
  }
  return {i, i == 0 || afterComment || Is(text[i - 1], kBlank)};
}

bool KeywordAtToken(std::string_view text, Token token, std::string_view keyword) {
  return token.atBoundary && KeywordAt(text, token.pos, keyword);
}

// First words of DDL statements, besides SET GENERATOR.
constexpr std::string_view kDDLWords[] = {"ALTER",   "CREATE", "COMMENT",  "DROP",
                                          "DECLARE", "GRANT",  "RECREATE", "REVOKE"};

SQLKind Classify(std::string_view text, Token first) {
  // "(SELECT" is KindOther on purpose: "(" does not start a word.
  if (!first.atBoundary || first.pos >= text.size())
    return KindOther;
  const std::size_t p = first.pos;
  if (KeywordAt(text, p, "SELECT") || KeywordAt(text, p, "MERGE"))
    return KindSelect;
  if (KeywordAt(text, p, "UPDATE"))
    return KeywordAtToken(text, NextToken(text, p + 6), "OR") ? KindUpdateOrInsert : KindUpdate;
  if (KeywordAt(text, p, "DELETE"))
    return KindDelete;
  if (KeywordAt(text, p, "INSERT"))
    return KindInsert;
  if (KeywordAt(text, p, "EXECUTE")) {
    const Token next = NextToken(text, p + 7);
    if (KeywordAtToken(text, next, "PROCEDURE"))
      return KindExecProc;
    if (KeywordAtToken(text, next, "BLOCK"))
      return KindExecBlock;
  }
  // Either case: a lower-case "create procedure" must keep its body's colon
  // variables and still count as DDL for the runner's commit.
  const char letter = static_cast<char>(text[p] & ~('a' - 'A'));
  for (std::string_view word : kDDLWords)
    if (letter == word[0] && KeywordAt(text, p, word))
      return KindDDL;
  if (letter == 'S' && KeywordAt(text, p, "SET")) {
    std::size_t q = p + 3;
    while (q < text.size() && Is(text[q], kBlank))
      ++q;
    if (MatchKeyword(text, q, "GENERATOR"))
      return KindDDL;
  }
  return KindOther;
}

char AsciiUpper(char c) {
  return c >= 'a' && c <= 'z' ? static_cast<char>(c - ('a' - 'A')) : c;
}

// One pass over a statement text in code state; strings, comments, names and
// macros are consumed by their own members, which return to code state.
class ParamScanner {
public:
  ParamScanner(std::string_view text, SQLKind kind, bool parseOnly, std::string_view path,
               bool loading, char macroChar)
      : text_(text), parse_only_(parseOnly), path_(path), loading_(loading), macro_char_(macroChar),
        markers_allowed_(kind != KindDDL),
        track_where_(kind != KindExecProc && kind != KindExecBlock),
        exec_block_(kind == KindExecBlock) {
    if (!parse_only_)
      out_.reserve(text.size());
  }

  // Where the comparison operator before each marker would stand: the last
  // plain code byte before it, stepping back over blanks, NUL, ";", "^" and a
  // lone "-" or "/"; npos when a string, comment, name, "(" or WHERE comes
  // between (stepping back raw from ":P" in '= -- note =\n :P' or '"X=":P'
  // would land inside the comment or the quoted name).
  struct MarkerOperator {
    std::size_t marker; // 0-based
    std::size_t op;
  };
  static std::vector<MarkerOperator> FindOperators(std::string_view text) {
    std::vector<MarkerOperator> operators;
    ParamScanner scanner(text, KindOther, true, {}, false, '@');
    scanner.operators_ = &operators;
    scanner.Run();
    return operators;
  }

  TPreprocessedSQL Run() {
    while (i_ < text_.size()) {
      if (track_where_ && StepOverWhere()) {
        last_code_ = std::string_view::npos;
        continue;
      }
      const char c = text_[i_];
      const char next = At(text_, i_ + 1);
      if (c == '\'' || c == '"') {
        ScanString(c);
      } else if (c == '-' && next == '-') {
        ScanLineComment();
      } else if (c == '/' && next == '*') {
        ScanBlockComment();
      } else if ((c == ':' || c == '?') && markers_allowed_ && markers_enabled_) {
        if (operators_)
          operators_->push_back({i_, last_code_});
        if (!ScanParam())
          return {std::move(entries_), {}};
      } else if (c == macro_char_) {
        ScanMacro();
      } else {
        if (exec_block_ && IsBlockAs())
          markers_enabled_ = false;
        if (c == '(')
          last_code_ = std::string_view::npos;
        else if (!Is(c, kGap))
          last_code_ = i_;
        Copy(1);
        continue;
      }
      last_code_ = std::string_view::npos;
    }
    return {std::move(entries_), std::move(out_)};
  }

private:
  void Copy(std::size_t count) {
    if (!parse_only_)
      out_.append(text_.substr(i_, count));
    i_ += count;
  }

  void Put(char c, std::size_t count) {
    if (!parse_only_)
      out_.append(count, c);
    i_ += count;
  }

  [[noreturn]] void Fail(std::string_view message) const { RaiseClientError(51, {path_, message}); }

  // WHERE clause tracking at a code-state character. Returns true when it
  // consumed the word WHERE itself.
  bool StepOverWhere() {
    const char c = text_[i_];
    if (!in_where_) {
      if ((c == 'W' || c == 'w') && MatchKeyword(text_, i_, "WHERE")) {
        in_where_ = true;
        depth_ = 0;
        Copy(5);
        return true;
      }
      return false;
    }
    if (c == '(') {
      ++depth_;
    } else if (c == ')') {
      if (--depth_ < 0)
        in_where_ = false;
    } else if (Is(c, kName) && (i_ == 0 || Is(text_[i_ - 1], kBlank))) {
      for (std::string_view end : {"FOR", "GROUP", "HAVING", "ORDER", "PLAN", "START", "UNION"})
        if (KeywordAt(text_, i_, end)) {
          in_where_ = false;
          break;
        }
    }
    return false;
  }

  // The AS of an EXECUTE BLOCK, after which colon names are the block's own
  // variables. The word must stand alone: ALIAS, HAS or CLASS do not count.
  bool IsBlockAs() const {
    const char c = text_[i_];
    if (c != 'A' && c != 'a')
      return false;
    const char s = At(text_, i_ + 1);
    if (s != 'S' && s != 's')
      return false;
    if (i_ + 2 < text_.size() && !Is(text_[i_ + 2], kGap))
      return false;
    if (i_ == 0)
      return true;
    const char before = text_[i_ - 1];
    return !Is(before, kName) && static_cast<unsigned char>(before) < 0x80;
  }

  void ScanString(char quote) {
    Copy(1);
    for (;;) {
      const std::size_t close = text_.find(quote, i_);
      if (close == std::string_view::npos)
        Fail("EOF in string detected");
      Copy(close - i_ + 1);
      if (At(text_, i_) != quote) // a doubled quote stays inside the string
        return;
      Copy(1);
    }
  }

  void ScanLineComment() {
    std::size_t end = i_ + 2;
    while (end < text_.size() && !Is(text_[end], kLineEnd))
      ++end;
    Copy(end - i_);
  }

  void ScanBlockComment() {
    const std::size_t close = text_.find("*/", i_ + 2);
    if (close == std::string_view::npos)
      Fail("EOF in comment detected");
    Copy(close + 2 - i_);
  }

  void ScanMacro() {
    std::size_t end = i_ + 1;
    while (end < text_.size() && Is(text_[end], kName))
      ++end;
    Copy(end - i_);
  }

  // A marker at i_. Returns false when the scan stops silently.
  bool ScanParam() {
    TParamEntry entry;
    entry.StartPos = i_ + 1;
    Put('?', 1);
    if (At(text_, i_) == '"') {
      const std::size_t close = text_.find('"', i_ + 1);
      if (close == std::string_view::npos)
        Fail("EOF in string detected");
      entry.Name.assign(text_.substr(i_ + 1, close - i_ - 1));
      entry.Flags |= pfQuoted;
      entry.EndPos = close + 1;
      Put(' ', close + 1 - i_);
    } else {
      std::size_t end = i_;
      while (end < text_.size() && Is(text_[end], kName))
        ++end;
      entry.Name.reserve(end - i_);
      for (std::size_t k = i_; k < end; ++k)
        entry.Name += AsciiUpper(text_[k]);
      entry.EndPos = end;
      Put(' ', end - i_);
    }
    if (entry.Name.empty()) {
      if (operators_) // only positions are wanted
        return true;
      if (loading_)
        return false;
      Fail("Parameter name expected");
    }
    if (in_where_) {
      entry.Flags |= pfInWhere;
      if (StandsAlone())
        entry.Flags |= pfStandalone;
    }
    entries_.push_back(std::move(entry));
    // The character after the name goes back to code state, so a quote,
    // comment or ")" there is read as such.
    return true;
  }

  // What follows the name at i_ does not continue an arithmetic or
  // concatenation expression.
  bool StandsAlone() const {
    std::size_t j = i_;
    while (j < text_.size() &&
           (text_[j] == ' ' || text_[j] == '\t' || text_[j] == '\n' || text_[j] == '\r'))
      ++j;
    if (j == text_.size())
      return true;
    switch (text_[j]) {
    case '-':
      return At(text_, j + 1) == '-';
    case '/':
      return At(text_, j + 1) == '*';
    case '*':
    case '+':
    case '|':
      return false;
    default:
      return true;
    }
  }

  std::string_view text_;
  bool parse_only_;
  std::string_view path_;
  bool loading_;
  char macro_char_;
  bool markers_allowed_;
  bool track_where_;
  bool exec_block_;

  std::size_t i_ = 0;
  bool markers_enabled_ = true;
  bool in_where_ = false;
  int depth_ = 0;
  std::vector<TParamEntry> entries_;
  std::string out_;
  std::size_t last_code_ = std::string_view::npos;
  std::vector<MarkerOperator>* operators_ = nullptr;
};

} // namespace

bool MayHaveKeyword(std::string_view text, std::string_view keyword) {
  // Letters, digits, "_" and "$" continue a word; every other byte (those
  // of 0x80 and above included) ends one, so more places count as a word.
  const auto inWord = [](char c) { return Is(c, kName) && c != '#' && c != '%' && c != '.'; };
  const auto isDigit = [](char c) { return c >= '0' && c <= '9'; };
  std::size_t i = 0;
  while (i < text.size()) {
    const char c = text[i];
    const char next = At(text, i + 1);
    if (c == '\'' || c == '"') {
      const std::size_t end = text.find(c, i + 1);
      if (end == std::string_view::npos)
        return true;
      i = end + 1; // a doubled quote reopens the string at once
    } else if (c == '-' && next == '-') {
      while (i < text.size() && text[i] != '\n' && text[i] != '\r')
        ++i;
    } else if (c == '/' && next == '*') {
      const std::size_t end = text.find("*/", i + 2);
      if (end == std::string_view::npos)
        return true;
      i = end + 2;
    } else if (inWord(c)) {
      if ((c == 'q' || c == 'Q') && next == '\'')
        return true;
      const std::size_t start = i;
      while (i < text.size() && inWord(text[i]))
        ++i;
      // The server reads "1RETURNING" as a number and the keyword.
      const std::size_t at = i - keyword.size();
      if (i - start >= keyword.size() && (at == start || isDigit(text[at - 1])) &&
          KeywordAt(text.substr(0, i), at, keyword))
        return true;
    } else {
      ++i;
    }
  }
  return false;
}

SQLKind ClassifySQL(std::string_view text, std::size_t* firstTokenPos) {
  const Token first = NextToken(text, 0);
  if (firstTokenPos)
    *firstTokenPos = first.pos + 1;
  return Classify(text, first);
}

SQLKind TSQLParser::SetSQLText(std::string text) {
  text_ = std::move(text);
  kind_ = ClassifySQL(text_, &first_token_pos_);
  return kind_;
}

bool HasParamMarkers(std::string_view text, char macroChar) {
  // Must find every marker PreprocessParams would: the first byte is examined
  // too, and a "--" comment ends at any line end.
  const std::size_t n = text.size();
  for (std::size_t i = 0; i < n; ++i) {
    const char c = text[i];
    if (c == ':' || c == '?' || c == macroChar)
      return true;
    if (c == '\'' || c == '"') {
      i = text.find(c, i + 1);
      if (i == std::string_view::npos)
        return false;
    } else if (c == '/' && At(text, i + 1) == '*') {
      i = text.find("*/", i + 2);
      if (i == std::string_view::npos)
        return false;
      ++i;
    } else if (c == '-' && At(text, i + 1) == '-') {
      i += 2;
      while (i < n && !Is(text[i], kLineEnd))
        ++i;
    }
  }
  return false;
}

TPreprocessedSQL PreprocessParams(std::string_view text, SQLKind kind, bool parseOnly,
                                  std::string_view componentPath, bool loading, char macroChar) {
  return ParamScanner(text, kind, parseOnly, componentPath, loading, macroChar).Run();
}

TNullRewrite RewriteNullComparisons(std::string_view text, const std::vector<TParamEntry>& entries,
                                    const std::function<bool(std::size_t)>& hasNoValue) {
  static constexpr std::string_view kIsNull = " IS NULL ";
  static constexpr std::string_view kIsNotNull = " IS NOT NULL ";
  using MarkerOperator = ParamScanner::MarkerOperator;
  const std::vector<MarkerOperator> operators = ParamScanner::FindOperators(text);
  TNullRewrite result;
  std::size_t copied = 0; // bytes of `text` already in result.Text
  for (std::size_t i = 0; i < entries.size(); ++i) {
    const TParamEntry& e = entries[i];
    if (!e.InWhere() || !e.Standalone() || e.StartPos < 1 || e.EndPos < e.StartPos ||
        e.EndPos > text.size() || !hasNoValue(i))
      continue;
    const auto found = std::lower_bound(
        operators.begin(), operators.end(), e.StartPos - 1,
        [](const MarkerOperator& m, std::size_t marker) { return m.marker < marker; });
    if (found == operators.end() || found->marker != e.StartPos - 1 ||
        found->op == std::string_view::npos)
      continue;
    const std::size_t op = found->op;
    const char before = op > 0 ? text[op - 1] : '\0';
    std::size_t from;
    std::string_view replacement;
    if (text[op] == '=' && (before == '!' || before == '^' || before == '~')) {
      from = op - 1;
      replacement = kIsNotNull;
    } else if (text[op] == '=' && before != '<' && before != '>') {
      from = op;
      replacement = kIsNull;
    } else if (text[op] == '>' && before == '<') {
      from = op - 1;
      replacement = kIsNotNull;
    } else {
      continue;
    }
    if (from < copied) // reaches into an earlier replacement
      continue;
    result.Text.append(text.substr(copied, from - copied));
    result.Text.append(replacement);
    copied = e.EndPos;
    result.Replaced.push_back(i);
  }
  result.Text.append(text.substr(copied));
  return result;
}

} // namespace nimbus
