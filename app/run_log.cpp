#include "app/run_log.h"

#include <cstdio>

#include "app/run_state.h"
#include "platform/os.h"
#include "platform/ui.h"

namespace nimbus {

std::string LogFileNameFor(const std::string& folder, std::time_t moment) {
  const std::tm t = os::LocalTime(moment);
  char stamp[32];
  std::snprintf(stamp, sizeof stamp, "%02d%02d%02d-%02d%02d%02d", t.tm_mday, t.tm_mon + 1,
                t.tm_year % 100, t.tm_hour, t.tm_min, t.tm_sec);
  return folder + os::kPathSeparator + "Log" + stamp + ".txt";
}

std::string TimePrefix(std::time_t moment) {
  const std::tm t = os::LocalTime(moment);
  char text[16];
  std::snprintf(text, sizeof text, "%02d:%02d:%02d", t.tm_hour, t.tm_min, t.tm_sec);
  return text;
}

void TRunLog::CreateLogFile() {
  if (state_.SilentMode || os::FileExists(state_.LogFileName))
    return;
  os::CreateEmptyFile(state_.LogFileName);
}

void TRunLog::LogLine(const std::string& text, bool show) {
  if (show)
    window_.AddMemoLine(text);
  if (!state_.SilentMode)
    os::AppendToExistingFile(state_.LogFileName, text + "\r\n");
}

} // namespace nimbus
