#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include <ibase.h>

#include "fib/xsqlvar.h"

namespace nimbus {

class TFIBQuery;

// The area is sized through ibase.h's own layout: on 64-bit the header takes
// 24 bytes and an entry 160, not the 20 and 152 of 32-bit builds.
static_assert(XSQLDA_LENGTH(1) == sizeof(XSQLDA));
static_assert(alignof(XSQLDA) <= alignof(uint64_t));
static_assert(sizeof(void*) != 8 || (offsetof(XSQLDA, sqlvar) == 24 && sizeof(XSQLVAR) == 160));

// A statement's parameter or column list: one descriptor area in the client
// library's XSQLDA layout (version 1) and one TFIBXSQLVAR per entry. The
// area only grows; entries past Count keep their objects for reuse.
class TFIBXSQLDA {
public:
  explicit TFIBXSQLDA(bool isParamList, TFIBQuery* statement = nullptr);
  ~TFIBXSQLDA();
  TFIBXSQLDA(const TFIBXSQLDA&) = delete;
  TFIBXSQLDA& operator=(const TFIBXSQLDA&) = delete;

  TFIBQuery* Statement() const { return statement_; }
  bool IsParamList() const { return is_param_list_; }
  // Null until a count above 0 was set.
  XSQLDA* Area() { return capacity_ > 0 ? reinterpret_cast<XSQLDA*>(area_.data()) : nullptr; }
  // The area's size in bytes: XSQLDA_LENGTH(Capacity).
  size_t AreaSize() const { return capacity_ > 0 ? XSQLDA_LENGTH(capacity_) : 0; }
  int Count() const { return count_; }
  int Capacity() const { return capacity_; }

  // Forgets every name, then sets Count (and sqln, sqld).
  void SetCount(int n);
  // Client error 23 outside 0..Count-1.
  TFIBXSQLVAR& Vars(int index);
  const TFIBXSQLVAR& Vars(int index) const;

  void AddName(std::string name, int index, bool quoted);
  // The first entry of that name, or null. A name in double quotes matches
  // exactly; others also match upper-cased. A statement's own parameter
  // list falls back on its described parameters.
  TFIBXSQLVAR* ByName(std::string_view name);
  // After a describe: keeps the described types, names unnamed entries from
  // their aliases, and sizes every buffer for its new type.
  void NameColumns();
  void ClearValues();
  void ResetModified();

  bool HasDeferredSettings = false;

private:
  friend class TFIBXSQLVAR;
  friend class TFIBQuery;

  TFIBXSQLVAR* FindExact(const std::string& name);
  // The entries sharing `var`'s name, `var` included.
  std::vector<TFIBXSQLVAR*> SameNamed(TFIBXSQLVAR& var);
  bool AllowsNoType() const;

  TFIBQuery* statement_;
  bool is_param_list_;
  // 8-byte words keep the area aligned for its pointers. Not max_align_t:
  // its long double copies only 10 of its 16 bytes, so a grown area would
  // hold garbage between the records' fields.
  std::vector<uint64_t> area_;
  int count_ = 0;
  int capacity_ = 0;
  std::vector<std::unique_ptr<TFIBXSQLVAR>> vars_;
  std::multimap<std::string, int> names_;
  std::multimap<std::string, int> shared_names_;
  std::vector<std::pair<std::string, TFIBXSQLVAR*>> lookup_cache_;
};

} // namespace nimbus
