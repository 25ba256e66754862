#pragma once

#include <ctime>

namespace nimbus {

// An encrypted script may run until 10 calendar days, local time, after its
// last modification: one modified exactly 10 days ago to the second still
// runs, one second more and it has expired.
std::time_t ScriptExpiry(std::time_t modified);
bool ScriptExpired(std::time_t modified, std::time_t now);

} // namespace nimbus
