// A run description read as the program reads it: INI rules, the run options
// and the script entries. Names and values come out trimmed and bounded,
// lookups ignore case, and integers read back what they print.
#include <cstdio>
#include <string>

#include "app/run_description.h"
#include "app/run_state.h"
#include "fuzz/fuzz_support.h"
#include "platform/ini_file.h"

namespace {

using namespace nimbus;

bool Trimmed(const std::string& text) {
  return text.empty() ||
         (text.front() != ' ' && text.front() != '\t' && text.back() != ' ' && text.back() != '\t');
}

bool OneLine(const std::string& text) {
  return text.find_first_of("\r\n") == std::string::npos;
}

std::string SwapCase(std::string text) {
  for (char& c : text)
    if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'))
      c ^= 0x20;
  return text;
}

void CheckIntegers(std::uint32_t bits) {
  const auto value = static_cast<std::int32_t>(bits);
  FUZZ_REQUIRE(ParseInteger(std::to_string(value)) == value);
  char hex[16];
  std::snprintf(hex, sizeof hex, "%X", static_cast<unsigned>(bits));
  FUZZ_REQUIRE(ParseInteger(std::string("$") + hex) == value);
  FUZZ_REQUIRE(ParseInteger(std::string("0x") + hex) == value);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzz::Input input(data, size);
  std::uint32_t bits = 0;
  for (int i = 0; i < 4; ++i)
    bits = bits << 8 | input.Byte();
  CheckIntegers(bits);

  const TIniFile ini = TIniFile::FromText(std::string(input.Rest()));
  for (const char* section : {"configuration", "scripts"}) {
    for (const auto& [key, value] : ini.ReadSectionPairs(section)) {
      FUZZ_REQUIRE(Trimmed(key) && OneLine(key) && OneLine(value));
      const std::string read = ini.ReadString(SwapCase(section), SwapCase(key), "\n");
      FUZZ_REQUIRE(read.size() <= TIniFile::kMaxValueLength);
      // The first of two same-named keys wins, so `read` may belong to another
      // line: it is still a value of the section.
      FUZZ_REQUIRE(read != "\n");
      if (const auto number = ParseInteger(read))
        FUZZ_REQUIRE(ini.ReadInteger(section, key, *number ^ 1) == *number);
    }
  }

  TRunState state;
  ReadRunOptions(ini, state);
  FUZZ_REQUIRE(state.StationSettings.DatabaseAlias.size() <= TIniFile::kMaxValueLength);
  FUZZ_REQUIRE(ServerOnlyRefuses(state) ==
               (state.ServerOnly && state.StationSettings.ServerAddress != "127.0.0.1"));

  // No file is found in a folder that does not exist, unless a path is absolute.
  for (const TScriptEntry& entry : ReadScriptEntries(ini, "/nonexistent-nimbus-fuzz")) {
    const auto semicolon = entry.Value.find(';');
    FUZZ_REQUIRE(entry.Label ==
                 (semicolon == std::string::npos ? "" : entry.Value.substr(semicolon + 1)));
    FUZZ_REQUIRE(entry.Resolved.empty() || entry.Resolved == entry.Value.substr(0, semicolon));
  }
  return 0;
}
