#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace nimbus {

// An INI file read the way the Windows profile functions read one: section
// and key names match without regard to ASCII case, keys and values are
// trimmed, one pair of enclosing quotes ("" or '') is removed from a value,
// the first of two same-named sections or keys wins, and lines starting with
// ";" are comments. A file that cannot be read behaves as an empty one.
class TIniFile {
public:
  explicit TIniFile(const std::string& path);
  // From text, for tests.
  static TIniFile FromText(const std::string& text);

  static constexpr std::size_t kMaxValueLength = 2047;

  // The value of `key`, cut to kMaxValueLength characters, or `fallback`.
  std::string ReadString(const std::string& section, const std::string& key,
                         const std::string& fallback) const;
  // The value parsed by ParseInteger, or `fallback` when missing or not a number.
  std::int32_t ReadInteger(const std::string& section, const std::string& key,
                           std::int32_t fallback) const;
  // A flag is an integer: 0 is false, any other number true.
  bool ReadBool(const std::string& section, const std::string& key, bool fallback) const;
  // Every key=value pair of the section, in file order, duplicates included,
  // values whole.
  std::vector<std::pair<std::string, std::string>>
  ReadSectionPairs(const std::string& section) const;

private:
  TIniFile() = default;
  void Parse(const std::string& text);
  const std::vector<std::pair<std::string, std::string>>*
  FindSection(const std::string& name) const;

  std::vector<std::pair<std::string, std::vector<std::pair<std::string, std::string>>>> sections_;
};

// Decimal, or hexadecimal after "$" or after "0x"/"0X" (the latter only when
// the text has at least three characters), with an optional sign; nothing
// when the text is not such a number or does not fit 32 bits.
std::optional<std::int32_t> ParseInteger(const std::string& text);

} // namespace nimbus
