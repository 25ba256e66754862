#pragma once

#include "fib/param_lines.h"

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace nimbus {

// Parameter names of the database parameter block; a name's code is its
// position counting from 1 (DPBNameTable[code - 1]).
inline constexpr int kDPBNameCount = 83;
extern const std::array<std::string_view, kDPBNameCount> DPBNameTable;

struct TParamName {
  std::string_view Name;
  int Code;
};
// The table's names with their codes, then no_db_triggers (72),
// set_db_charset (68) and utf8_filename (77). Built at start-up.
const std::vector<TParamName>& DPBLookupList();
// Exact, case-sensitive; the first match wins; 0 when not found.
int LookupDPBCode(std::string_view name);

// A decimal 32-bit integer with optional leading blanks and sign, as the
// parameter blocks read their numbers. Throws EConvertError otherwise.
std::int32_t ParseParamInteger(const std::string& value);

// Shutdown mode of a "shutdown" value: pieces split at "," and ";", OR-ed;
// an unknown piece gives -1. Throws EConvertError for a bad number.
int ParseShutdownMode(std::string_view value);

// An attachment's settings, lines of the form name=value. The owner may
// refuse a change (OnChanging throws) and hears of every change (OnChange).
class TDBParams : public TParamLines {
public:
  // The first line whose upper-cased text holds the upper-cased `name` at
  // its start or after an 8-character "isc_dpb_" prefix; -1 when none.
  int FindParamLine(std::string_view name) const;
  // The text after the first "=" of the line for `code`; empty when the code
  // is not in the table, there is no such line, or it has no "=".
  std::string ReadParam(int code) const;
  // Replaces (or appends) the line for `code` with "<table name>=<value>";
  // an empty value deletes the line.
  void WriteParam(int code, const std::string& value);
};

// Translates `params` into a DPB, trimming each line in place. Throws
// EFIBClientError for unsupported, unknown or over-long items and
// EConvertError for a bad number.
void BuildDPB(TDBParams& params, std::string& dpb, std::int16_t& length, bool isFirebird);
std::string BuildDPB(TDBParams& params, bool isFirebird);

// An attachment's typed view of some of its parameter lines.
class TConnectParams {
public:
  explicit TConnectParams(TDBParams& params) : params_(params), IB2007(params) {}

  std::string UserName() const;
  void SetUserName(const std::string& value);
  std::string RoleName() const;
  void SetRoleName(const std::string& value);
  std::string Password() const;
  void SetPassword(const std::string& value);
  std::string CharSet() const;
  // Stored with ASCII letters upper-cased.
  void SetCharSet(const std::string& value);

  bool IsFirebird = true;

  class TIB2007Params {
  public:
    explicit TIB2007Params(TDBParams& params) : params_(params) {}
    std::string InstanceName() const;
    void SetInstanceName(const std::string& value);

  private:
    TDBParams& params_;
  };

private:
  TDBParams& params_;

public:
  TIB2007Params IB2007;
};

// Creates the DPB lookup list (part of the access layer's start-up).
void InitDPBLookupList();

} // namespace nimbus
