#include "platform/text.h"

#include <cstdint>
#include <optional>

namespace nimbus {

namespace {

// Code points of bytes 0x80..0x9F in Windows-1252 (0 = undefined).
const char32_t kHigh[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178,
};

char32_t ToCodePoint(unsigned char byte) {
  if (byte >= 0x80 && byte < 0xA0 && kHigh[byte - 0x80] != 0)
    return kHigh[byte - 0x80];
  return byte;
}

void AppendUtf8(std::string& out, char32_t cp) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

int FromCodePoint(char32_t cp) {
  if (cp < 0x80 || (cp >= 0xA0 && cp <= 0xFF))
    return static_cast<int>(cp);
  for (int i = 0; i < 32; ++i)
    if (kHigh[i] == cp || (kHigh[i] == 0 && cp == static_cast<char32_t>(0x80 + i)))
      return 0x80 + i;
  return -1;
}

// Converts into `out`. Lenient, what has no Windows-1252 form becomes "?";
// exact, the conversion stops there and its offset is returned (npos when
// all of `text` converted). Exact also refuses overlong forms, which could
// smuggle a character past a check of the bytes.
std::size_t ConvertUtf8(std::string_view text, bool exact, std::string& out) {
  static constexpr char32_t kSmallest[4] = {0, 0x80, 0x800, 0x10000};
  out.clear();
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size();) {
    const auto lead = static_cast<unsigned char>(text[i]);
    int extra = lead < 0x80         ? 0
                : (lead >> 5) == 6  ? 1
                : (lead >> 4) == 14 ? 2
                : (lead >> 3) == 30 ? 3
                                    : -1;
    bool ok = extra >= 0 && text.size() - i > static_cast<std::size_t>(extra);
    char32_t cp = 0;
    if (ok) {
      cp = extra == 0 ? lead : lead & (0x3F >> extra);
      for (int k = 1; k <= extra && ok; ++k) {
        const auto next = static_cast<unsigned char>(text[i + k]);
        ok = (next & 0xC0) == 0x80;
        cp = (cp << 6) | (next & 0x3F);
      }
    }
    const int byte = ok ? FromCodePoint(cp) : -1;
    if (exact && (byte < 0 || cp < kSmallest[extra]))
      return i;
    out += static_cast<char>(byte < 0 ? '?' : byte);
    i += ok ? extra + 1 : 1;
  }
  return std::string_view::npos;
}

} // namespace

std::string Cp1252ToUtf8(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text)
    AppendUtf8(out, ToCodePoint(static_cast<unsigned char>(c)));
  return out;
}

std::string Utf8ToCp1252(std::string_view text) {
  std::string out;
  ConvertUtf8(text, false, out);
  return out;
}

std::optional<std::string> Utf8ToCp1252Exact(std::string_view text, std::size_t* badOffset) {
  std::string out;
  const std::size_t bad = ConvertUtf8(text, true, out);
  if (bad == std::string_view::npos)
    return out;
  if (badOffset)
    *badOffset = bad;
  return std::nullopt;
}

std::string AnsiLowerCase(std::string_view text) {
  std::string out(text);
  for (char& c : out) {
    const auto b = static_cast<unsigned char>(c);
    if ((b >= 'A' && b <= 'Z') || (b >= 0xC0 && b <= 0xDE && b != 0xD7))
      c = static_cast<char>(b + 0x20);
    else if (b == 0x8A || b == 0x8C || b == 0x8E)
      c = static_cast<char>(b + 0x10);
    else if (b == 0x9F)
      c = static_cast<char>(0xFF);
  }
  return out;
}

std::string AnsiUpperCase(std::string_view text) {
  std::string out(text);
  for (char& c : out) {
    const auto b = static_cast<unsigned char>(c);
    if ((b >= 'a' && b <= 'z') || (b >= 0xE0 && b <= 0xFE && b != 0xF7))
      c = static_cast<char>(b - 0x20);
    else if (b == 0x9A || b == 0x9C || b == 0x9E)
      c = static_cast<char>(b - 0x10);
    else if (b == 0xFF)
      c = static_cast<char>(0x9F);
  }
  return out;
}

} // namespace nimbus
