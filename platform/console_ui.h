#pragma once

#include <functional>
#include <optional>
#include <vector>

#include "platform/ui.h"
#include "platform/ui_support.h"

namespace nimbus {

// The window system without a display: the log view goes to stdout as UTF-8,
// message boxes print and, on a terminal, wait for Enter (or a button's
// letter) or for a timer to close them; without a terminal they go on at
// once. Timers are a list driven by Run and the pumps, which sleep until the
// earliest one is due. All times are unsigned 32-bit differences of the tick
// counter, so its wrap cannot make a wait hang or end early.
class ConsoleUi : public Ui {
public:
  // The tick counter and how to sleep; tests put a virtual clock here.
  struct Clock {
    std::function<std::uint32_t()> Now;
    std::function<void(std::uint32_t)> Sleep;
  };

  ConsoleUi();
  explicit ConsoleUi(Clock clock);
  ~ConsoleUi() override;

  IMainWindow& MainWindow() override;
  std::unique_ptr<IProgressDialog> CreateProgressDialog() override;
  std::unique_ptr<IMessageDialog> CreateMessageDialog(const std::string& text, TMsgDlgType type,
                                                      TMsgDlgButtons buttons) override;
  std::unique_ptr<ISplash> ShowSplash(const std::string& text, bool withImage,
                                      bool overMainWindow) override;
  std::unique_ptr<ITimer> CreateTimer() override;
  std::uint32_t TickCount() override { return clock_.Now(); }
  bool PumpMessages(std::uint32_t maxWaitMs, int& exitCode) override;
  void ProcessMessages() override;
  void PostQuit(int exitCode) override;
  // Returns -1 when no timer is left that could end the loop; rethrows the
  // first exception a callback threw.
  int Run() override;

  class Window;
  class Timer;
  class Progress;
  class Dialog;
  class Splash;

private:
  friend class Window;
  friend class Timer;
  friend class Progress;
  friend class Dialog;
  friend class Splash;

  // Writes one line of UTF-8 text and flushes.
  void Print(const std::string& utf8);
  // The progress dialog's state line, printed at the next pump or box, so
  // that a caption and a text set around log lines make one line; null drops it.
  void SetProgressLine(const std::string* line);
  void FlushProgressLine();
  // On a terminal, a line rewritten in place at the pumps (at most every
  // 100 ms while shown, unless `final`) and wiped before any other output;
  // empty text wipes it at once. Nothing elsewhere.
  void SetLiveLine(std::string line, bool final);
  void FlushLiveLine();
  Timer* EarliestTimer();
  // Fires the timers that are due, each at most once; false when a quit is pending.
  bool FireDueTimers();
  bool StdinIsTerminal() const;
  // A line typed on the terminal within `timeoutMs` (-1: no limit); nothing
  // on timeout. End of input counts as an empty line and stops later waits.
  std::optional<std::string> ReadLine(int timeoutMs);

  Clock clock_;
  std::unique_ptr<Window> window_;
  std::vector<Timer*> timers_;
  std::string progressLine_, lastProgressLine_;
  bool progressDue_ = false;
  bool stdoutTerminal_ = false;
  std::string liveLine_;
  bool liveDue_ = false, liveFinal_ = false, liveShown_ = false;
  std::uint32_t liveAt_ = 0;
  std::string input_;
  bool inputEnded_ = false;
  PendingQuit quit_;
  CallbackGuard guard_;
};

} // namespace nimbus
