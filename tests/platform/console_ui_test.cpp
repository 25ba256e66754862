#include "platform/console_ui.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <stdexcept>
#include <string>

namespace nimbus {
namespace {

// Puts `fd` elsewhere for the life of the object.
class Redirect {
public:
  Redirect(int fd, int to) : fd_(fd), saved_(dup(fd)) { dup2(to, fd); }
  ~Redirect() {
    dup2(saved_, fd_);
    close(saved_);
  }

private:
  int fd_, saved_;
};

// What the program writes to stdout while it lives.
class CapturedStdout {
public:
  CapturedStdout() : file_(std::tmpfile()), redirect_(1, fileno(file_)) {}
  ~CapturedStdout() { std::fclose(file_); }
  std::string Text() {
    std::fflush(stdout);
    std::string text;
    std::rewind(file_);
    for (int c; (c = std::fgetc(file_)) != EOF;)
      text += static_cast<char>(c);
    return text;
  }

private:
  FILE* file_;
  Redirect redirect_;
};

// stdin is no terminal, and the clock is virtual: sleeping moves it on.
class ConsoleUiTest : public ::testing::Test {
protected:
  explicit ConsoleUiTest(std::uint32_t start = 1000) : now(start) {}
  ~ConsoleUiTest() override { close(null_); }

  std::unique_ptr<IMessageDialog> Box(const char* text, TMsgDlgButtons buttons) {
    return ui.CreateMessageDialog(text, mtInformation, buttons);
  }

