#include "crypto/aes_cipher.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

namespace nimbus {
namespace {

std::vector<std::uint8_t> Hex(const std::string& hex) {
  std::vector<std::uint8_t> bytes;
  for (std::size_t i = 0; i + 1 < hex.size(); i += 2)
    bytes.push_back(static_cast<std::uint8_t>(std::stoi(hex.substr(i, 2), nullptr, 16)));
  return bytes;
}

// FIPS-197 appendix C: one plaintext under the three key sizes.
TEST(aes_cipher, fips197_known_answers_both_directions) {
  const std::vector<std::uint8_t> plain = Hex("00112233445566778899aabbccddeeff");
  const struct {
    const char* key;
    const char* cipher;
  } cases[] = {
      {"000102030405060708090a0b0c0d0e0f", "69c4e0d86a7b0430d8cdb78070b4c55a"},
      {"000102030405060708090a0b0c0d0e0f1011121314151617", "dda97ca4864cdfe06eaf70a0ec0d7191"},
      {"000102030405060708090a0b0c0d0e0f101112131415161718191a1b1c1d1e1f",
       "8ea2b7ca516745bfeafc49904b496089"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.key);
    const std::vector<std::uint8_t> key = Hex(c.key);
    std::vector<std::uint8_t> block = plain;
    AesCipher(key.data(), key.size(), true).TransformBlocks(block.data(), block.data(), 16);
    EXPECT_EQ(block, Hex(c.cipher));
    AesCipher(key.data(), key.size(), false).TransformBlocks(block.data(), block.data(), 16);
    EXPECT_EQ(block, plain);
  }
}

TEST(aes_cipher, many_blocks_are_transformed_independently) {
  const std::vector<std::uint8_t> key = Hex("000102030405060708090a0b0c0d0e0f");
  std::vector<std::uint8_t> blocks;
  for (int i = 0; i < 3; ++i)
    for (std::uint8_t b : Hex("00112233445566778899aabbccddeeff"))
      blocks.push_back(b);
  std::vector<std::uint8_t> out(blocks.size());
  AesCipher(key.data(), key.size(), true).TransformBlocks(blocks.data(), out.data(), out.size());
  const std::vector<std::uint8_t> expected = Hex("69c4e0d86a7b0430d8cdb78070b4c55a");
  for (std::size_t offset = 0; offset < out.size(); offset += 16)
    EXPECT_EQ(std::vector<std::uint8_t>(out.begin() + offset, out.begin() + offset + 16), expected);
}

TEST(aes_cipher, refuses_other_key_lengths_and_partial_blocks) {
  const std::vector<std::uint8_t> key(32, 7);
  for (std::size_t length : {0u, 8u, 15u, 17u, 20u, 28u, 33u}) {
    SCOPED_TRACE(length);
    EXPECT_THROW(AesCipher(key.data(), length, true), std::invalid_argument);
  }
  AesCipher aes(key.data(), 16, false);
  std::uint8_t block[17] = {};
  EXPECT_THROW(aes.TransformBlocks(block, block, 17), std::logic_error);
}

} // namespace
} // namespace nimbus
