#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

// A property a harness asserts beyond "no crash". A failure aborts, so
// libFuzzer keeps the input as a crash like any other.
#define FUZZ_REQUIRE(condition)                                                                    \
  ((condition) ? void() : ::nimbus::fuzz::Fail(#condition, __FILE__, __LINE__))

namespace nimbus::fuzz {

[[noreturn]] inline void Fail(const char* condition, const char* file, int line) {
  std::fprintf(stderr, "%s:%d: property failed: %s\n", file, line, condition);
  std::abort();
}

// The fuzzer's bytes, taken from the front: option bytes first, then text.
class Input {
public:
  Input(const std::uint8_t* data, std::size_t size)
      : bytes_(reinterpret_cast<const char*>(data), size) {}

  // 0 once the input is used up, so short inputs still run.
  std::uint8_t Byte() {
    if (bytes_.empty())
      return 0;
    const auto byte = static_cast<std::uint8_t>(bytes_.front());
    bytes_.remove_prefix(1);
    return byte;
  }
  // Everything left.
  std::string_view Rest() {
    const std::string_view rest = bytes_;
    bytes_ = {};
    return rest;
  }

private:
  std::string_view bytes_;
};

// Parameter lines from the fuzzer's text, one per LF.
inline std::vector<std::string> SplitAtLineFeeds(std::string_view text) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  for (std::size_t end; (end = text.find('\n', start)) != std::string_view::npos; start = end + 1)
    lines.emplace_back(text.substr(start, end - start));
  lines.emplace_back(text.substr(start));
  return lines;
}

} // namespace nimbus::fuzz
