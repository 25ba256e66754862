#include "platform/console_ui.h"

#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <ctime>
#include <utility>

#include "platform/os.h"
#include "platform/text.h"
#include "platform/text_main_window.h"

namespace nimbus {

namespace {

void SleepMs(std::uint32_t ms) {
  timespec ts{static_cast<std::time_t>(ms / 1000), static_cast<long>(ms % 1000) * 1000000L};
  while (nanosleep(&ts, &ts) != 0 && errno == EINTR) {
  }
}

// Without a terminal a box does not wait: its enabled timers fire at once.
// A timer that never closes the box must not keep it forever.
constexpr int kImmediateFireLimit = 64;

} // namespace

class ConsoleUi::Window : public TextMainWindow {
public:
  explicit Window(ConsoleUi& ui) : TextMainWindow(ui), ui_(ui) {}
  void AddMemoLine(const std::string& line) override {
    TextMainWindow::AddMemoLine(line);
    ui_.Print(DisplayText(line));
  }

private:
  ConsoleUi& ui_;
};

// A repeating timer; interval 0 never fires.
class ConsoleUi::Timer : public ITimer {
public:
  explicit Timer(ConsoleUi& ui) : ui_(ui) { ui_.timers_.push_back(this); }
  ~Timer() override { std::erase(ui_.timers_, this); }
  void SetInterval(std::uint32_t ms) override {
    interval_ = ms;
    start_ = ui_.clock_.Now();
  }
  std::uint32_t Interval() const override { return interval_; }
  void SetEnabled(bool enabled) override {
    if (enabled && !enabled_)
      start_ = ui_.clock_.Now();
    enabled_ = enabled;
  }
  bool Enabled() const override { return enabled_; }

  bool Armed() const { return enabled_ && interval_ > 0; }
  std::uint32_t Remaining(std::uint32_t now) const {
    const std::uint32_t elapsed = now - start_;
    return elapsed >= interval_ ? 0 : interval_ - elapsed;
  }
  void Fire() {
    start_ = ui_.clock_.Now();
    ui_.guard_.Call(OnTimer);
  }

private:
  ConsoleUi& ui_;
  std::uint32_t interval_ = 1000;
  std::uint32_t start_ = 0;
  bool enabled_ = false;
};

// Prints "[caption] text" when the shown dialog's caption or text changes.
// On a terminal the position also shows, as "  position/max" on a line
// rewritten in place; elsewhere positions are left out to keep the output
// readable.
class ConsoleUi::Progress : public IProgressDialog {
public:
  explicit Progress(ConsoleUi& ui) : ui_(ui) {}
  void SetCaption(const std::string& caption) override {
    caption_ = caption;
    Changed();
  }
  void SetText(const std::string& text) override {
    text_ = text;
    Changed();
  }
  void SetPosition(int position) override {
    position_ = position;
    Moved();
  }
  void SetMax(int max) override {
    max_ = max;
    Moved();
  }
  void Show() override {
    visible_ = true;
    Changed();
    Moved();
  }
  void Hide() override {
    if (!visible_)
      return;
    visible_ = false;
    ui_.SetProgressLine(nullptr);
    ui_.SetLiveLine({}, false);
    ui_.ProcessMessages();
  }
  bool Visible() const override { return visible_; }

private:
  void Changed() {
    if (!visible_)
      return;
    // Appended piece by piece: GCC 12 at -O3 reports a false -Wrestrict on
    // "literal" + temporary string.
    std::string line = "[";
    line += DisplayText(caption_);
    line += "] ";
    line += DisplayText(text_);
    ui_.SetProgressLine(&line);
  }
  void Moved() {
    if (!visible_)
      return;
    if (max_ <= 0 || position_ <= 0) {
      ui_.SetLiveLine({}, false);
      return;
    }
    ui_.SetLiveLine("  " + std::to_string(position_) + "/" + std::to_string(max_),
                    position_ >= max_);
  }

  ConsoleUi& ui_;
  std::string caption_, text_;
  int position_ = 0, max_ = 100;
  bool visible_ = false;
};

class ConsoleUi::Dialog : public IMessageDialog {
public:
  Dialog(ConsoleUi& ui, const std::string& text, TMsgDlgType type, TMsgDlgButtons buttons)
      : ui_(ui), text_(text), buttons_(buttons), title_(StandardDialogTitle(type)) {
    for (int kind = 0; kind < kButtonKindCount; ++kind)
      if (buttons & ButtonBit(static_cast<TMsgDlgBtn>(kind)))
        labels_.push_back({kind, ButtonKindInfo(static_cast<TMsgDlgBtn>(kind)).Label});
  }
  std::string Title() const override { return title_; }
  void SetTitle(const std::string& title) override { title_ = title; }
  bool SetButtonLabel(const std::string& kindName, const std::string& label) override {
    for (auto& button : labels_)
      if (kindName == ButtonKindInfo(static_cast<TMsgDlgBtn>(button.Kind)).Name) {
        button.Label = label;
        return true;
      }
    return false;
  }
  void SetStayOnTop(bool) override {}
  int ShowModal() override {
    const bool terminal = ui_.StdinIsTerminal();
    ui_.FlushProgressLine();
    Print(terminal);
    showing_ = true;
    result_ = mrNone;
    int fired = 0;
    while (showing_) {
      Timer* timer = ui_.EarliestTimer();
      if (!ui_.StdinIsTerminal()) {
        if (!timer || ++fired > kImmediateFireLimit)
          End(DefaultResult());
        else
          timer->Fire();
        continue;
      }
      const std::uint32_t wait = timer ? timer->Remaining(ui_.clock_.Now()) : 0;
      if (timer && wait == 0) {
        timer->Fire();
        continue;
      }
      const auto line =
          ui_.ReadLine(timer ? static_cast<int>(std::min<std::uint32_t>(wait, 0x7FFFFFFF)) : -1);
      if (line)
        Answer(*line);
    }
    return result_;
  }
  void Close(int modalResult) override {
    if (showing_)
      End(modalResult);
  }

private:
  struct Button {
    int Kind;
    std::string Label;
  };

