#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace nimbus {

// Rough kind of a statement, from its first words. Decides whether parameter
// markers are recognised (never in DDL, so procedure bodies keep their colon
// variables) and whether the statement runs without a prepare (DDL).
enum SQLKind : std::uint8_t {
  KindOther = 0,
  KindSelect = 1,
  KindUpdate = 2,
  KindInsert = 3,
  KindDelete = 4,
  KindExecProc = 5,
  KindDDL = 6,
  KindExecBlock = 7,
  KindUpdateOrInsert = 8,
};

// A statement's text with its kind. Positions are 1-based.
class TSQLParser {
public:
  // Stores `text`, finds its first token and classifies the statement.
  SQLKind SetSQLText(std::string text);

  const std::string& Text() const { return text_; }
  std::size_t Length() const { return text_.size(); }
  // Position of the first token after leading fillers and comments;
  // Length() + 1 when the text holds none.
  std::size_t FirstTokenPos() const { return first_token_pos_; }
  SQLKind Kind() const { return kind_; }
  bool ParamsAllowed() const { return kind_ != KindDDL; }

private:
  std::string text_;
  std::size_t first_token_pos_ = 1;
  SQLKind kind_ = KindOther;
};

// Classifies `text` as TSQLParser::SetSQLText does, with the first token's
// position in `firstTokenPos` when given.
SQLKind ClassifySQL(std::string_view text, std::size_t* firstTokenPos = nullptr);

// True when `keyword` (upper case) may stand as a word of the statement:
// outside strings, quoted names and comments, in either case. Also true
// when the text leaves that open (it ends inside a string or a block
// comment, or holds a q'...' literal, whose inner quotes need not pair).
bool MayHaveKeyword(std::string_view text, std::string_view keyword);

// Flag bits of a parameter entry.
inline constexpr std::uint8_t pfInWhere = 0x01; // the marker stands in a WHERE clause
inline constexpr std::uint8_t pfStandalone =
    0x02;                                      // ... and not inside an arithmetic or || expression
inline constexpr std::uint8_t pfQuoted = 0x04; // the name was written in double quotes

// One parameter marker of a statement text, in text order.
struct TParamEntry {
  // Upper-cased (ASCII a-z only) unless quoted; a quoted name is kept as written.
  std::string Name;
  std::uint8_t Flags = 0;
  // 1-based: the ":" or "?", and the name's last character (a quoted name's
  // closing quote).
  std::size_t StartPos = 0;
  std::size_t EndPos = 0;

  bool InWhere() const { return (Flags & pfInWhere) != 0; }
  bool Standalone() const { return (Flags & pfStandalone) != 0; }
  bool Quoted() const { return (Flags & pfQuoted) != 0; }
  bool operator==(const TParamEntry&) const = default;
};

// Quick test for a ":", "?" or `macroChar` outside quotes and comments. It
// never answers false for a text in which PreprocessParams finds a marker.
bool HasParamMarkers(std::string_view text, char macroChar = '@');

struct TPreprocessedSQL {
  std::vector<TParamEntry> Entries;
  // The text for the server, every marker a "?" and every name byte a blank,
  // so it has the input's length and layout. Empty in parse-only mode.
  std::string ServerText;
};

// Finds the parameter markers of `text` (markers are recognised unless `kind`
// is KindDDL, and in an EXECUTE BLOCK only before its AS). An unterminated
// string or comment, or a marker without a name, raises client error 51
// naming `componentPath`. While `loading` (the statement's owners are being
// read from a stored form) a marker without a name ends the scan silently
// instead: the entries before it are kept and ServerText stays empty, so a
// statement cut there can never reach the server. Text after `macroChar` is
// copied through, never substituted.
TPreprocessedSQL PreprocessParams(std::string_view text, SQLKind kind, bool parseOnly,
                                  std::string_view componentPath, bool loading = false,
                                  char macroChar = '@');

struct TNullRewrite {
  std::string Text;
  // Indices into the entries of the parameters whose comparison was replaced,
  // in order. Empty when the text is unchanged.
  std::vector<std::size_t> Replaced;
};

// Rewrites "= :P" into " IS NULL " and "<> :P" ("!=", "^=", "~=") into
// " IS NOT NULL " for every standalone WHERE parameter that has no value.
// `entries` are PreprocessParams' entries for `text`; `hasNoValue(i)` tells
// whether entry i has no value. Other comparisons ("<=", ">", ...) are left
// alone, and so is one with a "(", string or comment between the operator
// and the marker. The caller decides whether the rewrite applies at all and
// preprocesses the result again.
TNullRewrite RewriteNullComparisons(std::string_view text, const std::vector<TParamEntry>& entries,
                                    const std::function<bool(std::size_t)>& hasNoValue);

} // namespace nimbus
