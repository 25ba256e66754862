#include "fib/xsqlda.h"

#include <algorithm>
#include <climits>
#include <cstring>

#include "fib/errors.h"
#include "fib/query.h"

namespace nimbus {

namespace {

// Aliases fill a 32-byte field with its terminating NUL.
constexpr size_t kMaxNameLength = 31;

std::string UpperAscii(std::string_view text) {
  std::string result(text);
  for (char& c : result)
    if (c >= 'a' && c <= 'z')
      c = static_cast<char>(c - 'a' + 'A');
  return result;
}

} // namespace

TFIBXSQLDA::TFIBXSQLDA(bool isParamList, TFIBQuery* statement)
    : statement_(statement), is_param_list_(isParamList) {}

TFIBXSQLDA::~TFIBXSQLDA() = default;

void TFIBXSQLDA::SetCount(int n) {
  names_.clear();
  shared_names_.clear();
  lookup_cache_.clear();
  // sqln and sqld are 16-bit.
  if (n < 0 || n > SHRT_MAX)
    RaiseClientError(23);
  count_ = n;
  if (n > capacity_) {
    const size_t bytes = XSQLDA_LENGTH(n);
    area_.resize((bytes + sizeof(uint64_t) - 1) / sizeof(uint64_t));
    capacity_ = n;
    XSQLDA* area = Area();
    area->version = SQLDA_VERSION1;
    vars_.reserve(n);
    for (int i = static_cast<int>(vars_.size()); i < n; ++i)
      vars_.push_back(std::make_unique<TFIBXSQLVAR>(*this, i));
    // The area moved: every entry follows its record.
    for (int i = 0; i < n; ++i)
      vars_[i]->Bind(&area->sqlvar[i]);
  }
  if (XSQLDA* area = Area())
    area->sqln = area->sqld = static_cast<ISC_SHORT>(n);
}

TFIBXSQLVAR& TFIBXSQLDA::Vars(int index) {
  if (index < 0 || index >= count_)
    RaiseClientError(23);
  return *vars_[index];
}

const TFIBXSQLVAR& TFIBXSQLDA::Vars(int index) const {
  if (index < 0 || index >= count_)
    RaiseClientError(23);
  return *vars_[index];
}

void TFIBXSQLDA::AddName(std::string name, int index, bool quoted) {
  TFIBXSQLVAR& var = Vars(index);
  if (!quoted)
    name = UpperAscii(name);
  if (is_param_list_) {
    if (shared_names_.contains(name)) {
      shared_names_.emplace(name, index);
    } else if (auto earlier = names_.find(name); earlier != names_.end()) {
      shared_names_.emplace(name, earlier->second);
      shared_names_.emplace(name, index);
    }
  }
  names_.emplace(name, index);
  var.SetName(std::move(name), quoted);
}

TFIBXSQLVAR* TFIBXSQLDA::FindExact(const std::string& name) {
  const auto it = names_.find(name);
  return it != names_.end() && it->second < count_ ? vars_[it->second].get() : nullptr;
}

TFIBXSQLVAR* TFIBXSQLDA::ByName(std::string_view name) {
  for (const auto& [key, var] : lookup_cache_)
    if (key == name)
      return var;
  TFIBXSQLVAR* hit = nullptr;
  if (!name.empty() && name.front() == '"') {
    hit = FindExact(std::string(name.size() >= 2 ? name.substr(1, name.size() - 2) : ""));
  } else {
    hit = FindExact(std::string(name));
    if (!hit)
      hit = FindExact(UpperAscii(name));
  }
  if (hit) {
    lookup_cache_.emplace_back(std::string(name), hit);
    return hit;
  }
  // Not cached: the described list is rebuilt at every prepare.
  if (statement_ && statement_->IsOwnParams(this))
    return statement_->DescribedParams().ByName(name);
  return nullptr;
}

std::vector<TFIBXSQLVAR*> TFIBXSQLDA::SameNamed(TFIBXSQLVAR& var) {
  std::vector<TFIBXSQLVAR*> result;
  if (is_param_list_) {
    const auto [first, last] = shared_names_.equal_range(var.Name());
    for (auto it = first; it != last; ++it)
      if (it->second < count_)
        result.push_back(vars_[it->second].get());
  }
  if (std::find(result.begin(), result.end(), &var) == result.end())
    result.push_back(&var);
  return result;
}

bool TFIBXSQLDA::AllowsNoType() const {
  return is_param_list_ && (!statement_ || statement_->IsOwnParams(this));
}

void TFIBXSQLDA::NameColumns() {
  XSQLDA* area = Area();
  const bool name_entries = names_.empty();
  int unnamed = 0;
  for (int i = 0; i < count_; ++i) {
    TFIBXSQLVAR& var = *vars_[i];
    XSQLVAR& record = area->sqlvar[i];
    var.NoteDescribed();
    if (name_entries) {
      // The length comes from the server: never read past the field.
      const size_t length =
          std::clamp<ISC_SHORT>(record.aliasname_length, 0, static_cast<ISC_SHORT>(kMaxNameLength));
      std::string name(record.aliasname, length);
      if (name.empty())
        name = "F_" + std::to_string(++unnamed);
      if (names_.contains(name)) {
        for (int counter = 1;; ++counter) {
          const std::string suffix = std::to_string(counter);
          std::string candidate = name.substr(0, kMaxNameLength - suffix.size()) + suffix;
          if (!names_.contains(candidate)) {
            name = std::move(candidate);
            break;
          }
        }
      }
      std::memset(record.aliasname, 0, sizeof(record.aliasname));
      std::memcpy(record.aliasname, name.data(), name.size());
      record.aliasname_length = static_cast<ISC_SHORT>(name.size());
      AddName(std::move(name), i, true);
    }
    var.AllocateForType(AllowsNoType());
  }
}

void TFIBXSQLDA::ClearValues() {
  for (int i = 0; i < count_; ++i) {
    TFIBXSQLVAR& var = *vars_[i];
    var.PendingWideText.clear();
    var.DropPendingStream();
    var.StoreNull(true);
  }
}

void TFIBXSQLDA::ResetModified() {
  for (int i = 0; i < count_; ++i)
    vars_[i]->modified_ = false;
}

} // namespace nimbus
