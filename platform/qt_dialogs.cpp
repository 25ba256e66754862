#include "platform/qt_dialogs.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDialog>
#include <QFontMetrics>
#include <QFrame>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <QVBoxLayout>

#include <algorithm>

#include "platform/qt_ui.h"
#include "platform/text.h"
#include "platform/ui_support.h"

namespace nimbus {

namespace {

// Texts come from run descriptions and scripts: never let a label guess rich text.
QLabel* PlainLabel(const QString& objectName) {
  auto* label = new QLabel;
  label->setObjectName(objectName);
  label->setTextFormat(Qt::PlainText);
  return label;
}

QLabel* IconLabel(QStyle::StandardPixmap icon) {
  auto* label = new QLabel;
  label->setObjectName(QStringLiteral("Image"));
  const int size = QApplication::style()->pixelMetric(QStyle::PM_MessageBoxIconSize);
  label->setPixmap(QApplication::style()->standardIcon(icon).pixmap(size, size));
  label->setAlignment(Qt::AlignTop);
  return label;
}

// Escape and the window's close request both mean Cancel.
class ProgressWindow : public QDialog {
public:
  using QDialog::QDialog;
  std::function<void()> onCancel;

  void reject() override {
    if (onCancel)
      onCancel();
  }

protected:
  void closeEvent(QCloseEvent* event) override {
    event->ignore();
    reject();
  }
};

class QtProgressDialog : public IProgressDialog {
public:
  explicit QtProgressDialog(QtUi& ui) : ui_(ui) {}
  ~QtProgressDialog() override { delete window_.data(); }

  void SetCaption(const std::string& caption) override {
    caption_ = caption;
    if (window_)
      window_->setWindowTitle(ToQtText(caption_));
  }
  void SetText(const std::string& text) override {
    text_ = text;
    if (window_)
      status_->setText(ToQtText(text_));
  }
  void SetPosition(int position) override {
    position_ = position;
    if (window_)
      ApplyBar();
  }
  void SetMax(int max) override {
    max_ = max;
    if (window_)
      ApplyBar();
  }
  void Show() override {
    if (!window_)
      Build();
    if (!window_->isVisible()) {
      window_->adjustSize();
      CentreWindow(window_, ui_.MainWidget());
    }
    window_->show();
    window_->raise();
  }
  void Hide() override {
    if (!Visible())
      return;
    window_->hide();
    ui_.ProcessMessages();
  }
  bool Visible() const override { return window_ && window_->isVisible(); }

private:
  void Build() {
    window_ = new ProgressWindow(ui_.MainWidget(),
                                 Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    window_->setObjectName(QStringLiteral("ProgressDialog"));
    window_->onCancel = [this] { Cancel(); };
    status_ = PlainLabel(QStringLiteral("Status"));
    bar_ = new QProgressBar;
    bar_->setObjectName(QStringLiteral("Progress"));
    bar_->setTextVisible(false);
    auto* cancel = new QPushButton(QStringLiteral("Annuler"));
    cancel->setObjectName(QStringLiteral("Cancel"));
    QObject::connect(cancel, &QPushButton::clicked, [this] { Cancel(); });
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(cancel);
    buttons->addStretch(1);
    auto* layout = new QVBoxLayout(window_);
    layout->addWidget(status_);
    layout->addWidget(bar_);
    layout->addLayout(buttons);
    window_->setMinimumWidth(360);
    window_->setWindowTitle(ToQtText(caption_));
    status_->setText(ToQtText(text_));
    ApplyBar();
  }
  // QProgressBar ignores values outside its range and animates a 0..0 range;
  // a window-system bar clamps and shows an empty bar instead.
  void ApplyBar() {
    const int max = std::max(max_, 0);
    bar_->setRange(0, max > 0 ? max : 1);
    bar_->setValue(std::clamp(position_, 0, max));
  }
  void Cancel() {
    if (!Visible())
      return;
    ui_.Invoke(OnCancel);
    if (!window_)
      return;
    window_->hide();
    // Cancel runs inside the window's own event: let Qt delete it afterwards.
    window_->deleteLater();
    window_ = nullptr;
  }

  QtUi& ui_;
  QPointer<ProgressWindow> window_;
  QLabel* status_ = nullptr;
  QProgressBar* bar_ = nullptr;
  std::string caption_, text_;
  int position_ = 0, max_ = 100;
};

// Escape presses the escape button (nothing without one); closing the frame
// gives Cancel's result.
class MessageWindow : public QDialog {
public:
  using QDialog::QDialog;
  QPushButton* escape = nullptr;

