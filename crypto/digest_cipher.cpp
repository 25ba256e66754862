#include "crypto/digest_cipher.h"

#include "crypto/byte_order.h"

#include <algorithm>
#include <cstddef>

namespace nimbus {

void Mix(std::uint32_t& a, std::uint32_t& b, std::uint32_t& c, std::uint32_t& d) {
  d += a, a += d, d ^= d >> 7;
  c += d, d += c, c ^= c << 13;
  b += c, c += b, b ^= b >> 17;
  a += b, b += a, a ^= a << 9;
  d += a, a += d, d ^= d >> 3;
  c += d, d += c, c ^= c << 7;
  b += c, c += b, b ^= a >> 15; // a, not b: the format depends on it
  a += b, b += a, a ^= a << 11;
}

DigestCipher::DigestCipher(const std::array<std::uint32_t, 4>& key, int rounds, bool encrypt)
    : rounds_(std::clamp(rounds, 4, 16)) {
  std::size_t out = 0;
  for (std::uint32_t t : SeedWords) {
    std::uint32_t a = key[0], b = t, c = key[1], d = t, e = key[2], f = t, g = key[3], h = t;
    for (int i = 0; i < 8; ++i) {
      a ^= b << 11, d += a, b += c;
      b ^= c >> 2, e += b, c += d;
      c ^= d << 8, f += c, d += e;
      d ^= e >> 16, g += d, e += f;
      e ^= f << 10, h += e, f += g;
      f ^= g >> 4, a += f, g += h;
      g ^= h << 8, b += g, h += a;
      h ^= a >> 9, c += h, a += b;
    }
    for (std::uint32_t w : {a, b, c, d, e, f, g, h})
      subKeys_[out++] = w;
  }
  if (!encrypt) {
    for (int i = 0, j = rounds_ - 1; i < j; ++i, --j) {
      std::swap(subKeys_[2 * i], subKeys_[2 * j]);
      std::swap(subKeys_[2 * i + 1], subKeys_[2 * j + 1]);
    }
  }
}

void DigestCipher::TransformBlock(std::uint8_t* block) const {
  std::uint32_t l0 = LoadLittleEndian32(block), l1 = LoadLittleEndian32(block + 4);
  std::uint32_t r0 = LoadLittleEndian32(block + 8), r1 = LoadLittleEndian32(block + 12);
  for (int round = 0; round < rounds_; ++round) {
    std::uint32_t a = subKeys_[2 * round + 1], b = l1, c = subKeys_[2 * round], d = l0;
    Mix(a, b, c, d);
    std::uint32_t a2 = c, b2 = d, c2 = a, d2 = b;
    Mix(a2, b2, c2, d2);
    const std::uint32_t t0 = c2 ^ d2 ^ r0;
    const std::uint32_t t1 = a2 ^ b2 ^ r1;
    r0 = l0, r1 = l1;
    l0 = t0, l1 = t1;
  }
  StoreLittleEndian32(block, r0);
  StoreLittleEndian32(block + 4, r1);
  StoreLittleEndian32(block + 8, l0);
  StoreLittleEndian32(block + 12, l1);
}

} // namespace nimbus