  void Print(bool terminal) {
    ui_.Print(DisplayText(title_.empty() ? text_ : "[" + title_ + "] " + text_));
    const int defaultKind = DefaultButtonKind(buttons_);
    std::string row;
    for (const auto& button : labels_) {
      row += "  [" + StripMnemonic(button.Label) + "]";
      if (terminal && button.Kind == defaultKind)
        row += " (Entr\xE9"
               "e)";
    }
    if (!row.empty())
      ui_.Print(DisplayText(row));
  }
  int DefaultResult() const {
    const int kind = DefaultButtonKind(buttons_);
    return kind < 0 ? mrCancel : ButtonKindInfo(static_cast<TMsgDlgBtn>(kind)).ModalResult;
  }
  // Enter alone presses the default button; a button's letter or label
  // presses that button. Anything else is asked again.
  void Answer(const std::string& utf8) {
    std::string typed = Utf8ToCp1252(utf8);
    std::erase_if(typed, [](char c) { return c == ' ' || c == '\t' || c == '\r'; });
    if (typed.empty()) {
      End(DefaultResult());
      return;
    }
    typed = AnsiLowerCase(typed);
    for (const auto& button : labels_) {
      const int result = ButtonKindInfo(static_cast<TMsgDlgBtn>(button.Kind)).ModalResult;
      const std::string letter(1, MnemonicLetter(button.Label));
      std::string plain = StripMnemonic(button.Label);
      std::erase(plain, ' ');
      if (result != mrNone && (typed == AnsiLowerCase(letter) || typed == AnsiLowerCase(plain))) {
        End(result);
        return;
      }
    }
    Print(true);
  }
  void End(int result) {
    result_ = result;
    showing_ = false;
  }

