#include "fib/tpb.h"

#include <algorithm>
#include <charconv>

#include <ibase.h>

#include "fib/errors.h"
#include "fib/param_lines.h"

namespace nimbus {

const std::vector<std::string_view> TPBNameTable = {
    "consistency", "concurrency",    "shared",           "protected",
    "exclusive",   "wait",           "nowait",           "read",
    "write",       "lock_read",      "lock_write",       "verb_time",
    "commit_time", "ignore_limbo",   "read_committed",   "autocommit",
    "rec_version", "no_rec_version", "restart_requests", "no_auto_undo",
    "no_savepoint"};

namespace {

char LowerAscii(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

// -1, 0 or 1 like strcmp, ignoring ASCII letter case.
int CompareNoCase(std::string_view a, std::string_view b) {
  const size_t n = std::min(a.size(), b.size());
  for (size_t i = 0; i < n; ++i) {
    const char x = LowerAscii(a[i]), y = LowerAscii(b[i]);
    if (x != y)
      return static_cast<unsigned char>(x) < static_cast<unsigned char>(y) ? -1 : 1;
  }
  return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

// Decimal integer like the rest of the layer reads it; `fallback` for text
// that is not one.
int ReadIntOr(std::string_view text, int fallback) {
  int value = 0;
  const char* first = text.data();
  const char* last = text.data() + text.size();
  if (first != last && *first == '+')
    ++first;
  const auto [end, ec] = std::from_chars(first, last, value);
  return ec == std::errc() && end == last && first != last ? value : fallback;
}

constexpr int kLockRead = 10, kLockWrite = 11, kLockTimeout = 21;
constexpr int kDefaultLockTimeout = 10;
constexpr size_t kMaxTableName = 255;
constexpr size_t kMaxTPBLength = 32767;

} // namespace

const std::vector<TPBLookupEntry>& TPBLookupList() {
  static const std::vector<TPBLookupEntry> list = [] {
    std::vector<TPBLookupEntry> l;
    for (size_t i = 0; i < TPBNameTable.size(); ++i)
      l.push_back({TPBNameTable[i], static_cast<int>(i + 1)});
    l.push_back({"lock_timeout", kLockTimeout});
    std::sort(l.begin(), l.end(), [](const TPBLookupEntry& a, const TPBLookupEntry& b) {
      return CompareNoCase(a.Name, b.Name) < 0;
    });
    return l;
  }();
  return list;
}

int LookupTPBName(std::string_view name) {
  const auto& list = TPBLookupList();
  const auto it = std::lower_bound(
      list.begin(), list.end(), name,
      [](const TPBLookupEntry& e, std::string_view n) { return CompareNoCase(e.Name, n) < 0; });
  return it != list.end() && CompareNoCase(it->Name, name) == 0 ? it->Code : 0;
}

void BuildTPB(std::vector<std::string>& params, std::string& tpb, int16_t& length,
              bool lockTimeout) {
  std::string block;
  if (!params.empty())
    block.push_back(static_cast<char>(isc_tpb_version3));
  for (std::string& line : params) {
    line = TrimmedLine(line);
    if (line.empty())
      continue;
    const size_t eq = line.find('=');
    std::string name = line.substr(0, eq);
    const std::string value = eq == std::string::npos ? std::string() : line.substr(eq + 1);
    std::transform(name.begin(), name.end(), name.begin(), LowerAscii);
    if (name.starts_with("isc_tpb_"))
      name.erase(0, 8);
    const int code = LookupTPBName(name);
    switch (code) {
    case 0:
      RaiseClientError(11, {name});
    case 12: // verb_time
    case 13: // commit_time
    case 16: // autocommit
    case 19: // restart_requests
      RaiseClientError(10, {std::string(TPBNameTable[code - 1])});
    case kLockRead:
    case kLockWrite:
      // The length travels in one byte; a longer name would wrap it and
      // corrupt the rest of the block.
      if (value.size() > kMaxTableName)
        RaiseClientErrorMessage("TPB Constant (isc_tpb_" + name +
                                ") has a table name longer than 255 bytes.");
      block.push_back(static_cast<char>(code));
      block.push_back(static_cast<char>(value.size()));
      block += value;
      break;
    case kLockTimeout:
      block.push_back(static_cast<char>(code));
      if (lockTimeout) {
        const int timeout = ReadIntOr(value, kDefaultLockTimeout);
        block.push_back(2);
        block.push_back(static_cast<char>(timeout & 0xFF));
        block.push_back(static_cast<char>((timeout >> 8) & 0xFF));
      }
      break;
    default:
      block.push_back(static_cast<char>(code));
      break;
    }
  }
  // The length is 16 bits wide on its way to the client library.
  if (block.size() > kMaxTPBLength)
    RaiseClientErrorMessage("TPB is longer than 32767 bytes.");
  tpb = std::move(block);
  length = static_cast<int16_t>(tpb.size());
}

} // namespace nimbus
