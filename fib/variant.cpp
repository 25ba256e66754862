#include "fib/variant.h"

#include <chrono>
#include <cmath>

#include "platform/os.h"

namespace nimbus {

namespace {

constexpr int64_t kMsPerDay = 86'400'000;
// ISC_DATE day 0 (1858-11-17) lies this many days before 1899-12-30.
constexpr int32_t kIscDateOffset = 15018;
constexpr double kIscTimePerDay = 864'000'000.0;
// 1899-12-30 counted from 1970-01-01.
constexpr int64_t kEpochOffset = -25569;

// Days since 1970-01-01 of a proleptic Gregorian date.
int64_t DaysFromCivil(int64_t y, int m, int d) {
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const int64_t yoe = y - era * 400;
  const int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

void CivilFromDays(int64_t z, TDateTimeParts& parts) {
  z += 719468;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const int64_t doe = z - era * 146097;
  const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const int64_t mp = (5 * doy + 2) / 153;
  parts.Day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  parts.Month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  parts.Year = static_cast<int>(yoe + era * 400 + (parts.Month <= 2));
}

} // namespace

TDateTime EncodeDateTime(const TDateTimeParts& p) {
  const int64_t days = DaysFromCivil(p.Year, p.Month, p.Day) - kEpochOffset;
  const int64_t ms =
      ((static_cast<int64_t>(p.Hour) * 60 + p.Minute) * 60 + p.Second) * 1000 + p.Millisecond;
  return {static_cast<double>(days) + static_cast<double>(ms) / kMsPerDay};
}

TDateTimeParts DecodeDateTime(TDateTime moment) {
  const auto total = static_cast<int64_t>(std::llround(moment.Value * kMsPerDay));
  int64_t days = total / kMsPerDay;
  int64_t ms = total % kMsPerDay;
  if (ms < 0) {
    ms += kMsPerDay;
    --days;
  }
  TDateTimeParts parts;
  CivilFromDays(days + kEpochOffset, parts);
  parts.Millisecond = static_cast<int>(ms % 1000);
  parts.Second = static_cast<int>(ms / 1000 % 60);
  parts.Minute = static_cast<int>(ms / 60'000 % 60);
  parts.Hour = static_cast<int>(ms / 3'600'000);
  return parts;
}

TDateTime Now() {
  const auto now = std::chrono::system_clock::now();
  const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
  const auto ms =
      std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000;
  const std::tm local = os::LocalTime(seconds);
  return EncodeDateTime({local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour,
                         local.tm_min, local.tm_sec, static_cast<int>(ms < 0 ? ms + 1000 : ms)});
}

TDateTime FromIscDate(ISC_DATE date) {
  return {static_cast<double>(static_cast<int64_t>(date) - kIscDateOffset)};
}

TDateTime FromIscTime(ISC_TIME time) {
  return {static_cast<double>(time) / kIscTimePerDay};
}

TDateTime FromIscTimestamp(const ISC_TIMESTAMP& timestamp) {
  return {FromIscDate(timestamp.timestamp_date).Value +
          FromIscTime(timestamp.timestamp_time).Value};
}

} // namespace nimbus
