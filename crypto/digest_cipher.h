#pragma once

#include <array>
#include <cstdint>

namespace nimbus {

// The mixing function shared by the key digest and its finishing cipher.
void Mix(std::uint32_t& a, std::uint32_t& b, std::uint32_t& c, std::uint32_t& d);

// The small Feistel block cipher that finishes the key digest. A block is 16
// bytes, read as little-endian words L0, L1, R0, R1; one pair of sub-keys per
// round. Decryption runs the same rounds with the pairs in reverse order.
class DigestCipher {
public:
  static constexpr std::array<std::uint32_t, 4> SeedWords = {0x55555555, 0xAAAAAAAA, 0x33333333,
                                                             0xCCCCCCCC};
  static constexpr std::size_t BlockSize = 16;

  // `rounds` is clamped to 4..16.
  DigestCipher(const std::array<std::uint32_t, 4>& key, int rounds, bool encrypt);

  int Rounds() const { return rounds_; }
  // Transforms one 16-byte block in place.
  void TransformBlock(std::uint8_t* block) const;

private:
  int rounds_;
  std::array<std::uint32_t, 32> subKeys_{};
};

} // namespace nimbus