  void reject() override { done(mrCancel); }

protected:
  void keyPressEvent(QKeyEvent* event) override {
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
      if (escape)
        escape->click();
      return;
    }
    QDialog::keyPressEvent(event);
  }
};

QStyle::StandardPixmap DialogIcon(TMsgDlgType type) {
  switch (type) {
  case mtWarning:
    return QStyle::SP_MessageBoxWarning;
  case mtError:
    return QStyle::SP_MessageBoxCritical;
  case mtInformation:
    return QStyle::SP_MessageBoxInformation;
  default:
    return QStyle::SP_MessageBoxQuestion;
  }
}

class QtMessageDialog : public IMessageDialog {
public:
  QtMessageDialog(QtUi& ui, const std::string& text, TMsgDlgType type, TMsgDlgButtons buttons)
      : window_(new MessageWindow(ui.MainWidget(), Qt::Dialog)), title_(StandardDialogTitle(type)) {
    window_->setObjectName(QStringLiteral("MessageDialog"));
    window_->setWindowTitle(ToQtText(title_));
    auto* message = PlainLabel(QStringLiteral("Message"));
    message->setText(ToQtText(text));
    message->setTextInteractionFlags(Qt::TextSelectableByMouse);
    constexpr int kWidestText = 520;
    if (QFontMetrics(message->font()).boundingRect(message->text()).width() > kWidestText) {
      message->setWordWrap(true);
      message->setFixedWidth(kWidestText);
    }
    auto* body = new QHBoxLayout;
    if (type >= mtWarning && type < mtCustom)
      body->addWidget(IconLabel(DialogIcon(type)));
    body->addWidget(message, 1);

    auto* row = new QHBoxLayout;
    row->addStretch(1);
    const int defaultKind = DefaultButtonKind(buttons);
    const int escapeKind = EscapeButtonKind(buttons);
    QPushButton* defaultButton = nullptr;
    for (int kind = 0; kind < kButtonKindCount; ++kind) {
      if (!(buttons & ButtonBit(static_cast<TMsgDlgBtn>(kind))))
        continue;
      const TButtonKindInfo& info = ButtonKindInfo(static_cast<TMsgDlgBtn>(kind));
      auto* button = new QPushButton(ToQtText(info.Label));
      button->setObjectName(QString::fromLatin1(info.Name));
      const int result = info.ModalResult;
      // A button without a modal result (Help) does not end the dialog.
      if (result != mrNone)
        QObject::connect(button, &QPushButton::clicked, window_,
                         [w = window_.data(), result] { w->done(result); });
      if (kind == defaultKind)
        defaultButton = button;
      if (kind == escapeKind)
        window_->escape = button;
      row->addWidget(button);
    }
    row->addStretch(1);
    auto* layout = new QVBoxLayout(window_);
    layout->addLayout(body);
    layout->addLayout(row);
    // Once in the dialog: a button finds its dialog through its parents.
    if (defaultButton) {
      defaultButton->setDefault(true);
      defaultButton->setFocus();
    }
  }
  ~QtMessageDialog() override { delete window_.data(); }

  std::string Title() const override { return title_; }
  void SetTitle(const std::string& title) override {
    title_ = title;
    if (window_)
      window_->setWindowTitle(ToQtText(title_));
  }
  bool SetButtonLabel(const std::string& kindName, const std::string& label) override {
    auto* button =
        window_ ? window_->findChild<QPushButton*>(QString::fromStdString(kindName)) : nullptr;
    if (!button)
      return false;
    button->setText(ToQtText(label));
    return true;
  }
  void SetStayOnTop(bool on) override {
    if (window_)
      window_->setWindowFlag(Qt::WindowStaysOnTopHint, on);
  }
  int ShowModal() override {
    if (!window_)
      return mrCancel;
    window_->adjustSize();
    CentreWindow(window_, nullptr);
    showing_ = true;
    const int result = window_->exec();
    showing_ = false;
    return result;
  }
  void Close(int modalResult) override {
    if (showing_ && window_)
      window_->done(modalResult);
  }

private:
  QPointer<MessageWindow> window_;
  std::string title_;
  bool showing_ = false;
};

class QtSplash : public ISplash {
public:
  QtSplash(QtUi& ui, const std::string& text, bool withImage, bool overMainWindow)
      : window_(new QFrame(ui.MainWidget(), Qt::SplashScreen | Qt::FramelessWindowHint)),
        over_(overMainWindow ? ui.MainWidget() : nullptr) {
    window_->setObjectName(QStringLiteral("Splash"));
    window_->setFrameShape(QFrame::Box);
    auto* layout = new QHBoxLayout(window_);
    layout->setContentsMargins(16, 16, 16, 16);
    layout->setSpacing(12);
    if (withImage)
      layout->addWidget(IconLabel(QStyle::SP_MessageBoxInformation));
    label_ = PlainLabel(QStringLiteral("Text"));
    label_->setWordWrap(true);
    label_->setAlignment(Qt::AlignCenter);
    label_->setMinimumWidth(240);
    label_->setMaximumWidth(480);
    label_->setText(ToQtText(text));
    layout->addWidget(label_, 1);
    window_->adjustSize();
    CentreWindow(window_, over_);
    window_->show();
    window_->repaint();
  }
  ~QtSplash() override { delete window_.data(); }

  void SetText(const std::string& text) override {
    if (!window_)
      return;
    label_->setText(ToQtText(text));
    const QSize before = window_->size();
    window_->adjustSize();
    window_->resize(window_->size().expandedTo(before));
    CentreWindow(window_, over_);
    window_->repaint();
  }

private:
  QPointer<QFrame> window_;
  QPointer<QWidget> over_;
  QLabel* label_ = nullptr;
};

} // namespace

QString ToQtText(const std::string& text) {
  return QString::fromStdString(DisplayText(text));
}

std::string FromQtText(const QString& text) {
  return Utf8ToCp1252(text.toStdString());
}

void CentreWindow(QWidget* window, const QWidget* over) {
  QRect area;
  if (over && over->isVisible()) {
    area = over->frameGeometry();
  } else if (const QScreen* screen = QGuiApplication::primaryScreen()) {
    area = screen->availableGeometry();
  } else {
    return;
  }
  window->move(area.center() - QPoint(window->width() / 2, window->height() / 2));
}

std::unique_ptr<IProgressDialog> MakeQtProgressDialog(QtUi& ui) {
  return std::make_unique<QtProgressDialog>(ui);
}

std::unique_ptr<IMessageDialog> MakeQtMessageDialog(QtUi& ui, const std::string& text,
                                                    TMsgDlgType type, TMsgDlgButtons buttons) {
  return std::make_unique<QtMessageDialog>(ui, text, type, buttons);
}

std::unique_ptr<ISplash> MakeQtSplash(QtUi& ui, const std::string& text, bool withImage,
                                      bool overMainWindow) {
  return std::make_unique<QtSplash>(ui, text, withImage, overMainWindow);
}

} // namespace nimbus
