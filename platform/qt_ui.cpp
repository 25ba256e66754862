#include "platform/qt_ui.h"

#include <QApplication>
#include <QCloseEvent>
#include <QEventLoop>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>
#include <climits>

#include "platform/os.h"
#include "platform/qt_dialogs.h"

namespace nimbus {

namespace {

int TimerMs(std::uint32_t ms) {
  return static_cast<int>(std::min<std::uint32_t>(ms, INT_MAX));
}

// A frame close is only a request: the program decides whether and when the
// window goes.
class FrameWidget : public QWidget {
public:
  std::function<void()> onCloseRequest;

protected:
  void closeEvent(QCloseEvent* event) override {
    event->ignore();
    if (onCloseRequest)
      onCloseRequest();
  }
};

} // namespace

class QtUi::Window : public IMainWindow {
public:
  explicit Window(QtUi& ui) : ui_(ui) {
    widget_.setWindowTitle(QString::fromLatin1(kCaption));
    widget_.resize(540, 226);
    widget_.onCloseRequest = [this] { ui_.Invoke(OnCloseRequest); };

    auto* label = new QLabel(QStringLiteral("Script :"));
    label->setObjectName(QStringLiteral("Label1"));
    edit_ = new QLineEdit(QStringLiteral("Initialisation"));
    edit_->setObjectName(QStringLiteral("Edit1"));
    memo_ = new QPlainTextEdit;
    memo_->setObjectName(QStringLiteral("Memo1"));
    memo_->setReadOnly(true);
    memo_->setLineWrapMode(QPlainTextEdit::NoWrap);
    memo_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    QFont font(QStringLiteral("Lucida Console"));
    font.setPixelSize(12);
    font.setStyleHint(QFont::Monospace);
    font.setFixedPitch(true);
    memo_->setFont(font);
    QPalette palette = memo_->palette();
    palette.setColor(QPalette::Text, QColor(0, 0, 128));
    memo_->setPalette(palette);
    execButton_ = new QPushButton(QStringLiteral("Executer"));
    execButton_->setObjectName(QStringLiteral("bExec"));
    execButton_->setVisible(false);
    quitButton_ = new QPushButton(QStringLiteral("Quitter"));
    quitButton_->setObjectName(QStringLiteral("bQuit"));
    QObject::connect(execButton_, &QPushButton::clicked, [this] { ui_.Invoke(OnExecClick); });
    QObject::connect(quitButton_, &QPushButton::clicked, [this] { ui_.Invoke(OnQuitClick); });

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(execButton_);
    buttons->addWidget(quitButton_);
    auto* layout = new QVBoxLayout(&widget_);
    layout->addWidget(label);
    layout->addWidget(edit_);
    layout->addWidget(memo_, 1);
    layout->addLayout(buttons);
  }

  QWidget* Widget() { return &widget_; }

  void Show() override {
    if (!widget_.isVisible())
      CentreWindow(&widget_, nullptr);
    widget_.show();
  }
  std::string Caption() const override { return FromQtText(widget_.windowTitle()); }
  std::string EditText() const override { return FromQtText(edit_->text()); }
  void SetEditText(const std::string& text) override { edit_->setText(ToQtText(text)); }
  // appendPlainText would merge a first empty line into the next one.
  void AddMemoLine(const std::string& line) override {
    QScrollBar* scroll = memo_->verticalScrollBar();
    const bool atEnd = scroll->value() == scroll->maximum();
    QTextCursor cursor(memo_->document());
    cursor.movePosition(QTextCursor::End);
    if (hasLines_)
      cursor.insertBlock();
    cursor.insertText(ToQtText(line));
    hasLines_ = true;
    if (atEnd)
      scroll->setValue(scroll->maximum());
  }
  std::vector<std::string> MemoLines() const override {
    std::vector<std::string> lines;
    if (!hasLines_)
      return lines;
    for (QTextBlock block = memo_->document()->begin(); block.isValid(); block = block.next())
      lines.push_back(FromQtText(block.text()));
    return lines;
  }
  void SetExecEnabled(bool enabled) override { execButton_->setEnabled(enabled); }
  void SetQuitEnabled(bool enabled) override { quitButton_->setEnabled(enabled); }
  bool QuitEnabled() const override { return quitButton_->isEnabled(); }
  int Top() const override { return widget_.y(); }
  void SetTop(int top) override { widget_.move(widget_.x(), top); }
  void Close() override {
    if (closed_)
      return;
    closed_ = true;
    // Called from the program, not from the event loop: its errors go back to the caller.
    if (OnClose)
      OnClose();
    widget_.hide();
    ui_.PostQuit(0);
  }
  bool Closed() const override { return closed_; }

private:
  static constexpr const char* kCaption = "Execution de scripts Nimbus";

