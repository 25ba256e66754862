#pragma once

#include <cstddef>
#include <cstdint>

struct evp_cipher_ctx_st;

namespace nimbus {

// AES (FIPS-197) block by block through libcrypto, with no padding and no
// chaining: the script file format does its own chaining. Move-only.
class AesCipher {
public:
  static constexpr std::size_t BlockSize = 16;

  // `keyLength` is 16, 24 or 32 bytes; anything else throws std::invalid_argument.
  AesCipher(const std::uint8_t* key, std::size_t keyLength, bool encrypt);
  ~AesCipher();
  AesCipher(AesCipher&& other) noexcept;
  AesCipher& operator=(AesCipher&& other) noexcept;
  AesCipher(const AesCipher&) = delete;
  AesCipher& operator=(const AesCipher&) = delete;

  // Transforms each 16-byte block of `in` on its own; `length` is a multiple of
  // 16, and `out` may be `in`. Many blocks per call let the hardware pipeline.
  void TransformBlocks(const std::uint8_t* in, std::uint8_t* out, std::size_t length);

private:
  evp_cipher_ctx_st* context_ = nullptr;
};

} // namespace nimbus
