#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "script/script_types.h"

namespace nimbus {

// Lexical helpers over script lines (8-bit text, no line breaks). They read in
// place and allocate only for the text they return.

// One character of a keyword test: equal, or an ASCII lower-case letter
// against its capital. Nothing else folds, so "[" is not ";" and "A" is not
// "!": a terminator made of punctuation must stand as it is.
constexpr bool KeywordCharMatches(unsigned char keyword, unsigned char text) {
  return text == keyword || (text >= 'a' && text <= 'z' && text - ('a' - 'A') == keyword);
}

// Whether `keyword` (upper case) stands at 1-based column `col` of `text`,
// character by character as KeywordCharMatches says. After the keyword the
// text must end or go on with a delimiter: TAB LF CR space , - / ; ^ }.
// The character before the match is never examined.
bool MatchKeyword(std::string_view keyword, std::string_view text, std::size_t col);

// Letters, digits, "_" and "$": what an unquoted name is made of.
constexpr bool IsWordChar(unsigned char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_' ||
         c == '$';
}

// IsWordChar, or an 8-bit character, which a word may hold in this text.
constexpr bool IsWordByte(unsigned char c) {
  return IsWordChar(c) || c >= 0x80;
}

// Lexical modes of statement text that carry over from one line to the next.
enum class TLexMode : std::uint8_t {
  kNormal,
  kBlockComment,
  kSingleQuote,
  kDoubleQuote,
  kQLiteral
};

struct TLexState {
  TLexMode Mode = TLexMode::kNormal;
  char Close = 0; // a q-literal ends at this character directly followed by a quote
};

// At column `col` of normal text: when its character opens a quoted text, a
// q-literal or a comment, enters that mode and returns the column of the
// opening's last character (for "--", the line's length: the rest of the line
// is the comment). Otherwise returns 0. A q-literal is q'<c>...<c>' (q or Q,
// not the end of a longer name); ( [ { < close with their partners, any other
// delimiter with itself. A "q'" at the end of a line has no delimiter and is
// taken for a q and a quote.
std::size_t EnterLexMode(TLexState& lex, std::string_view text, std::size_t col);

// Inside a quoted text, q-literal or block comment at `col`: the column of its
// last character, the mode then back to normal; or the line's length when it
// goes on past the line. A doubled quote ends the text and opens it again.
std::size_t SkipLexMode(TLexState& lex, std::string_view text, std::size_t col);

// The first whole word (a run of word characters, not the tail of one
// before it) from `pos` up to `end` (inclusive) that stands outside quoted
// texts, q-literals and comments; Col 0 when there is none. `pos` lies in
// normal text, as a statement's start or the place after a word or a
// terminator does. `word` views the word in its line.
TScriptPos NextWord(const std::vector<std::string>& script, TScriptPos pos, TScriptPos end,
                    std::string_view& word);

// Position of the token after the one at `pos`, searching no further than
// `end` (inclusive); Col 0 when there is none. Blanks, ";", lone "-" and "/",
// "--" line comments and "/* */" comments lie between tokens.
TScriptPos NextToken(const std::vector<std::string>& script, TScriptPos pos, TScriptPos end);

// Text of the token at `pos`. With `unquote`, a token opening with ' or " is
// the text up to the same quote on that line (doubled quotes are not folded);
// without the closing quote the error is "Can't find end token". Otherwise the
// text stops at a blank, "(", ",", "-", "/", ";" or the end of the line.
std::string TokenText(const std::vector<std::string>& script, TScriptPos pos, bool unquote);

// Fills `lines` with the text from `from` to `to`, both inclusive. A `to`
// without end (kNoEnd) means the end of the last line.
void StatementText(const std::vector<std::string>& script, TScriptPos from, TScriptPos to,
                   std::vector<std::string>& lines);

// Splits 8-bit text at CR LF, LF or CR; a final line break adds no empty line.
std::vector<std::string> SplitLines(std::string_view text);

// The lines joined, each followed by CR LF.
std::string JoinLines(const std::vector<std::string>& lines);

} // namespace nimbus
