#pragma once

#include <deque>
#include <map>

#include "platform/ui.h"

namespace nimbus {

// A window system for tests: records what the program shows, answers dialogs
// from a queue and runs on a virtual clock, so timers fire in order without
// real waiting. A dialog with no queued answer waits for the earliest timer
// (its close timer, for a timed box) or, with none, takes its default button.
class ScriptedUi : public Ui {
public:
  struct DialogRecord {
    std::string Text;
    TMsgDlgType Type = mtCustom;
    TMsgDlgButtons Buttons = 0;
    std::string Title;
    std::map<std::string, std::string> Labels; // kind name -> label
    bool StayOnTop = false;
    bool Shown = false;
    int Result = mrNone;
    std::uint32_t ShownAt = 0;
    std::uint32_t ClosedAt = 0;
  };

  struct ProgressRecord {
    std::vector<std::string> Captions; // every caption set, in order
    std::vector<std::string> Texts;
    std::string Caption, Text;
    int Position = 0, Max = 100;
    bool Visible = false;
    bool Discarded = false; // closed by Cancel
    int ShowCount = 0, HideCount = 0;
  };

  explicit ScriptedUi(std::uint32_t startTick = 0);
  ~ScriptedUi() override;

  IMainWindow& MainWindow() override;
  std::unique_ptr<IProgressDialog> CreateProgressDialog() override;
  std::unique_ptr<IMessageDialog> CreateMessageDialog(const std::string& text, TMsgDlgType type,
                                                      TMsgDlgButtons buttons) override;
  std::unique_ptr<ISplash> ShowSplash(const std::string& text, bool withImage,
                                      bool overMainWindow) override;
  std::unique_ptr<ITimer> CreateTimer() override;
  std::uint32_t TickCount() override { return now_; }
  bool PumpMessages(std::uint32_t maxWaitMs, int& exitCode) override;
  void ProcessMessages() override;
  void PostQuit(int exitCode) override;
  int Run() override;

  // Test controls.
  std::deque<int> Answers;           // modal results for the next dialogs
  std::function<void()> OnPump;      // runs at every message dispatch
  std::vector<DialogRecord> Dialogs; // every dialog shown, in order
  std::vector<ProgressRecord*> ProgressDialogs() { return progress_; }
  std::vector<std::string> SplashTexts;
  int PumpCount = 0;
  bool QuitPending() const { return quitPending_; }
  int QuitCode() const { return quitCode_; }
  // Presses Cancel on the progress dialog shown last.
  void PressCancel();
  // Fires the earliest enabled timer, advancing the clock; false when none.
  bool FireNextTimer();
  void Advance(std::uint32_t ms) { now_ += ms; }

  class Window;
  class Progress;
  class Dialog;
  class Timer;

private:
  friend class Timer;
  friend class Progress;
  Timer* EarliestTimer(std::uint32_t within, bool limited);

  std::uint32_t now_;
  std::unique_ptr<Window> window_;
  std::vector<Timer*> timers_;
  std::vector<ProgressRecord*> progress_;
  std::vector<std::unique_ptr<ProgressRecord>> progressRecords_;
  std::vector<Progress*> liveProgress_;
  bool quitPending_ = false;
  int quitCode_ = 0;
};

} // namespace nimbus
