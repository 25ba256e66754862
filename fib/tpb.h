#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace nimbus {

// Transaction parameter names and their codes; a name's code is its position
// counting from 1.
extern const std::vector<std::string_view> TPBNameTable;

// The names of TPBNameTable plus "lock_timeout" (code 21), sorted for a
// binary search that ignores letter case.
struct TPBLookupEntry {
  std::string_view Name;
  int Code;
};
const std::vector<TPBLookupEntry>& TPBLookupList();

// Code of a parameter name (lower case, without the isc_tpb_ prefix); 0 when
// the name is unknown.
int LookupTPBName(std::string_view name);

// Translates the lines name[=value] of `params` into a transaction parameter
// block. Every line is trimmed in place. `lockTimeout` tells whether the server
// takes lock_timeout with a value (Firebird 2.1 and later). Unknown and
// unsupported names raise client errors 11 and 10; a table name too long for
// its one-byte length is refused.
void BuildTPB(std::vector<std::string>& params, std::string& tpb, int16_t& length,
              bool lockTimeout);

} // namespace nimbus
