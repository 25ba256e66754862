#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace nimbus {

// The first 2048 bits of the fractional part of pi, most significant first.
extern const std::array<std::uint8_t, 256> PiTable;

// The passphrase digest that yields the key of encrypted script files. Bytes
// are folded into a 256-byte digest seeded with PiTable and into a 16-byte key
// that is mixed every 8 bytes; the finish pads the key and encrypts the digest
// with that key.
class ScriptDigest {
public:
  static constexpr std::array<std::uint8_t, 8> DigestPad = {1, 0, 0, 0, 0, 0, 0, 0};

  ScriptDigest();
  ~ScriptDigest();
  ScriptDigest(const ScriptDigest&) = delete;
  ScriptDigest& operator=(const ScriptDigest&) = delete;

  void Update(std::string_view bytes);
  // Pads, encrypts the digest and returns it; the context is spent afterwards.
  const std::array<std::uint8_t, 256>& Finish();

private:
  void UpdateByte(std::uint8_t x);

  std::uint32_t digestIndex_ = 0;
  std::array<std::uint8_t, 256> digest_;
  std::uint32_t keyIndex_ = 0;
  std::array<std::uint8_t, 16> key_; // words K0..K3, little-endian
};

// Fills `key` with the first min(256, keyLength) bytes of the passphrase's digest.
void DeriveScriptKey(std::uint8_t* key, std::size_t keyLength, std::string_view passphrase);

} // namespace nimbus
