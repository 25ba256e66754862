#include "crypto/script_key.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <string>
#include <vector>

#include "crypto/digest_cipher.h"

namespace nimbus {
namespace {

// Fixed-point number: limb 0 is the integer part, then 32-bit fraction limbs,
// most significant first.
using Fixed = std::vector<std::uint32_t>;

void DivideBy(Fixed& x, std::uint32_t divisor) {
  std::uint64_t remainder = 0;
  for (std::uint32_t& limb : x) {
    const std::uint64_t value = remainder << 32 | limb;
    limb = static_cast<std::uint32_t>(value / divisor);
    remainder = value % divisor;
  }
}

void AddTo(Fixed& x, const Fixed& y, bool subtract) {
  std::int64_t carry = 0;
  for (std::size_t i = x.size(); i-- > 0;) {
    const std::int64_t sum = std::int64_t{x[i]} + (subtract ? -std::int64_t{y[i]} : y[i]) + carry;
    x[i] = static_cast<std::uint32_t>(sum);
    carry = sum >> 32;
  }
}

bool IsZero(const Fixed& x) {
  for (std::uint32_t limb : x)
    if (limb != 0)
      return false;
  return true;
}

// n × arctan(1 / x) by its series.
Fixed ArcTanInverse(std::uint32_t x, std::uint32_t n, std::size_t limbs) {
  Fixed power(limbs, 0), sum(limbs, 0);
  power[0] = n;
  DivideBy(power, x);
  for (std::uint32_t k = 0; !IsZero(power); ++k) {
    Fixed term = power;
    DivideBy(term, 2 * k + 1);
    AddTo(sum, term, k % 2 == 1);
    DivideBy(power, x * x);
  }
  return sum;
}

TEST(script_key, pi_table_holds_the_binary_digits_of_pi) {
  const std::array<std::uint8_t, 8> head = {0x24, 0x3F, 0x6A, 0x88, 0x85, 0xA3, 0x08, 0xD3};
  EXPECT_TRUE(std::equal(head.begin(), head.end(), PiTable.begin()));

  // Machin: pi = 16 arctan(1/5) - 4 arctan(1/239), with two guard limbs.
  const std::size_t limbs = 1 + 64 + 2;
  Fixed pi = ArcTanInverse(5, 16, limbs);
  AddTo(pi, ArcTanInverse(239, 4, limbs), true);
  ASSERT_EQ(pi[0], 3u);
  for (std::size_t i = 0; i < PiTable.size(); ++i) {
    const std::uint32_t limb = pi[1 + i / 4];
    ASSERT_EQ(PiTable[i], static_cast<std::uint8_t>(limb >> (24 - 8 * (i % 4)))) << "byte " << i;
  }
}

std::string KeyHex(std::string_view passphrase) {
  std::array<std::uint8_t, 16> key{};
  DeriveScriptKey(key.data(), key.size(), passphrase);
  std::string hex;
  char digits[3];
  for (std::uint8_t b : key) {
    std::snprintf(digits, sizeof digits, "%02x", b);
    hex += digits;
  }
  return hex;
}

// Keys already in use by encrypted files; any change here breaks those files.
// Cross-checked against a separate implementation of the digest.
TEST(script_key, derives_the_established_keys) {
  const struct {
    const char* passphrase;
    const char* key;
  } cases[] = {
      {"", "0bd132aa831c56ac1f92e61084a342d2"},           {"a", "845eb2948758dc943b8a2f887491032e"},
      {"12345678", "b71bccfc7a8c64aae7e3b7c6716ad7d6"},  // key mixed, then a whole pad
      {"123456789", "c19b40cfe741e4dd0f903f1a60c9af50"}, // mixed, then 7 pad bytes
      {"passphrase", "a1c7ad9a54a7dc383c6b720064780c6b"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.passphrase);
    EXPECT_EQ(KeyHex(c.passphrase), c.key);
    EXPECT_EQ(KeyHex(c.passphrase), KeyHex(c.passphrase));
  }
}

TEST(script_key, empty_passphrase_still_runs_the_finish) {
  std::array<std::uint8_t, 16> key{};
  DeriveScriptKey(key.data(), key.size(), "");
  EXPECT_FALSE(std::equal(key.begin(), key.end(), PiTable.begin()));
}

// Any one key byte stays equal by chance once in 256, so ask for nearly all 16.
TEST(script_key, one_changed_byte_changes_the_whole_key) {
  const std::pair<std::string, std::string> cases[] = {
      {"a", "b"},
      {"12345678", "12345679"},
      {"passphrase", "Passphrase"},
      {"passphrase", "passphrasf"},
      {std::string("\0", 1), std::string("\x80", 1)},
      {std::string(300, 'x'), std::string(299, 'x') + "y"},
  };
  for (const auto& [first, second] : cases) {
    SCOPED_TRACE(first.size());
    const std::string a = KeyHex(first), b = KeyHex(second);
    int changed = 0;
    for (std::size_t i = 0; i < a.size(); i += 2)
      changed += a.substr(i, 2) != b.substr(i, 2);
    EXPECT_GE(changed, 14) << a << " " << b;
  }
}

TEST(script_key, key_length_is_capped_at_the_digest_size) {
  std::vector<std::uint8_t> buffer(300, 0xEE);
  DeriveScriptKey(buffer.data(), buffer.size(), "passphrase");
  for (std::size_t i = 256; i < buffer.size(); ++i)
    ASSERT_EQ(buffer[i], 0xEE) << "written past the digest at " << i;

  std::array<std::uint8_t, 16> key{};
  DeriveScriptKey(key.data(), key.size(), "passphrase");
  EXPECT_TRUE(std::equal(key.begin(), key.end(), buffer.begin()));

  std::uint8_t untouched = 0xEE;
  DeriveScriptKey(&untouched, 0, "passphrase");
  EXPECT_EQ(untouched, 0xEE);
}

TEST(digest_cipher, decryption_undoes_encryption_for_every_round_count) {
  const std::array<std::uint32_t, 4> key = {0x01234567, 0x89ABCDEF, 0xFEDCBA98, 0x76543210};
  std::array<std::uint8_t, 16> plain{};
  for (std::size_t i = 0; i < plain.size(); ++i)
    plain[i] = static_cast<std::uint8_t>(i * 37);
  for (int rounds : {1, 4, 5, 8, 16, 40}) {
    SCOPED_TRACE(rounds);
    const DigestCipher encrypt(key, rounds, true), decrypt(key, rounds, false);
    EXPECT_EQ(encrypt.Rounds(), std::clamp(rounds, 4, 16));
    std::array<std::uint8_t, 16> block = plain;
    encrypt.TransformBlock(block.data());
    EXPECT_NE(block, plain);
    decrypt.TransformBlock(block.data());
    EXPECT_EQ(block, plain);
  }
}

} // namespace
} // namespace nimbus
