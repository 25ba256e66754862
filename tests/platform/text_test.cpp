#include <gtest/gtest.h>

#include "platform/text.h"

namespace nimbus::test {
namespace {

TEST(text, windows_1252_and_utf8_round_trip_every_byte) {
  std::string all;
  for (int b = 1; b < 256; ++b)
    all += static_cast<char>(b);
  EXPECT_EQ(Utf8ToCp1252(Cp1252ToUtf8(all)), all);
  EXPECT_EQ(Cp1252ToUtf8("\xE9\x80"), "é€");
  EXPECT_EQ(Utf8ToCp1252("Opération terminée. €"), "Op\xE9ration termin\xE9"
                                                   "e. \x80");
}

TEST(text, malformed_or_foreign_utf8_becomes_question_marks) {
  EXPECT_EQ(Utf8ToCp1252("\xC3"), "?");
  EXPECT_EQ(Utf8ToCp1252("a\xFF"
                         "b"),
            "a?b");
  EXPECT_EQ(Utf8ToCp1252("Ω"), "?");
}

TEST(text, case_mapping_covers_latin_letters) {
  EXPECT_EQ(AnsiLowerCase("C:\\PKG\\MAJ.SQL \xC9"), "c:\\pkg\\maj.sql \xE9");
  EXPECT_EQ(AnsiUpperCase("maj.sql \xE9\xF7"), "MAJ.SQL \xC9\xF7");
}

} // namespace
} // namespace nimbus::test
