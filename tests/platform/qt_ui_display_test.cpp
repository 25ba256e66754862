#include "platform/qt_ui.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>

#include <stdexcept>

#include "platform/os.h"

namespace nimbus {
namespace {

int argc = 1;
char arg0[] = "qt_ui_display_test";
char* argv[] = {arg0, nullptr};

QString Utf8(const char* text) {
  return QString::fromUtf8(text);
}

// The top-level window with that object name, if one exists.
QWidget* TopLevel(const char* name) {
  for (QWidget* widget : QApplication::topLevelWidgets())
    if (widget->objectName() == QLatin1String(name))
      return widget;
  return nullptr;
}

class QtUiTest : public ::testing::Test {
protected:
  // Runs `inspect` on the dialog once its modal loop runs, then returns its
  // result; a dialog still open after 3 s is closed with -2.
  int ShowModalThen(IMessageDialog& dialog, std::function<void(QWidget*)> inspect) {
    QTimer::singleShot(0, [&] { inspect(QApplication::activeModalWidget()); });
    QTimer::singleShot(3000, [&] { dialog.Close(-2); });
    return dialog.ShowModal();
  }

  QtUi ui{argc, argv};
};

TEST_F(QtUiTest, main_window_has_its_parts) {
  ui.MainWindow().Show();
  QWidget* window = ui.MainWidget();
  EXPECT_EQ(window->windowTitle(), "Execution de scripts Nimbus");
  EXPECT_EQ(ui.MainWindow().Caption(), "Execution de scripts Nimbus");
  EXPECT_EQ(window->size(), QSize(540, 226));

  auto* label = window->findChild<QLabel*>("Label1");
  auto* edit = window->findChild<QLineEdit*>("Edit1");
  auto* memo = window->findChild<QPlainTextEdit*>("Memo1");
  auto* exec = window->findChild<QPushButton*>("bExec");
  auto* quit = window->findChild<QPushButton*>("bQuit");
  ASSERT_TRUE(label && edit && memo && exec && quit);
  EXPECT_EQ(label->text(), "Script :");
  EXPECT_LT(label->y(), edit->y());
  EXPECT_EQ(edit->text(), "Initialisation");
  EXPECT_EQ(ui.MainWindow().EditText(), "Initialisation");
  EXPECT_TRUE(memo->isReadOnly());
  EXPECT_EQ(memo->lineWrapMode(), QPlainTextEdit::NoWrap);
  EXPECT_EQ(memo->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
  EXPECT_EQ(memo->font().family(), "Lucida Console");
  EXPECT_EQ(memo->font().pixelSize(), 12);
  EXPECT_EQ(memo->font().styleHint(), QFont::Monospace);
  EXPECT_EQ(memo->palette().color(QPalette::Text), QColor(0, 0, 128));
  EXPECT_EQ(exec->text(), "Executer");
  EXPECT_FALSE(exec->isVisible());
  EXPECT_EQ(quit->text(), "Quitter");
  EXPECT_TRUE(quit->isVisible());
  EXPECT_GT(quit->geometry().left(), window->width() / 2);
  EXPECT_GT(quit->geometry().top(), memo->geometry().bottom());

  const QSize memoBefore = memo->size();
  window->resize(800, 500);
  ui.ProcessMessages();
  EXPECT_GT(memo->width(), memoBefore.width());
  EXPECT_GT(memo->height(), memoBefore.height());

  ui.MainWindow().SetQuitEnabled(false);
  EXPECT_FALSE(quit->isEnabled());
  EXPECT_FALSE(ui.MainWindow().QuitEnabled());
}

TEST_F(QtUiTest, memo_and_edit_show_8bit_text_and_give_it_back) {
  IMainWindow& window = ui.MainWindow();
  EXPECT_TRUE(window.MemoLines().empty());
  window.AddMemoLine("");
  window.AddMemoLine("10:00:00 - Chargement fichier : d\xE9mo.sql");
  window.AddMemoLine("deux\r\nlignes");
  auto* memo = ui.MainWidget()->findChild<QPlainTextEdit*>("Memo1");
  EXPECT_EQ(memo->toPlainText(),
            Utf8("\n10:00:00 - Chargement fichier : d\xC3\xA9mo.sql\ndeux\nlignes"));
  EXPECT_EQ(window.MemoLines(),
            (std::vector<std::string>{"", "10:00:00 - Chargement fichier : d\xE9mo.sql", "deux",
                                      "lignes"}));

  window.SetEditText("/opt/scripts/\xE9t\xE9.sql");
  EXPECT_EQ(ui.MainWidget()->findChild<QLineEdit*>("Edit1")->text(),
            Utf8("/opt/scripts/\xC3\xA9t\xC3\xA9.sql"));
  EXPECT_EQ(window.EditText(), "/opt/scripts/\xE9t\xE9.sql");
}

TEST_F(QtUiTest, frame_close_only_asks_and_close_ends_the_application) {
  IMainWindow& window = ui.MainWindow();
  int requests = 0, closes = 0, quits = 0;
  window.OnCloseRequest = [&] { ++requests; };
  window.OnClose = [&] { ++closes; };
  window.OnQuitClick = [&] { ++quits; };
  window.Show();

  EXPECT_FALSE(ui.MainWidget()->close());
  EXPECT_EQ(requests, 1);
  EXPECT_TRUE(ui.MainWidget()->isVisible());
  EXPECT_FALSE(window.Closed());

  ui.MainWidget()->findChild<QPushButton*>("bQuit")->click();
  EXPECT_EQ(quits, 1);

  window.Close();
  window.Close();
  EXPECT_EQ(closes, 1);
  EXPECT_TRUE(window.Closed());
  EXPECT_FALSE(ui.MainWidget()->isVisible());
  int code = -1;
  EXPECT_FALSE(ui.PumpMessages(0, code));
  EXPECT_EQ(code, 0);
}

TEST_F(QtUiTest, exception_in_a_callback_ends_run_and_is_rethrown) {
  ui.MainWindow().OnQuitClick = [] { throw std::runtime_error("bouton"); };
  ui.MainWidget()->findChild<QPushButton*>("bQuit")->click(); // must not escape here
  try {
    ui.Run();
    FAIL() << "Run returned";
  } catch (const std::runtime_error& error) {
    EXPECT_STREQ(error.what(), "bouton");
  }

  auto timer = ui.CreateTimer();
  timer->SetInterval(10);
  timer->OnTimer = [] { throw std::runtime_error("minuterie"); };
  timer->SetEnabled(true);
  try {
    ui.Run();
    FAIL() << "Run returned";
  } catch (const std::runtime_error& error) {
    EXPECT_STREQ(error.what(), "minuterie");
  }
}

TEST_F(QtUiTest, message_dialog_buttons_default_and_escape) {
  struct Case {
    TMsgDlgButtons buttons;
    std::vector<const char*> names;
    const char* defaultName;
    int enterResult;
    int escapeResult; // -1: Escape leaves the dialog open
  };
  const TMsgDlgButtons yes = ButtonBit(mbYes), no = ButtonBit(mbNo), ok = ButtonBit(mbOK),
                       cancel = ButtonBit(mbCancel);
  const Case cases[] = {
      {ok, {"OK"}, "OK", mrOk, mrOk},
      {TMsgDlgButtons(yes | no), {"Yes", "No"}, "Yes", mrYes, mrNo},
      {TMsgDlgButtons(yes | no | cancel), {"Yes", "No", "Cancel"}, "Yes", mrYes, mrCancel},
      {TMsgDlgButtons(cancel | ok), {"OK", "Cancel"}, "OK", mrOk, mrCancel},
      {TMsgDlgButtons(ButtonBit(mbAbort) | ButtonBit(mbRetry) | ButtonBit(mbIgnore)),
       {"Abort", "Retry", "Ignore"},
       "Retry",
       mrRetry,
       -1},
      {TMsgDlgButtons(ButtonBit(mbHelp) | ButtonBit(mbYesToAll) | ButtonBit(mbNoToAll) |
                      ButtonBit(mbAll) | no | yes),
       {"Yes", "No", "All", "NoToAll", "YesToAll", "Help"},
       "Yes",
       mrYes,
       mrNo},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.names.front() + std::string(" x") + std::to_string(c.names.size()));
    for (const Qt::Key key : {Qt::Key_Return, Qt::Key_Escape}) {
      auto dialog = ui.CreateMessageDialog("Question ?", mtConfirmation, c.buttons);
      const int result = ShowModalThen(*dialog, [&](QWidget* window) {
        ASSERT_NE(window, nullptr);
        const auto buttons = window->findChildren<QPushButton*>();
        ASSERT_EQ(buttons.size(), static_cast<qsizetype>(c.names.size()));
        for (qsizetype i = 0; i < buttons.size(); ++i) {
          EXPECT_EQ(buttons[i]->objectName(), c.names[i]);
          if (i > 0) {
            EXPECT_GT(buttons[i]->x(), buttons[i - 1]->x());
          }
          EXPECT_EQ(buttons[i]->isDefault(), buttons[i]->objectName() == c.defaultName);
        }
        ASSERT_NE(window->focusWidget(), nullptr);
        EXPECT_EQ(window->focusWidget()->objectName(), c.defaultName);
        QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
        QApplication::sendEvent(window, &press);
        if (key == Qt::Key_Escape && c.escapeResult < 0) {
          EXPECT_TRUE(window->isVisible());
          dialog->Close(99);
        }
      });
      const int expected = key == Qt::Key_Return ? c.enterResult
                           : c.escapeResult < 0  ? 99
                                                 : c.escapeResult;
      EXPECT_EQ(result, expected) << (key == Qt::Key_Return ? "Enter" : "Escape");
    }
  }
}

TEST_F(QtUiTest, message_dialog_shows_title_text_and_labels_as_given) {
  auto dialog = ui.CreateMessageDialog("<b>Continuer</b> ?\n\rd\xE9j\xE0 connect\xE9s", mtWarning,
                                       ButtonBit(mbYes) | ButtonBit(mbNo));
  EXPECT_EQ(dialog->Title(), "Avertissement");
  dialog->SetTitle("Attention \xE0 vous");
  EXPECT_TRUE(dialog->SetButtonLabel("Yes", "&Continuer"));
  EXPECT_TRUE(dialog->SetButtonLabel("No", "&Arr\xEAter"));
  EXPECT_FALSE(dialog->SetButtonLabel("OK", "OK"));
  dialog->SetStayOnTop(true);
  ShowModalThen(*dialog, [&](QWidget* window) {
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(window->windowTitle(), Utf8("Attention \xC3\xA0 vous"));
    EXPECT_TRUE(window->windowFlags() & Qt::WindowStaysOnTopHint);
    auto* message = window->findChild<QLabel*>("Message");
    ASSERT_NE(message, nullptr);
    EXPECT_EQ(message->textFormat(), Qt::PlainText);
    EXPECT_EQ(message->text(), Utf8("<b>Continuer</b> ?\nd\xC3\xA9j\xC3\xA0 connect\xC3\xA9s"));
    EXPECT_NE(window->findChild<QLabel*>("Image"), nullptr);
    EXPECT_EQ(window->findChild<QPushButton*>("Yes")->text(), "&Continuer");
    EXPECT_EQ(window->findChild<QPushButton*>("No")->text(), Utf8("&Arr\xC3\xAAter"));
    window->findChild<QPushButton*>("No")->click();
  });
  EXPECT_EQ(dialog->Title(), "Attention \xE0 vous");
}

TEST_F(QtUiTest, dialog_closed_by_its_timer_returns_two) {
  auto dialog =
      ui.CreateMessageDialog("Continuer ?", mtWarning, ButtonBit(mbYes) | ButtonBit(mbNo));
  auto timer = ui.CreateTimer();
  int ticks = 0;
  timer->OnTimer = [&] {
    ++ticks;
    timer->SetEnabled(false);
    dialog->Close(mrCancel);
  };
  timer->SetInterval(50);
  timer->SetEnabled(true);
  EXPECT_EQ(dialog->ShowModal(), mrCancel);
  EXPECT_EQ(ticks, 1);
  dialog->Close(mrOk); // not shown: nothing happens
}

TEST_F(QtUiTest, progress_dialog_remembers_values_and_cancel_discards_it) {
  ui.MainWindow().Show();
  auto progress = ui.CreateProgressDialog();
  int cancels = 0;
  progress->OnCancel = [&] { ++cancels; };
  progress->SetCaption("Execution du script...");
  progress->SetText("<i>Veuillez patienter...</i>");
  progress->SetMax(10);
  progress->SetPosition(3);
  EXPECT_FALSE(progress->Visible());
  EXPECT_EQ(TopLevel("ProgressDialog"), nullptr);

  progress->Show();
  QPointer<QWidget> window = TopLevel("ProgressDialog");
  ASSERT_TRUE(window);
  EXPECT_TRUE(progress->Visible());
  EXPECT_EQ(window->windowTitle(), "Execution du script...");
  EXPECT_FALSE(window->windowFlags() & Qt::WindowCloseButtonHint);
  auto* status = window->findChild<QLabel*>("Status");
  auto* bar = window->findChild<QProgressBar*>("Progress");
  EXPECT_EQ(status->text(), "<i>Veuillez patienter...</i>");
  EXPECT_EQ(status->textFormat(), Qt::PlainText);
  EXPECT_EQ(bar->minimum(), 0);
  EXPECT_EQ(bar->maximum(), 10);
  EXPECT_EQ(bar->value(), 3);

  progress->SetCaption("Execution de scripts 2/3...");
  progress->SetText("Mise \xE0 jour...");
  progress->SetPosition(25); // beyond the maximum: a full bar
  EXPECT_EQ(window->windowTitle(), "Execution de scripts 2/3...");
  EXPECT_EQ(status->text(), Utf8("Mise \xC3\xA0 jour..."));
  EXPECT_EQ(bar->value(), 10);

  window->findChild<QPushButton*>("Cancel")->click();
  EXPECT_EQ(cancels, 1);
  EXPECT_FALSE(progress->Visible());
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  EXPECT_FALSE(window);

  progress->SetCaption("Execution de scripts 3/3...");
  progress->Hide();
  EXPECT_EQ(cancels, 1);

  progress->Show();
  window = TopLevel("ProgressDialog");
  ASSERT_TRUE(window);
  EXPECT_EQ(window->windowTitle(), "Execution de scripts 3/3...");
  QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
  QApplication::sendEvent(window, &escape);
  EXPECT_EQ(cancels, 2);
  EXPECT_FALSE(progress->Visible());

  progress->Show();
  progress->Hide();
  EXPECT_FALSE(progress->Visible());
  EXPECT_EQ(cancels, 2);
}

TEST_F(QtUiTest, pump_of_zero_dispatches_nothing_and_quit_stays_pending) {
  int dispatched = 0;
  QMetaObject::invokeMethod(
      qApp, [&] { ++dispatched; }, Qt::QueuedConnection);
  int code = -1;
  EXPECT_TRUE(ui.PumpMessages(0, code));
  EXPECT_EQ(dispatched, 0);
  ui.ProcessMessages();
  EXPECT_EQ(dispatched, 1);

  ui.PostQuit(3);
  ui.PostQuit(4);
  ui.ProcessMessages();
  EXPECT_FALSE(ui.PumpMessages(0, code));
  EXPECT_EQ(code, 3);
  EXPECT_TRUE(ui.PumpMessages(0, code));
}

TEST_F(QtUiTest, pump_dispatches_until_its_deadline_or_a_quit) {
  auto timer = ui.CreateTimer();
  int ticks = 0;
  timer->OnTimer = [&] { ++ticks; };
  timer->SetInterval(10);
  timer->SetEnabled(true);
  int code = -1;
  std::uint32_t start = os::TickCount();
  EXPECT_TRUE(ui.PumpMessages(100, code));
  EXPECT_GE(os::TickCount() - start, 95u);
  EXPECT_GE(ticks, 3);

  timer->OnTimer = [&] { ui.PostQuit(7); };
  start = os::TickCount();
  EXPECT_FALSE(ui.PumpMessages(5000, code));
  EXPECT_EQ(code, 7);
  EXPECT_LT(os::TickCount() - start, 4000u);
}

TEST_F(QtUiTest, timer_may_destroy_itself_in_its_tick) {
  auto timer = ui.CreateTimer();
  int ticks = 0;
  timer->OnTimer = [&] {
    ++ticks;
    timer.reset();
  };
  timer->SetInterval(5);
  timer->SetEnabled(true);
  int code;
  EXPECT_TRUE(ui.PumpMessages(60, code));
  EXPECT_EQ(ticks, 1);
  EXPECT_EQ(timer, nullptr);
}

TEST_F(QtUiTest, quit_taken_by_a_nested_pump_and_posted_again_ends_run) {
  auto wait = ui.CreateTimer();
  auto quit = ui.CreateTimer();
  bool pumped = true;
  int pumpCode = -1;
  wait->OnTimer = [&] {
    wait->SetEnabled(false);
    pumped = ui.PumpMessages(5000, pumpCode);
    if (!pumped)
      ui.PostQuit(pumpCode);
  };
  quit->OnTimer = [&] { ui.PostQuit(5); };
  wait->SetInterval(10);
  quit->SetInterval(40);
  wait->SetEnabled(true);
  quit->SetEnabled(true);
  const std::uint32_t start = os::TickCount();
  EXPECT_EQ(ui.Run(), 5);
  EXPECT_FALSE(pumped);
  EXPECT_EQ(pumpCode, 5);
  EXPECT_LT(os::TickCount() - start, 4000u);
}

TEST_F(QtUiTest, splash_grows_with_its_text_and_goes_when_destroyed) {
  ui.MainWindow().Show();
  auto splash = ui.ShowSplash("Connexion...", true, true);
  QPointer<QWidget> window = TopLevel("Splash");
  ASSERT_TRUE(window);
  EXPECT_TRUE(window->isVisible());
  EXPECT_TRUE(window->windowFlags() & Qt::FramelessWindowHint);
  EXPECT_NE(window->findChild<QLabel*>("Image"), nullptr);
  auto* text = window->findChild<QLabel*>("Text");
  EXPECT_EQ(text->text(), "Connexion...");
  EXPECT_TRUE(text->wordWrap());
  EXPECT_NEAR(window->geometry().center().x(), ui.MainWidget()->frameGeometry().center().x(), 2);

  const QSize before = window->size();
  splash->SetText("Connexion au serveur 127.0.0.1 en cours, puis v\xE9rification des "
                  "utilisateurs d\xE9j\xE0 connect\xE9s \xE0 la base de donn\xE9"
                  "es nimbus_gestion.");
  EXPECT_GE(window->width(), before.width());
  EXPECT_GT(window->height(), before.height());
  EXPECT_GE(window->height(), window->sizeHint().height());

  splash.reset();
  EXPECT_FALSE(window);

  auto plain = ui.ShowSplash("Sans image", false, false);
  ASSERT_NE(TopLevel("Splash"), nullptr);
  EXPECT_EQ(TopLevel("Splash")->findChild<QLabel*>("Image"), nullptr);
}

} // namespace
} // namespace nimbus
