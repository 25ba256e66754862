#include "app/password_candidate.h"

#include <gtest/gtest.h>

#include <climits>
#include <fstream>
#include <iterator>
#include <string>

namespace nimbus {
namespace {

// Candidates never appear in a failure message: only sizes and flags are compared.

TEST(password_candidate, numbers_0_to_2_have_their_forms) {
  EXPECT_TRUE(PasswordCandidate(0) == "ZEPHYRINE");
  EXPECT_EQ(PasswordCandidate(1).size(), 8u);
  EXPECT_EQ(PasswordCandidate(2).size(), 11u);
  EXPECT_TRUE(PasswordCandidate(1) != PasswordCandidate(2));
  for (int index : {1, 2}) {
    SCOPED_TRACE(index);
    bool printable = true;
    for (unsigned char c : PasswordCandidate(index))
      printable = printable && c > 0x20 && c < 0x7F;
    EXPECT_TRUE(printable);
  }
}

TEST(password_candidate, other_numbers_give_an_empty_password) {
  for (int index : {-1, 3, 100, INT_MIN, INT_MAX}) {
    SCOPED_TRACE(index);
    EXPECT_TRUE(PasswordCandidate(index).empty());
  }
}

TEST(password_candidate, scrambling_xors_twice_the_position) {
  const struct {
    std::string text;
    std::string scrambled;
  } cases[] = {
      {"", ""},
      {"AAAA", "\x43\x45\x47\x49"},
      {std::string("\x02\x04", 2), std::string("\0\0", 2)},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text.size());
    EXPECT_EQ(ScrambleCandidate(c.text), c.scrambled);
    EXPECT_EQ(ScrambleCandidate(c.scrambled), c.text);
  }
  // 2 × 128 wraps to 0: the 128th byte stays as it is, the 129th takes 2.
  const std::string scrambled = ScrambleCandidate(std::string(130, 'a'));
  EXPECT_EQ(scrambled[127], 'a');
  EXPECT_EQ(scrambled[128], 'a' ^ 2);
}

TEST(password_candidate, plain_candidates_are_not_in_the_program) {
  std::ifstream self("/proc/self/exe", std::ios::binary);
  ASSERT_TRUE(self);
  const std::string image((std::istreambuf_iterator<char>(self)), std::istreambuf_iterator<char>());
  ASSERT_GT(image.size(), 0u);
  for (int index : {1, 2}) {
    SCOPED_TRACE(index);
    EXPECT_TRUE(image.find(PasswordCandidate(index)) == std::string::npos);
    EXPECT_FALSE(image.find(ScrambleCandidate(PasswordCandidate(index))) == std::string::npos);
  }
}

} // namespace
} // namespace nimbus
