#include "script/script_text.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

namespace nimbus {
namespace {

struct MatchCase {
  const char* keyword;
  const char* text;
  std::size_t col;
  bool match;
};

const MatchCase kMatchCases[] = {
    {"SET", "SET TERM", 1, true},
    {"SET", "set term", 1, true},      // lower case matches its capital
    {"SET", "SETTINGS", 1, false},     // must be followed by a delimiter
    {"SET", "SET", 1, true},           // or by the end of the text
    {"TERM", "X_TERM ^", 3, true},     // the character before is not examined
    {"VALUES", "VALUES(1)", 1, false}, // "(" is no delimiter
    {"END", "END)", 1, false},         // neither is ")"
    {"END", "END;", 1, true},
    {"END", "END^", 1, true},
    {"END", "END}", 1, true},
    {"END", "END-", 1, true},
    {"END", "END=", 1, false},
    // Only the letters a-z fold; other characters 32 above a keyword's are not it.
    {";", "[", 1, false},
    {"!", "A", 1, false},
    {"!!", "AA", 1, false},
    {"^", "~", 1, false},
    {"#", "C", 1, false},
    {"1", "Q", 1, false},
    {"@", "`", 1, false},
    {"[", "{", 1, false},
    {"{$IF", "{DIF X}", 1, false},
    {"\xC9T\xC9", "\xE9t\xE9", 1, false},
    {"AZ", "az", 1, true},
    {";", ";X", 1, false}, // a terminator directly followed by a letter
    {";", "; X", 1, true},
    {"SET", "SE", 1, false}, // longer than the rest of the text
    {"SET", "A SET", 3, true},
    {"SET", "A SET", 0, false},
    {"", " ", 1, true}, // an empty keyword matches at a delimiter
    {"", "x", 1, false},
    {"{$IF", "{$IFDEF X}", 1, false},
    {"{$IFDEF", "{$ifdef X}", 1, true},
};

TEST(script_text, match_keyword_cases) {
  for (const MatchCase& c : kMatchCases) {
    SCOPED_TRACE(std::string(c.keyword) + " in " + c.text);
    EXPECT_EQ(MatchKeyword(c.keyword, c.text, c.col), c.match);
  }
}

TEST(script_text, match_keyword_takes_the_length_modulo_256) {
  // A 256-character keyword counts as empty: it matches at any delimiter.
  EXPECT_TRUE(MatchKeyword(std::string(256, 'Z'), " ", 1));
}

std::string Pos(TScriptPos pos) {
  return std::to_string(pos.Line) + ":" + std::to_string(pos.Col);
}

// Every token position from the first one, as NextToken walks them.
std::string Walk(const std::vector<std::string>& script, TScriptPos end) {
  std::string out;
  for (TScriptPos pos = {1, 0}; pos.Col; pos = NextToken(script, pos, end)) {
    if (!out.empty())
      out += ' ';
    out += Pos(pos);
  }
  return out;
}

TEST(script_text, next_token_skips_blanks_comments_and_separators) {
  const std::vector<std::string> script = {
      "CREATE  TABLE;T -- note", "/* a", "b */ 'x y' \"q\"", "", "A/B -C", "/*/ D"};
  EXPECT_EQ(Walk(script, {6, 5}), "0:1 0:9 0:15 2:6 2:12 4:1 4:3 4:6 5:5");
}

TEST(script_text, next_token_stops_at_the_end_position) {
  const std::vector<std::string> script = {"A B C", "D E"};
  EXPECT_EQ(Walk(script, {3, 0}), "0:1 0:3");
  EXPECT_EQ(Walk(script, {1, 1}), "0:1 0:3 0:5 1:1");
  EXPECT_EQ(Walk(script, kNoEnd), "0:1");
}

TEST(script_text, next_token_passes_an_unclosed_quote_to_the_line_end) {
  const std::vector<std::string> script = {"'open B", "C"};
  EXPECT_EQ(Walk(script, {1, 1}), "0:1 1:1");
}

// Every word NextWord finds from `from`, as "line:col=word".
std::string Words(const std::vector<std::string>& script, TScriptPos from, TScriptPos end) {
  std::string out;
  std::string_view word;
  for (TScriptPos pos = NextWord(script, from, end, word); pos.Col;
       pos = NextWord(script, {pos.Col + static_cast<std::uint32_t>(word.size()), pos.Line}, end,
                      word)) {
    if (!out.empty())
      out += ' ';
    out += Pos(pos) + "=" + std::string(word);
  }
  return out;
}

TEST(script_text, next_word_passes_over_quotes_and_comments) {
  const std::vector<std::string> script = {"A1 'x y' q'[z]' \"Q\" B_$C -- D", "/* E 'F",
                                           "*/F(G)||H", "Q'<a", "b>'I"};
  EXPECT_EQ(Words(script, {1, 0}, {4, 4}), "0:1=A1 0:10=q 0:21=B_$C 2:3=F 2:5=G 2:9=H 3:1=Q 4:4=I");
  // Not the tail of a word it starts in, and nothing after the end.
  EXPECT_EQ(Words(script, {2, 0}, {5, 2}), "0:10=q 0:21=B_$C 2:3=F 2:5=G");
}

TEST(script_text, token_text_unquotes_and_stops_at_delimiters) {
  const std::vector<std::string> script = {"T(A,B) 'it''s' \"Q x\" A-B C/D E;F G,H 'open"};
  EXPECT_EQ(TokenText(script, {1, 0}, true), "T");
  EXPECT_EQ(TokenText(script, {8, 0}, true), "it"); // doubled quotes are not folded
  EXPECT_EQ(TokenText(script, {8, 0}, false), "'it''s'");
  EXPECT_EQ(TokenText(script, {16, 0}, true), "Q x");
  EXPECT_EQ(TokenText(script, {22, 0}, true), "A");
  EXPECT_EQ(TokenText(script, {26, 0}, true), "C");
  EXPECT_EQ(TokenText(script, {30, 0}, true), "E");
  EXPECT_EQ(TokenText(script, {34, 0}, true), "G");
  EXPECT_EQ(TokenText(script, {200, 0}, true), "");
  try {
    TokenText(script, {38, 0}, true);
    ADD_FAILURE() << "no error";
  } catch (const std::runtime_error& error) {
    EXPECT_STREQ(error.what(), "Can't find end token");
  }
}

TEST(script_text, statement_text_cuts_the_first_and_last_lines) {
  const std::vector<std::string> script = {"AB CD", "EF", "GH IJ"};
  std::vector<std::string> lines = {"stale"};
  StatementText(script, {4, 0}, {2, 2}, lines);
  EXPECT_EQ(lines, (std::vector<std::string>{"CD", "EF", "GH"}));
  StatementText(script, {2, 0}, {4, 0}, lines);
  EXPECT_EQ(lines, (std::vector<std::string>{"B C"}));
  StatementText(script, {4, 2}, kNoEnd, lines);
  EXPECT_EQ(lines, (std::vector<std::string>{"IJ"}));
  StatementText({}, {1, 0}, kNoEnd, lines);
  EXPECT_TRUE(lines.empty());
}

TEST(script_text, split_lines_at_any_line_break) {
  using Lines = std::vector<std::string>;
  EXPECT_EQ(SplitLines(""), Lines{});
  EXPECT_EQ(SplitLines("A"), Lines{"A"});
  EXPECT_EQ(SplitLines("A\r\n"), Lines{"A"});
  EXPECT_EQ(SplitLines("A\r\nB\nC\rD"), (Lines{"A", "B", "C", "D"}));
  EXPECT_EQ(SplitLines("A\n\nB\n\n"), (Lines{"A", "", "B", ""}));
  EXPECT_EQ(SplitLines("\r\r\n"), (Lines{"", ""}));
  EXPECT_EQ(SplitLines(std::string("\xe9t\xe9\0x", 5)), (Lines{std::string("\xe9t\xe9\0x", 5)}));
}

} // namespace
} // namespace nimbus
