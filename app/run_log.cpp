#include "app/run_log.h"

#include <cstdio>

#include "app/run_state.h"
#include "app/texts.h"
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

namespace {

// The log file at `path` exists, or has just been created, and takes lines.
bool TakesLines(const std::string& path) {
  os::CreateEmptyFile(path);
  return os::AppendToExistingFile(path, "");
}

} // namespace

void TRunLog::CreateLogFile() {
  if (state_.SilentMode || TakesLines(state_.LogFileName))
    return;
  const std::string& fallback = state_.LogFallbackFileName;
  if (!fallback.empty()) {
    os::CreateFolders(fallback.substr(0, fallback.rfind(os::kPathSeparator)));
    if (TakesLines(fallback)) {
      state_.LogFileName = fallback;
      window_.AddMemoLine(texts::kLogFileIn + fallback);
      return;
    }
  }
  window_.AddMemoLine(texts::kLogNotWritten + state_.LogFileName +
                      (fallback.empty() ? "" : ", " + fallback));
}

void TRunLog::LogLine(const std::string& text, bool show) {
  if (show)
    window_.AddMemoLine(text);
  if (!state_.SilentMode)
    os::AppendToExistingFile(state_.LogFileName, text + "\r\n");
}

} // namespace nimbus
