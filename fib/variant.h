#pragma once

#include <cstdint>
#include <string>
#include <type_traits>
#include <variant>

#include <ibase.h>

namespace nimbus {

// A moment as days since 1899-12-30 00:00, the fraction being the time of
// day. The scale is continuous: moments before 1899-12-30 are negative, so
// 0001-01-01 12:00 is -693593 + 0.5.
struct TDateTime {
  double Value = 0;
  friend bool operator==(TDateTime, TDateTime) = default;
};

struct TDateTimeParts {
  int Year = 1899, Month = 12, Day = 30;
  int Hour = 0, Minute = 0, Second = 0, Millisecond = 0;
  friend bool operator==(const TDateTimeParts&, const TDateTimeParts&) = default;
};

// Proleptic Gregorian calendar, no time zone: no mktime, no 2038 limit.
TDateTime EncodeDateTime(const TDateTimeParts& parts);
// Rounded to the millisecond.
TDateTimeParts DecodeDateTime(TDateTime moment);
// The local wall-clock time now.
TDateTime Now();

// ISC_DATE counts days from 1858-11-17, 15018 days before 1899-12-30;
// ISC_TIME counts ten-thousandths of a second.
TDateTime FromIscDate(ISC_DATE date);
TDateTime FromIscTime(ISC_TIME time);
TDateTime FromIscTimestamp(const ISC_TIMESTAMP& timestamp);

enum TVarType : int {
  varEmpty = 0,
  varNull,
  varBoolean,
  varInteger,
  varInt64,
  varDouble,
  varDate,
  varString
};

// The value of a parameter or column as the callers see it: unassigned,
// Null, or one typed value. Text is 8-bit Windows-1252. A plain tagged
// record rather than std::variant, whose string member GCC 12 reports as
// maybe-uninitialized in optimised and sanitized builds.
class TVariant {
public:
  TVariant() = default;
  static TVariant Null() {
    TVariant null;
    null.type_ = varNull;
    return null;
  }
  explicit TVariant(bool value) : type_(varBoolean), integer_(value ? 1 : 0) {}
  explicit TVariant(int32_t value) : type_(varInteger), integer_(value) {}
  explicit TVariant(int64_t value) : type_(varInt64), integer_(value) {}
  explicit TVariant(double value) : type_(varDouble), real_(value) {}
  explicit TVariant(TDateTime value) : type_(varDate), real_(value.Value) {}
  explicit TVariant(std::string value) : type_(varString), text_(std::move(value)) {}

  TVarType VarType() const { return type_; }
  bool IsEmpty() const { return type_ == varEmpty; }
  bool IsNull() const { return type_ == varNull; }

  // T is one of bool, int32_t, int64_t, double, TDateTime, std::string.
  template <typename T> bool Is() const { return type_ == TypeOf<T>(); }
  // Throws std::bad_variant_access when the value has another type.
  template <typename T> T Get() const {
    if (!Is<T>())
      throw std::bad_variant_access();
    if constexpr (std::is_same_v<T, bool>)
      return integer_ != 0;
    else if constexpr (std::is_integral_v<T>)
      return static_cast<T>(integer_);
    else if constexpr (std::is_same_v<T, double>)
      return real_;
    else if constexpr (std::is_same_v<T, TDateTime>)
      return TDateTime{real_};
    else
      return text_;
  }

  friend bool operator==(const TVariant&, const TVariant&) = default;

private:
  template <typename T> static constexpr TVarType TypeOf() {
    if constexpr (std::is_same_v<T, bool>)
      return varBoolean;
    else if constexpr (std::is_same_v<T, int32_t>)
      return varInteger;
    else if constexpr (std::is_same_v<T, int64_t>)
      return varInt64;
    else if constexpr (std::is_same_v<T, double>)
      return varDouble;
    else if constexpr (std::is_same_v<T, TDateTime>)
      return varDate;
    else {
      static_assert(std::is_same_v<T, std::string>);
      return varString;
    }
  }

  TVarType type_ = varEmpty;
  int64_t integer_ = 0;
  double real_ = 0;
  std::string text_;
};

} // namespace nimbus
