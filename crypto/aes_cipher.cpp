#include "crypto/aes_cipher.h"

#include <algorithm>
#include <climits>
#include <stdexcept>
#include <utility>

#include <openssl/evp.h>

namespace nimbus {

namespace {

const EVP_CIPHER* CipherForKeyLength(std::size_t keyLength) {
  switch (keyLength) {
  case 16:
    return EVP_aes_128_ecb();
  case 24:
    return EVP_aes_192_ecb();
  case 32:
    return EVP_aes_256_ecb();
  default:
    throw std::invalid_argument("AES key length must be 16, 24 or 32 bytes");
  }
}

} // namespace

AesCipher::AesCipher(const std::uint8_t* key, std::size_t keyLength, bool encrypt) {
  const EVP_CIPHER* cipher = CipherForKeyLength(keyLength);
  context_ = EVP_CIPHER_CTX_new();
  if (context_ == nullptr)
    throw std::runtime_error("AES: out of memory");
  if (EVP_CipherInit_ex(context_, cipher, nullptr, key, nullptr, encrypt ? 1 : 0) != 1 ||
      EVP_CIPHER_CTX_set_padding(context_, 0) != 1) {
    EVP_CIPHER_CTX_free(context_);
    throw std::runtime_error("AES: cipher set-up failed");
  }
}

AesCipher::~AesCipher() {
  EVP_CIPHER_CTX_free(context_);
}

AesCipher::AesCipher(AesCipher&& other) noexcept
    : context_(std::exchange(other.context_, nullptr)) {}

AesCipher& AesCipher::operator=(AesCipher&& other) noexcept {
  std::swap(context_, other.context_);
  return *this;
}

void AesCipher::TransformBlocks(const std::uint8_t* in, std::uint8_t* out, std::size_t length) {
  if (context_ == nullptr || length % BlockSize != 0)
    throw std::logic_error("AES: no key or a partial block");
  // EVP takes an int length; feed very large buffers in pieces.
  constexpr std::size_t MaxPiece = (INT_MAX / BlockSize) * BlockSize;
  while (length > 0) {
    const std::size_t piece = std::min(length, MaxPiece);
    int written = 0;
    if (EVP_CipherUpdate(context_, out, &written, in, static_cast<int>(piece)) != 1 ||
        static_cast<std::size_t>(written) != piece)
      throw std::runtime_error("AES: transform failed");
    in += piece, out += piece, length -= piece;
  }
}

} // namespace nimbus
