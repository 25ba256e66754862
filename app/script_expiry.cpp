#include "app/script_expiry.h"

#include "platform/os.h"

namespace nimbus {

std::time_t ScriptExpiry(std::time_t modified) {
  // Calendar days of the local clock, as the station counts them: across a
  // change to or from summer time they are not 240 hours.
  std::tm local = os::LocalTime(modified);
  local.tm_mday += 10;
  local.tm_isdst = -1;
  return std::mktime(&local);
}

bool ScriptExpired(std::time_t modified, std::time_t now) {
  return now > ScriptExpiry(modified);
}

} // namespace nimbus