  std::uint32_t now;
  int null_ = open("/dev/null", O_RDONLY);
  Redirect stdin_{0, null_};
  CapturedStdout out;
  ConsoleUi ui{ConsoleUi::Clock{[this] { return now; }, [this](std::uint32_t ms) { now += ms; }}};
};

const TMsgDlgButtons kOk = ButtonBit(mbOK);
const TMsgDlgButtons kYesNo = ButtonBit(mbYes) | ButtonBit(mbNo);

TEST_F(ConsoleUiTest, log_lines_reach_stdout_as_utf8) {
  IMainWindow& window = ui.MainWindow();
  window.AddMemoLine("10:00:00 -Non trouv\xE9 : d\xE9mo.sql");
  window.SetEditText("/opt/x.sql");
  window.AddMemoLine("");
  window.AddMemoLine("mode DEBUG");
  EXPECT_EQ(out.Text(), "10:00:00 -Non trouv\xC3\xA9 : d\xC3\xA9mo.sql\n\nmode DEBUG\n");
  EXPECT_EQ(window.MemoLines(),
            (std::vector<std::string>{"10:00:00 -Non trouv\xE9 : d\xE9mo.sql", "", "mode DEBUG"}));
  EXPECT_EQ(window.EditText(), "/opt/x.sql");
}

TEST_F(ConsoleUiTest, box_without_terminal_goes_on_at_once) {
  struct Case {
    const char* name;
    TMsgDlgButtons buttons;
    bool closeTimer;
    int expected;
  };
  const Case cases[] = {
      {"timed OK", kOk, true, mrCancel},
      {"timed question", kYesNo, true, mrCancel},
      {"OK", kOk, false, mrOk},
      {"question", kYesNo, false, mrYes},
      {"retry", TMsgDlgButtons(ButtonBit(mbAbort) | ButtonBit(mbRetry) | ButtonBit(mbIgnore)),
       false, mrRetry},
      {"cancel only", ButtonBit(mbCancel), false, mrCancel},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    auto box = Box("Op\xE9ration termin\xE9"
                   "e.",
                   c.buttons);
    auto timer = ui.CreateTimer();
    int ticks = 0;
    timer->OnTimer = [&] {
      ++ticks;
      timer->SetEnabled(false);
      box->Close(mrCancel);
    };
    timer->SetInterval(6000);
    timer->SetEnabled(c.closeTimer);
    const std::uint32_t before = now;
    EXPECT_EQ(box->ShowModal(), c.expected);
    EXPECT_EQ(now, before);
    EXPECT_EQ(ticks, c.closeTimer ? 1 : 0);
  }
}

TEST_F(ConsoleUiTest, box_prints_title_text_and_buttons) {
  auto box = ui.CreateMessageDialog("Continuer ?\n\rd\xE9j\xE0 connect\xE9s", mtWarning, kYesNo);
  EXPECT_EQ(box->Title(), "Avertissement");
  EXPECT_TRUE(box->SetButtonLabel("No", "&Arr\xEAter"));
  EXPECT_FALSE(box->SetButtonLabel("OK", "OK"));
  box->ShowModal();
  EXPECT_EQ(out.Text(), "[Avertissement] Continuer ?\nd\xC3\xA9j\xC3\xA0 connect\xC3\xA9s\n"
                        "  [Oui]  [Arr\xC3\xAAter]\n");
}

TEST_F(ConsoleUiTest, box_with_a_timer_that_never_closes_it_still_ends) {
  auto box = Box("x", kOk);
  auto timer = ui.CreateTimer();
  int ticks = 0;
  timer->OnTimer = [&] { ++ticks; };
  timer->SetEnabled(true);
  EXPECT_EQ(box->ShowModal(), mrOk);
  EXPECT_GT(ticks, 0);
}

TEST_F(ConsoleUiTest, pump_of_zero_fires_nothing_and_quit_stays_pending) {
  auto timer = ui.CreateTimer();
  int ticks = 0;
  timer->OnTimer = [&] { ++ticks; };
  timer->SetInterval(10);
  timer->SetEnabled(true);
  now += 50;
  int code = -1;
  EXPECT_TRUE(ui.PumpMessages(0, code));
  EXPECT_EQ(ticks, 0);
  ui.ProcessMessages();
  EXPECT_EQ(ticks, 1);

  ui.PostQuit(3);
  ui.PostQuit(4);
  ui.ProcessMessages();
  EXPECT_FALSE(ui.PumpMessages(0, code));
  EXPECT_EQ(code, 3);
  EXPECT_TRUE(ui.PumpMessages(0, code));
}

TEST_F(ConsoleUiTest, timer_may_destroy_itself_or_another_in_its_tick) {
  auto first = ui.CreateTimer();
  auto second = ui.CreateTimer();
  int ticks = 0;
  first->OnTimer = [&] {
    ++ticks;
    second.reset();
    first.reset();
  };
  second->OnTimer = [&] { ++ticks; };
  first->SetEnabled(true);
  second->SetEnabled(true);
  int code;
  EXPECT_TRUE(ui.PumpMessages(5000, code));
  EXPECT_EQ(ticks, 1);
}

TEST(console_ui, output_to_a_closed_pipe_does_not_end_the_program) {
  int fds[2];
  ASSERT_EQ(pipe(fds), 0);
  close(fds[0]);
  auto ui = CreateConsoleUi();
  {
    Redirect out(1, fds[1]);
    ui->MainWindow().AddMemoLine("personne ne lit");
  }
  close(fds[1]);
  EXPECT_EQ(ui->MainWindow().MemoLines().size(), 1u);
}

TEST_F(ConsoleUiTest, run_ends_on_quit_rethrows_callback_errors_and_gives_up_without_timers) {
  auto timer = ui.CreateTimer();
  timer->SetInterval(500);
  timer->OnTimer = [&] { ui.PostQuit(9); };
  timer->SetEnabled(true);
  const std::uint32_t before = now;
  EXPECT_EQ(ui.Run(), 9);
  EXPECT_EQ(now - before, 500u);

  timer->OnTimer = [] { throw std::runtime_error("minuterie"); };
  try {
    ui.Run();
    FAIL() << "Run returned";
  } catch (const std::runtime_error& error) {
    EXPECT_STREQ(error.what(), "minuterie");
  }

  timer->SetEnabled(false);
  EXPECT_EQ(ui.Run(), -1);
}

TEST_F(ConsoleUiTest, progress_prints_one_line_per_change_and_nothing_when_hidden) {
  auto progress = ui.CreateProgressDialog();
  progress->SetCaption("wait");
  EXPECT_FALSE(progress->Visible());
  progress->SetCaption("Execution du script...");
  progress->SetText("Veuillez patienter...");
  progress->Show();
  EXPECT_TRUE(progress->Visible());
  progress->SetCaption("Execution de scripts 1/3...");
  progress->SetText("Mise \xE0 jour...");
  progress->SetPosition(4);
  ui.MainWindow().AddMemoLine("Mise \xE0 jour");
  progress->SetText("Mise \xE0 jour...");
  int code;
  ui.PumpMessages(50, code);
  progress->SetText("Mise \xE0 jour..."); // unchanged: not printed again
  ui.ProcessMessages();
  progress->SetText("Veuillez patienter...");
  progress->Hide();
  EXPECT_FALSE(progress->Visible());
  progress->SetText("Fin");
  ui.ProcessMessages();
  auto splash = ui.ShowSplash("Connexion...", true, true);
  EXPECT_EQ(out.Text(), "Mise \xC3\xA0 jour\n"
                        "[Execution de scripts 1/3...] Mise \xC3\xA0 jour...\n"
                        "Connexion...\n");
}

// Elapsed times are unsigned differences, so the counter's wrap changes nothing.
class ConsoleUiWrapTest : public ConsoleUiTest,
                          public ::testing::WithParamInterface<std::uint32_t> {
protected:
  ConsoleUiWrapTest() : ConsoleUiTest(GetParam()) {}
};

TEST_P(ConsoleUiWrapTest, pumps_wait_their_time_and_timers_fire_on_theirs) {
  int code = -1;
  std::uint32_t before = now;
  EXPECT_TRUE(ui.PumpMessages(500, code));
  EXPECT_EQ(now - before, 500u);

  auto timer = ui.CreateTimer();
  std::vector<std::uint32_t> firedAt;
  timer->OnTimer = [&] { firedAt.push_back(now - before); };
  timer->SetInterval(200);
  before = now;
  timer->SetEnabled(true);
  EXPECT_TRUE(ui.PumpMessages(500, code));
  EXPECT_EQ(firedAt, (std::vector<std::uint32_t>{200, 400}));
  EXPECT_EQ(now - before, 500u);

  timer->OnTimer = [&] { ui.PostQuit(7); };
  before = now;
  EXPECT_FALSE(ui.PumpMessages(5000, code));
  EXPECT_EQ(code, 7);
  EXPECT_EQ(now - before, 100u); // the timer was due 100 ms after the last pump
}

INSTANTIATE_TEST_SUITE_P(ticks, ConsoleUiWrapTest,
                         ::testing::Values(1000u, 0xFFFFFF00u, 0xFFFFFFFFu));

// A box on a terminal: stdin is a pseudo-terminal fed by the test.
class ConsoleUiTerminalTest : public ::testing::Test {
protected:
  void SetUp() override {
    master_ = posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_GE(master_, 0);
    ASSERT_EQ(grantpt(master_), 0);
    ASSERT_EQ(unlockpt(master_), 0);
    slave_ = open(ptsname(master_), O_RDWR | O_NOCTTY);
    ASSERT_GE(slave_, 0);
    stdin_ = std::make_unique<Redirect>(0, slave_);
  }
  void TearDown() override {
    stdin_.reset();
    close(slave_);
    close(master_);
  }
  void Type(const std::string& text) {
    ASSERT_EQ(write(master_, text.data(), text.size()), static_cast<ssize_t>(text.size()));
  }