  ConsoleUi& ui_;
  std::string text_;
  TMsgDlgButtons buttons_;
  std::string title_;
  std::vector<Button> labels_;
  bool showing_ = false;
  int result_ = mrNone;
};

class ConsoleUi::Splash : public ISplash {
public:
  Splash(ConsoleUi& ui, const std::string& text) : ui_(ui) { SetText(text); }
  void SetText(const std::string& text) override {
    if (text != text_)
      ui_.Print(DisplayText(text));
    text_ = text;
  }

private:
  ConsoleUi& ui_;
  std::string text_;
};

ConsoleUi::ConsoleUi() : ConsoleUi(Clock{os::TickCount, SleepMs}) {}

ConsoleUi::ConsoleUi(Clock clock)
    : clock_(std::move(clock)), window_(std::make_unique<Window>(*this)),
      stdoutTerminal_(isatty(1) == 1), guard_([this] { PostQuit(1); }) {}

ConsoleUi::~ConsoleUi() = default;

IMainWindow& ConsoleUi::MainWindow() {
  return *window_;
}

std::unique_ptr<IProgressDialog> ConsoleUi::CreateProgressDialog() {
  return std::make_unique<Progress>(*this);
}

std::unique_ptr<IMessageDialog>
ConsoleUi::CreateMessageDialog(const std::string& text, TMsgDlgType type, TMsgDlgButtons buttons) {
  return std::make_unique<Dialog>(*this, text, type, buttons);
}

std::unique_ptr<ISplash> ConsoleUi::ShowSplash(const std::string& text, bool, bool) {
  return std::make_unique<Splash>(*this, text);
}

std::unique_ptr<ITimer> ConsoleUi::CreateTimer() {
  return std::make_unique<Timer>(*this);
}

void ConsoleUi::Print(const std::string& utf8) {
  if (liveShown_) {
    std::fputs("\r\x1B[K", stdout);
    liveShown_ = false;
    liveDue_ = !liveLine_.empty();
  }
  std::fwrite(utf8.data(), 1, utf8.size(), stdout);
  std::fputc('\n', stdout);
  std::fflush(stdout);
}

void ConsoleUi::SetProgressLine(const std::string* line) {
  progressDue_ = line != nullptr;
  if (line)
    progressLine_ = *line;
}

void ConsoleUi::FlushProgressLine() {
  if (progressDue_) {
    progressDue_ = false;
    if (progressLine_ != lastProgressLine_) {
      lastProgressLine_ = progressLine_;
      Print(progressLine_);
    }
  }
  FlushLiveLine();
}

void ConsoleUi::SetLiveLine(std::string line, bool final) {
  if (!stdoutTerminal_)
    return;
  if (line.empty() && liveShown_) {
    std::fputs("\r\x1B[K", stdout);
    std::fflush(stdout);
    liveShown_ = false;
  }
  liveDue_ = !line.empty() && line != liveLine_;
  liveFinal_ = final;
  liveLine_ = std::move(line);
}

void ConsoleUi::FlushLiveLine() {
  // A statement can take a millisecond: rewriting the line for each would
  // cost more than the statements.
  constexpr std::uint32_t kLiveIntervalMs = 100;
  if (!liveDue_ || (liveShown_ && !liveFinal_ && clock_.Now() - liveAt_ < kLiveIntervalMs))
    return;
  liveDue_ = false;
  liveAt_ = clock_.Now();
  std::fputs(("\r" + liveLine_ + "\x1B[K").c_str(), stdout);
  std::fflush(stdout);
  liveShown_ = true;
}

ConsoleUi::Timer* ConsoleUi::EarliestTimer() {
  const std::uint32_t now = clock_.Now();
  Timer* best = nullptr;
  for (Timer* timer : timers_)
    if (timer->Armed() && (!best || timer->Remaining(now) < best->Remaining(now)))
      best = timer;
  return best;
}

bool ConsoleUi::FireDueTimers() {
  // A callback may create or destroy timers: look again after every firing.
  std::vector<Timer*> fired;
  for (;;) {
    if (quit_.Pending())
      return false;
    const std::uint32_t now = clock_.Now();
    auto due = std::find_if(timers_.begin(), timers_.end(), [&](Timer* timer) {
      return timer->Armed() && timer->Remaining(now) == 0 &&
             std::find(fired.begin(), fired.end(), timer) == fired.end();
    });
    if (due == timers_.end())
      return true;
    fired.push_back(*due);
    (*due)->Fire();
  }
}

bool ConsoleUi::PumpMessages(std::uint32_t maxWaitMs, int& exitCode) {
  if (quit_.Take(exitCode))
    return false;
  if (maxWaitMs == 0)
    return true;
  FlushProgressLine();
  const std::uint32_t start = clock_.Now();
  for (;;) {
    if (!FireDueTimers())
      return !quit_.Take(exitCode);
    const std::uint32_t elapsed = clock_.Now() - start;
    if (elapsed >= maxWaitMs)
      return true;
    std::uint32_t wait = maxWaitMs - elapsed;
    if (Timer* timer = EarliestTimer())
      wait = std::min(wait, timer->Remaining(clock_.Now()));
    if (wait > 0)
      clock_.Sleep(wait);
  }
}

void ConsoleUi::ProcessMessages() {
  FlushProgressLine();
  FireDueTimers();
}

void ConsoleUi::PostQuit(int exitCode) {
  quit_.Post(exitCode);
}

int ConsoleUi::Run() {
  int exitCode = -1;
  while (!quit_.Pending() && !guard_.Failed()) {
    if (!FireDueTimers())
      break;
    Timer* timer = EarliestTimer();
    if (!timer)
      break; // nothing left that could ever end the loop
    if (const std::uint32_t wait = timer->Remaining(clock_.Now()))
      clock_.Sleep(wait);
  }
  quit_.Take(exitCode);
  guard_.RethrowIfFailed();
  return exitCode;
}

bool ConsoleUi::StdinIsTerminal() const {
  return !inputEnded_ && isatty(0) == 1;
}

std::optional<std::string> ConsoleUi::ReadLine(int timeoutMs) {
  std::fflush(stdout);
  const std::uint32_t start = clock_.Now();
  for (;;) {
    const auto end = input_.find('\n');
    if (end != std::string::npos) {
      std::string line = input_.substr(0, end);
      input_.erase(0, end + 1);
      return line;
    }
    int wait = timeoutMs;
    if (timeoutMs >= 0) {
      const std::uint32_t elapsed = clock_.Now() - start;
      if (elapsed >= static_cast<std::uint32_t>(timeoutMs))
        return std::nullopt;
      wait = timeoutMs - static_cast<int>(elapsed);
    }
    pollfd fd{0, POLLIN, 0};
    const int ready = poll(&fd, 1, wait);
    if (ready < 0 && errno == EINTR)
      continue;
    if (ready == 0)
      return std::nullopt;
    char buffer[256];
    const ssize_t got = ready > 0 ? read(0, buffer, sizeof buffer) : -1;
    if (got < 0 && errno == EINTR)
      continue;
    if (got <= 0) {
      inputEnded_ = true;
      return std::string(std::exchange(input_, {}));
    }
    input_.append(buffer, static_cast<std::size_t>(got));
  }
}

std::unique_ptr<Ui> CreateConsoleUi() {
  // A reader that goes away (a pager quit early) must not kill a run halfway
  // through a script it has already deleted; lines are in the log file anyway.
  std::signal(SIGPIPE, SIG_IGN);
  return std::make_unique<ConsoleUi>();
}

} // namespace nimbus
