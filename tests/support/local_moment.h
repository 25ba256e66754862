#pragma once

#include <ctime>

namespace nimbus::test {

// The moment of a local date and time (month 1-12).
inline std::time_t LocalMoment(int year, int month, int day, int hour, int minute, int second) {
  std::tm t{};
  t.tm_year = year - 1900;
  t.tm_mon = month - 1;
  t.tm_mday = day;
  t.tm_hour = hour;
  t.tm_min = minute;
  t.tm_sec = second;
  t.tm_isdst = -1;
  return std::mktime(&t);
}

} // namespace nimbus::test
