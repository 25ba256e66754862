#pragma once

#include <ctime>
#include <string>

namespace nimbus {

class IMainWindow;
struct TRunState;

// "Log" + ddmmyy-hhmmss + ".txt" in `folder`, for the local time `moment`.
std::string LogFileNameFor(const std::string& folder, std::time_t moment);
// The local time of `moment` as "hh:mm:ss", the prefix of most log lines.
std::string TimePrefix(std::time_t moment);

// The run log: each line goes to the log file (unless silent) and, when
// shown, to the main window's log view. File errors never reach the run: a
// line that cannot be written is lost from the file only.
class TRunLog {
public:
  TRunLog(TRunState& state, IMainWindow& window) : state_(state), window_(window) {}

  // Unless silent, creates the log file empty when it does not exist. When
  // the executable's folder takes no file, the log moves to the fallback
  // folder (created if needed) and the window's line says where; when that
  // fails too, the window says the log cannot be written.
  void CreateLogFile();
  // Appends `text` and CR LF to the existing log file; shows it when `show`.
  void LogLine(const std::string& text, bool show);

private:
  TRunState& state_;
  IMainWindow& window_;
};

} // namespace nimbus
