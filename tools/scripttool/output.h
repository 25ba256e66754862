#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <type_traits>

#include "script/parser.h"
#include "script/script_types.h"

// Line-oriented output of the subcommands: tab-separated fields, one record
// per line.
namespace nimbus::scripttool {

// Positions print as 1-based line and column; a position without end prints 0:0.
inline void AppendPos(std::string& out, TScriptPos pos) {
  out += std::to_string(static_cast<long long>(pos.Line) + 1);
  out += ':';
  out += std::to_string(pos.Col);
}

template <typename... Fields> void AppendFields(std::string& out, const Fields&... fields) {
  bool first = true;
  (
      [&] {
        if (!first)
          out += '\t';
        first = false;
        if constexpr (std::is_same_v<Fields, TScriptPos>)
          AppendPos(out, fields);
        else if constexpr (std::is_same_v<Fields, bool>)
          out += fields ? '1' : '0';
        else if constexpr (std::is_integral_v<Fields>)
          out += std::to_string(fields);
        else
          out += fields;
      }(),
      ...);
  out += '\n';
}

// A directive as "D" and its index, or "-" for none. Appended, not
// concatenated: GCC 12 at -O3 takes "D" + text for an overlapping copy.
inline std::string DirectiveName(std::int32_t index) {
  if (index < 0)
    return "-";
  std::string name = "D";
  name += std::to_string(index);
  return name;
}

// The summary of a parse: counts, the parser's flags, the terminator at the end.
inline std::string ParseSummary(const TpFIBScriptParser& parser, std::size_t statements,
                                std::size_t directives, const std::string& terminator) {
  return "statements=" + std::to_string(statements) + " directives=" + std::to_string(directives) +
         " connects=" + (parser.MakesConnection() ? "1" : "0") +
         " dml=" + (parser.HasDML() ? "1" : "0") +
         " unrecognized=" + (parser.HasUnrecognized() ? "1" : "0") + " terminator=" + terminator;
}

inline void Write(const std::string& text, std::FILE* stream) {
  std::fwrite(text.data(), 1, text.size(), stream);
}

} // namespace nimbus::scripttool
