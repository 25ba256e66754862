#pragma once

#include <cstdint>

namespace nimbus {

// The key formats are little-endian wherever bytes and words meet, whatever the host.
inline std::uint32_t LoadLittleEndian32(const std::uint8_t* p) {
  return std::uint32_t{p[0]} | std::uint32_t{p[1]} << 8 | std::uint32_t{p[2]} << 16 |
         std::uint32_t{p[3]} << 24;
}

inline void StoreLittleEndian32(std::uint8_t* p, std::uint32_t w) {
  p[0] = static_cast<std::uint8_t>(w);
  p[1] = static_cast<std::uint8_t>(w >> 8);
  p[2] = static_cast<std::uint8_t>(w >> 16);
  p[3] = static_cast<std::uint8_t>(w >> 24);
}

} // namespace nimbus