  QtUi& ui_;
  FrameWidget widget_;
  QLineEdit* edit_;
  QPlainTextEdit* memo_;
  QPushButton* execButton_;
  QPushButton* quitButton_;
  bool hasLines_ = false; // an empty document still holds one block
  bool closed_ = false;
};

namespace {

// A repeating timer; interval 0 never fires, as a window-system timer with
// no interval does not run.
class QtTimer : public ITimer {
public:
  explicit QtTimer(QtUi& ui) {
    timer_.setTimerType(Qt::PreciseTimer);
    QObject::connect(&timer_, &QTimer::timeout, [this, &ui] { ui.Invoke(OnTimer); });
  }
  void SetInterval(std::uint32_t ms) override {
    interval_ = ms;
    Apply();
  }
  std::uint32_t Interval() const override { return interval_; }
  void SetEnabled(bool enabled) override {
    if (enabled == enabled_)
      return;
    enabled_ = enabled;
    Apply();
  }
  bool Enabled() const override { return enabled_; }

private:
  void Apply() {
    if (enabled_ && interval_ > 0)
      timer_.start(TimerMs(interval_));
    else
      timer_.stop();
  }

  QTimer timer_;
  std::uint32_t interval_ = 1000;
  bool enabled_ = false;
};

} // namespace

QtUi::QtUi(int& argc, char** argv) : guard_([this] { PostQuit(1); }) {
  if (!QApplication::instance())
    app_ = std::make_unique<QApplication>(argc, argv);
  // Hiding the main window must not end the program behind its back.
  QApplication::setQuitOnLastWindowClosed(false);
  window_ = std::make_unique<Window>(*this);
}

QtUi::~QtUi() {
  window_.reset();
  app_.reset();
}

IMainWindow& QtUi::MainWindow() {
  return *window_;
}

QWidget* QtUi::MainWidget() const {
  return window_->Widget();
}

std::unique_ptr<IProgressDialog> QtUi::CreateProgressDialog() {
  return MakeQtProgressDialog(*this);
}

std::unique_ptr<IMessageDialog> QtUi::CreateMessageDialog(const std::string& text, TMsgDlgType type,
                                                          TMsgDlgButtons buttons) {
  return MakeQtMessageDialog(*this, text, type, buttons);
}

std::unique_ptr<ISplash> QtUi::ShowSplash(const std::string& text, bool withImage,
                                          bool overMainWindow) {
  return MakeQtSplash(*this, text, withImage, overMainWindow);
}

std::unique_ptr<ITimer> QtUi::CreateTimer() {
  return std::make_unique<QtTimer>(*this);
}

std::uint32_t QtUi::TickCount() {
  return os::TickCount();
}

bool QtUi::PumpMessages(std::uint32_t maxWaitMs, int& exitCode) {
  if (quit_.Take(exitCode))
    return false;
  if (maxWaitMs == 0)
    return true;
  // The loop sleeps on the event queue; the single-shot timer bounds the wait.
  QEventLoop loop;
  bool timedOut = false;
  QTimer deadline;
  deadline.setSingleShot(true);
  deadline.setTimerType(Qt::PreciseTimer);
  QObject::connect(&deadline, &QTimer::timeout, &loop, [&] {
    timedOut = true;
    loop.exit();
  });
  deadline.start(TimerMs(maxWaitMs));
  loops_.push_back(&loop);
  // A nested pump that took and did not repost a quit also ends this loop's
  // exec; keep waiting then.
  while (!timedOut && !quit_.Pending())
    loop.exec();
  std::erase(loops_, &loop);
  return !quit_.Take(exitCode);
}

void QtUi::ProcessMessages() {
  QCoreApplication::processEvents(QEventLoop::AllEvents);
}

void QtUi::PostQuit(int exitCode) {
  quit_.Post(exitCode);
  for (QEventLoop* loop : loops_)
    loop->exit();
}

int QtUi::Run() {
  QEventLoop loop;
  loops_.push_back(&loop);
  while (!quit_.Pending() && !guard_.Failed())
    loop.exec();
  std::erase(loops_, &loop);
  int exitCode = -1;
  quit_.Take(exitCode);
  guard_.RethrowIfFailed();
  return exitCode;
}

void QtUi::SetApplicationTitle(const std::string& title) {
  QCoreApplication::setApplicationName(ToQtText(title));
}

std::unique_ptr<Ui> CreateQtUi(int& argc, char** argv) {
  return std::make_unique<QtUi>(argc, argv);
}

} // namespace nimbus