  int master_ = -1, slave_ = -1;
  std::unique_ptr<Redirect> stdin_;
  CapturedStdout out;
  ConsoleUi ui;
};

TEST_F(ConsoleUiTerminalTest, enter_presses_the_default_and_a_letter_its_button) {
  struct Case {
    const char* typed;
    TMsgDlgButtons buttons;
    int expected;
  };
  const Case cases[] = {
      {"\n", kYesNo, mrYes},      {"n\n", kYesNo, mrNo}, {"N\n", kYesNo, mrNo},
      {"x\nnon\n", kYesNo, mrNo}, {"\n", kOk, mrOk},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.typed);
    Type(c.typed);
    auto box = ui.CreateMessageDialog("Continuer ?", mtWarning, c.buttons);
    EXPECT_EQ(box->ShowModal(), c.expected);
  }
  EXPECT_NE(out.Text().find("[Oui] (Entr\xC3\xA9"
                            "e)  [Non]"),
            std::string::npos);
}

TEST_F(ConsoleUiTerminalTest, timed_box_waits_for_its_timer) {
  auto box = ui.CreateMessageDialog("Continuer ?", mtWarning, kYesNo);
  auto timer = ui.CreateTimer();
  timer->OnTimer = [&] {
    timer->SetEnabled(false);
    box->Close(mrCancel);
  };
  timer->SetInterval(50);
  timer->SetEnabled(true);
  const std::uint32_t before = ui.TickCount();
  EXPECT_EQ(box->ShowModal(), mrCancel);
  EXPECT_GE(ui.TickCount() - before, 45u);
}

// stdout is a pseudo-terminal: what the operator's terminal would receive.
TEST(console_ui_on_a_terminal, statement_progress_is_rewritten_in_place) {
  const int master = posix_openpt(O_RDWR | O_NOCTTY);
  ASSERT_GE(master, 0);
  ASSERT_EQ(grantpt(master), 0);
  ASSERT_EQ(unlockpt(master), 0);
  const int slave = open(ptsname(master), O_RDWR | O_NOCTTY);
  ASSERT_GE(slave, 0);
  const int null = open("/dev/null", O_RDONLY);
  std::string received;
  {
    std::fflush(stdout);
    Redirect in(0, null), out(1, slave);
    std::uint32_t now = 0;
    ConsoleUi ui{ConsoleUi::Clock{[&] { return now; }, [&](std::uint32_t ms) { now += ms; }}};
    auto progress = ui.CreateProgressDialog();
    progress->SetCaption("Execution du script...");
    progress->Show();
    progress->SetMax(3);
    progress->SetPosition(1);
    ui.ProcessMessages();
    progress->SetPosition(2);
    ui.ProcessMessages(); // too soon after the last one: not rewritten
    now += 100;
    ui.ProcessMessages();
    ui.MainWindow().AddMemoLine("erreur");
    progress->SetPosition(3);
    ui.ProcessMessages(); // the last statement shows at once
    progress->Hide();
    std::fflush(stdout);
  }
  for (char buffer[256];;) {
    pollfd ready{master, POLLIN, 0};
    if (poll(&ready, 1, 50) <= 0)
      break;
    const ssize_t got = read(master, buffer, sizeof buffer);
    if (got <= 0)
      break;
    received.append(buffer, static_cast<std::size_t>(got));
  }
  close(null);
  close(slave);
  close(master);
  EXPECT_EQ(received, "[Execution du script...] \r\n"
                      "\r  1/3\x1B[K"
                      "\r  2/3\x1B[K"
                      "\r\x1B[Kerreur\r\n"
                      "\r  3/3\x1B[K"
                      "\r\x1B[K");
}

} // namespace
} // namespace nimbus
