#include "app/password_candidate.h"

#include <array>

namespace nimbus {

namespace {

constexpr std::string_view FallbackPassword = "ZEPHYRINE";

// Scrambled; see ScrambleCandidate.
constexpr std::array<unsigned char, 8> ScrambledScriptPassword = {0x72, 0x70, 0x2C, 0x4B,
                                                                  0x52, 0x64, 0x7B, 0x6A};
constexpr std::array<unsigned char, 11> ScrambledFirstPassword = {
    0x54, 0x2E, 0x46, 0x63, 0x70, 0x75, 0x43, 0x67, 0x37, 0x7C, 0x6F};

template <std::size_t N> std::string Unscramble(const std::array<unsigned char, N>& stored) {
  return ScrambleCandidate(
      std::string_view(reinterpret_cast<const char*>(stored.data()), stored.size()));
}

} // namespace

std::string ScrambleCandidate(std::string_view text) {
  std::string result(text);
  for (std::size_t i = 0; i < result.size(); ++i)
    result[i] = static_cast<char>(static_cast<unsigned char>(result[i]) ^ ((2 * (i + 1)) & 0xFF));
  return result;
}

std::string PasswordCandidate(std::int32_t index) {
  switch (index) {
  case 0:
    return std::string(FallbackPassword);
  case 1:
    return Unscramble(ScrambledScriptPassword);
  case 2:
    return Unscramble(ScrambledFirstPassword);
  default:
    return {};
  }
}

} // namespace nimbus
