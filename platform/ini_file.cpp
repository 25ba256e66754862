#include "platform/ini_file.h"

#include <strings.h>

#include "platform/exception.h"
#include "platform/os.h"

namespace nimbus {

namespace {

std::string Trim(const std::string& text) {
  const auto first = text.find_first_not_of(" \t");
  if (first == std::string::npos)
    return "";
  const auto last = text.find_last_not_of(" \t");
  return text.substr(first, last - first + 1);
}

std::string Unquote(std::string value) {
  if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
      value.back() == value.front())
    return value.substr(1, value.size() - 2);
  return value;
}

bool SameName(const std::string& a, const std::string& b) {
  return a.size() == b.size() && ::strncasecmp(a.c_str(), b.c_str(), a.size()) == 0;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9')
    return c - '0';
  if (c >= 'a' && c <= 'f')
    return c - 'a' + 10;
  if (c >= 'A' && c <= 'F')
    return c - 'A' + 10;
  return -1;
}

} // namespace

TIniFile::TIniFile(const std::string& path) {
  std::string text;
  try {
    text = os::ReadFileBytes(path);
  } catch (const EFileReadError&) {
    return; // a file that cannot be read (a folder, say) reads as empty
  }
  Parse(text);
}

TIniFile TIniFile::FromText(const std::string& text) {
  TIniFile ini;
  ini.Parse(text);
  return ini;
}

void TIniFile::Parse(const std::string& text) {
  std::size_t pos = text.rfind("\xEF\xBB\xBF", 0) == 0 ? 3 : 0;
  std::vector<std::pair<std::string, std::string>>* current = nullptr;
  while (pos < text.size()) {
    std::size_t end = text.find_first_of("\r\n", pos);
    if (end == std::string::npos)
      end = text.size();
    const std::string line = Trim(text.substr(pos, end - pos));
    pos = end + 1;
    if (end < text.size() && text[end] == '\r' && pos < text.size() && text[pos] == '\n')
      ++pos;
    if (line.empty() || line[0] == ';')
      continue;
    if (line[0] == '[') {
      const auto close = line.find(']');
      const std::string name =
          Trim(line.substr(1, close == std::string::npos ? std::string::npos : close - 1));
      sections_.emplace_back(name, std::vector<std::pair<std::string, std::string>>{});
      current = &sections_.back().second;
      continue;
    }
    const auto eq = line.find('=');
    if (!current || eq == std::string::npos)
      continue;
    current->emplace_back(Trim(line.substr(0, eq)), Unquote(Trim(line.substr(eq + 1))));
  }
}

const std::vector<std::pair<std::string, std::string>>*
TIniFile::FindSection(const std::string& name) const {
  for (const auto& section : sections_)
    if (SameName(section.first, name))
      return &section.second;
  return nullptr;
}

std::string TIniFile::ReadString(const std::string& section, const std::string& key,
                                 const std::string& fallback) const {
  if (const auto* pairs = FindSection(section))
    for (const auto& [k, v] : *pairs)
      if (SameName(k, key))
        return v.substr(0, kMaxValueLength);
  return fallback;
}

std::int32_t TIniFile::ReadInteger(const std::string& section, const std::string& key,
                                   std::int32_t fallback) const {
  const auto* pairs = FindSection(section);
  if (!pairs)
    return fallback;
  for (const auto& [k, v] : *pairs)
    if (SameName(k, key))
      return ParseInteger(v.substr(0, kMaxValueLength)).value_or(fallback);
  return fallback;
}

bool TIniFile::ReadBool(const std::string& section, const std::string& key, bool fallback) const {
  return ReadInteger(section, key, fallback ? 1 : 0) != 0;
}

std::vector<std::pair<std::string, std::string>>
TIniFile::ReadSectionPairs(const std::string& section) const {
  if (const auto* pairs = FindSection(section))
    return *pairs;
  return {};
}

std::optional<std::int32_t> ParseInteger(const std::string& text) {
  std::size_t i = 0;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
    negative = text[i] == '-';
    ++i;
  }
  bool hex = false;
  if (i < text.size() && text[i] == '$') {
    hex = true;
    ++i;
  } else if (text.size() >= 3 && i + 1 < text.size() && text[i] == '0' &&
             (text[i + 1] == 'x' || text[i + 1] == 'X')) {
    hex = true;
    i += 2;
  }
  if (i >= text.size())
    return std::nullopt;
  std::uint64_t value = 0;
  for (; i < text.size(); ++i) {
    const int digit =
        hex ? HexDigit(text[i]) : (text[i] >= '0' && text[i] <= '9' ? text[i] - '0' : -1);
    if (digit < 0)
      return std::nullopt;
    value = value * (hex ? 16 : 10) + static_cast<unsigned>(digit);
    if (value > 0xFFFFFFFFull)
      return std::nullopt;
  }
  if (hex) // hexadecimal covers the whole 32-bit pattern, as the platform's conversion does
    return static_cast<std::int32_t>(negative ? 0u - static_cast<std::uint32_t>(value)
                                              : static_cast<std::uint32_t>(value));
  if (negative ? value > 0x80000000ull : value > 0x7FFFFFFFull)
    return std::nullopt;
  return static_cast<std::int32_t>(negative ? -static_cast<std::int64_t>(value)
                                            : static_cast<std::int64_t>(value));
}

} // namespace nimbus
