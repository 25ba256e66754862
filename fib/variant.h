#pragma once

#include <cstdint>
#include <string>
#include <utility>
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
// Null, or one typed value. Text is 8-bit Windows-1252.
class TVariant {
public:
  struct TNull {
    friend bool operator==(TNull, TNull) = default;
  };
  using Storage =
      std::variant<std::monostate, TNull, bool, int32_t, int64_t, double, TDateTime, std::string>;

  TVariant() = default;
  static TVariant Null() { return TVariant(std::in_place_type<TNull>); }
  explicit TVariant(bool value) : value_(value) {}
  explicit TVariant(int32_t value) : value_(value) {}
  explicit TVariant(int64_t value) : value_(value) {}
  explicit TVariant(double value) : value_(value) {}
  explicit TVariant(TDateTime value) : value_(value) {}
  explicit TVariant(std::string value) : value_(std::move(value)) {}

  TVarType VarType() const { return static_cast<TVarType>(value_.index()); }
  bool IsEmpty() const { return VarType() == varEmpty; }
  bool IsNull() const { return VarType() == varNull; }

  template <typename T> bool Is() const { return std::holds_alternative<T>(value_); }
  // Throws std::bad_variant_access when the value has another type.
  template <typename T> const T& Get() const { return std::get<T>(value_); }
  const Storage& Value() const { return value_; }

  friend bool operator==(const TVariant&, const TVariant&) = default;

private:
  explicit TVariant(std::in_place_type_t<TNull> null) : value_(null) {}
  Storage value_;
};

} // namespace nimbus
