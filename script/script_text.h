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
