#include "platform/scripted_ui.h"

#include <algorithm>

#include "platform/text_main_window.h"

namespace nimbus {

class ScriptedUi::Window : public TextMainWindow {
public:
  using TextMainWindow::TextMainWindow;
};

class ScriptedUi::Timer : public ITimer {
public:
  explicit Timer(ScriptedUi& ui) : ui_(ui) { ui_.timers_.push_back(this); }
  ~Timer() override { std::erase(ui_.timers_, this); }
  void SetInterval(std::uint32_t ms) override {
    interval_ = ms;
    due_ = ui_.now_ + ms;
  }
  std::uint32_t Interval() const override { return interval_; }
  void SetEnabled(bool enabled) override {
    if (enabled && !enabled_)
      due_ = ui_.now_ + interval_;
    enabled_ = enabled;
  }
  bool Enabled() const override { return enabled_; }
  std::uint32_t Remaining() const { return due_ - ui_.now_; }
  void Fire() {
    ui_.now_ = due_;
    due_ += interval_ ? interval_ : 1;
    if (OnTimer)
      OnTimer();
  }

private:
  ScriptedUi& ui_;
  std::uint32_t interval_ = 1000;
  std::uint32_t due_ = 0;
  bool enabled_ = false;
};

class ScriptedUi::Progress : public IProgressDialog {
public:
  Progress(ScriptedUi& ui, ProgressRecord& record) : ui_(ui), record_(record) {
    ui_.liveProgress_.push_back(this);
  }
  ~Progress() override { std::erase(ui_.liveProgress_, this); }
  void SetCaption(const std::string& caption) override {
    record_.Caption = caption;
    record_.Captions.push_back(caption);
  }
  void SetText(const std::string& text) override {
    record_.Text = text;
    record_.Texts.push_back(text);
  }
  void SetPosition(int position) override { record_.Position = position; }
  void SetMax(int max) override { record_.Max = max; }
  void Show() override {
    ++record_.ShowCount;
    record_.Visible = true;
    record_.Discarded = false;
  }
  void Hide() override {
    ++record_.HideCount;
    if (!record_.Visible)
      return;
    record_.Visible = false;
    ui_.ProcessMessages();
  }
  bool Visible() const override { return record_.Visible; }
  void Cancel() {
    if (!record_.Visible)
      return;
    if (OnCancel)
      OnCancel();
    record_.Visible = false;
    record_.Discarded = true;
  }

private:
  ScriptedUi& ui_;
  ProgressRecord& record_;
};

class ScriptedUi::Dialog : public IMessageDialog {
public:
  Dialog(ScriptedUi& ui, const std::string& text, TMsgDlgType type, TMsgDlgButtons buttons)
      : ui_(ui) {
    record_.Text = text;
    record_.Type = type;
    record_.Buttons = buttons;
    record_.Title = StandardDialogTitle(type);
    for (int kind = 0; kind < kButtonKindCount; ++kind)
      if (buttons & ButtonBit(static_cast<TMsgDlgBtn>(kind))) {
        const auto& info = ButtonKindInfo(static_cast<TMsgDlgBtn>(kind));
        record_.Labels[info.Name] = info.Label;
      }
  }
  std::string Title() const override { return record_.Title; }
  void SetTitle(const std::string& title) override { record_.Title = title; }
  bool SetButtonLabel(const std::string& kindName, const std::string& label) override {
    auto it = record_.Labels.find(kindName);
    if (it == record_.Labels.end())
      return false;
    it->second = label;
    return true;
  }
  void SetStayOnTop(bool on) override { record_.StayOnTop = on; }
  int ShowModal() override {
    record_.Shown = true;
    record_.ShownAt = ui_.now_;
    showing_ = true;
    result_ = mrNone;
    if (!ui_.Answers.empty()) {
      result_ = ui_.Answers.front();
      ui_.Answers.pop_front();
      showing_ = false;
    }
    while (showing_) {
      if (!ui_.FireNextTimer()) {
        const int kind = DefaultButtonKind(record_.Buttons);
        result_ = kind < 0 ? mrCancel : ButtonKindInfo(static_cast<TMsgDlgBtn>(kind)).ModalResult;
        showing_ = false;
      }
    }
    record_.Result = result_;
    record_.ClosedAt = ui_.now_;
    ui_.Dialogs.push_back(record_);
    return result_;
  }
  void Close(int modalResult) override {
    if (!showing_)
      return;
    result_ = modalResult;
    showing_ = false;
  }

private:
  ScriptedUi& ui_;
  DialogRecord record_;
  bool showing_ = false;
  int result_ = mrNone;
};

namespace {

class ScriptedSplash : public ISplash {
public:
  explicit ScriptedSplash(std::vector<std::string>& texts) : texts_(texts) {}
  void SetText(const std::string& text) override { texts_.push_back(text); }

private:
  std::vector<std::string>& texts_;
};

} // namespace

ScriptedUi::ScriptedUi(std::uint32_t startTick)
    : now_(startTick), window_(std::make_unique<Window>(*this)) {}

ScriptedUi::~ScriptedUi() = default;

IMainWindow& ScriptedUi::MainWindow() {
  return *window_;
}

std::unique_ptr<IProgressDialog> ScriptedUi::CreateProgressDialog() {
  progressRecords_.push_back(std::make_unique<ProgressRecord>());
  progress_.push_back(progressRecords_.back().get());
  return std::make_unique<Progress>(*this, *progressRecords_.back());
}

std::unique_ptr<IMessageDialog>
ScriptedUi::CreateMessageDialog(const std::string& text, TMsgDlgType type, TMsgDlgButtons buttons) {
  return std::make_unique<Dialog>(*this, text, type, buttons);
}

std::unique_ptr<ISplash> ScriptedUi::ShowSplash(const std::string& text, bool, bool) {
  SplashTexts.push_back(text);
  return std::make_unique<ScriptedSplash>(SplashTexts);
}

std::unique_ptr<ITimer> ScriptedUi::CreateTimer() {
  return std::make_unique<Timer>(*this);
}

ScriptedUi::Timer* ScriptedUi::EarliestTimer(std::uint32_t within, bool limited) {
  Timer* best = nullptr;
  for (Timer* timer : timers_)
    if (timer->Enabled() && (!limited || timer->Remaining() <= within) &&
        (!best || timer->Remaining() < best->Remaining()))
      best = timer;
  return best;
}

bool ScriptedUi::FireNextTimer() {
  Timer* timer = EarliestTimer(0, false);
  if (!timer)
    return false;
  timer->Fire();
  return true;
}

bool ScriptedUi::PumpMessages(std::uint32_t maxWaitMs, int& exitCode) {
  ++PumpCount;
  if (quitPending_) {
    quitPending_ = false;
    exitCode = quitCode_;
    return false;
  }
  if (OnPump)
    OnPump();
  const std::uint32_t deadline = now_ + maxWaitMs;
  while (Timer* timer = EarliestTimer(deadline - now_, true)) {
    timer->Fire();
    if (quitPending_) {
      quitPending_ = false;
      exitCode = quitCode_;
      return false;
    }
  }
  now_ = deadline;
  return true;
}

void ScriptedUi::ProcessMessages() {
  ++PumpCount;
  if (OnPump)
    OnPump();
}

void ScriptedUi::PostQuit(int exitCode) {
  if (!quitPending_)
    quitCode_ = exitCode;
  quitPending_ = true;
}

int ScriptedUi::Run() {
  while (!quitPending_)
    if (!FireNextTimer())
      return -1; // nothing left that could ever end the loop
  quitPending_ = false;
  return quitCode_;
}

void ScriptedUi::PressCancel() {
  if (!liveProgress_.empty())
    liveProgress_.back()->Cancel();
}

} // namespace nimbus
