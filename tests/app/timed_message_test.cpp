#include <gtest/gtest.h>

#include "app/timed_message.h"
#include "platform/scripted_ui.h"

namespace nimbus::test {
namespace {

TEST(timed_message, title_and_labels_come_from_the_product_text_table) {
  struct Case {
    TMsgDlgType type;
    TMsgDlgButtons buttons;
    std::string title;
    std::map<std::string, std::string> labels;
  };
  const Case cases[] = {
      {mtWarning,
       ButtonBit(mbYes) | ButtonBit(mbNo),
       "Avertissement",
       {{"Yes", "&Oui"}, {"No", "&Non"}}},
      {mtInformation, ButtonBit(mbOK), "Information", {{"OK", "OK"}}},
      {mtError,
       ButtonBit(mbAbort) | ButtonBit(mbRetry) | ButtonBit(mbIgnore),
       "Erreur",
       {{"Abort", "&Annuler"}, {"Retry", "&Retenter"}, {"Ignore", "&Ignorer"}}},
      {mtConfirmation,
       ButtonBit(mbCancel) | ButtonBit(mbAll) | ButtonBit(mbNoToAll) | ButtonBit(mbYesToAll) |
           ButtonBit(mbHelp),
       "Confirmation",
       {{"Cancel", "&Annuler"},
        {"All", "&Tous"},
        {"NoToAll", "&Non pour tout"},
        {"YesToAll", "&Oui pour tout"},
        {"Help", "&Aide"}}},
      {mtCustom, ButtonBit(mbOK), "", {{"OK", "OK"}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.title);
    ScriptedUi ui;
    TimedMessageDlg(ui, "text", c.type, c.buttons, 5);
    ASSERT_EQ(ui.Dialogs.size(), 1u);
    EXPECT_EQ(ui.Dialogs[0].Title, c.title);
    EXPECT_EQ(ui.Dialogs[0].Labels, c.labels);
    EXPECT_TRUE(ui.Dialogs[0].StayOnTop);
  }
}

TEST(timed_message, closes_itself_after_its_seconds_with_result_2) {
  struct Case {
    std::int32_t seconds;
    std::uint32_t waited;
  };
  const Case cases[] = {{6, 6000}, {1, 1000}, {0, 1000}, {-5, 1000}, {5, 5000}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.seconds);
    ScriptedUi ui(0xFFFFF000u); // the tick counter wraps during the wait
    const int result =
        TimedMessageDlg(ui, "q", mtWarning, ButtonBit(mbYes) | ButtonBit(mbNo), c.seconds);
    EXPECT_EQ(result, mrCancel) << "unanswered: neither Yes nor No";
    EXPECT_EQ(ui.Dialogs[0].ClosedAt - ui.Dialogs[0].ShownAt, c.waited);
  }
}

TEST(timed_message, a_pressed_button_gives_its_result_and_stops_the_timer) {
  ScriptedUi ui;
  ui.Answers = {mrNo};
  EXPECT_EQ(TimedMessageDlg(ui, "q", mtWarning, ButtonBit(mbYes) | ButtonBit(mbNo), 5), mrNo);
  EXPECT_FALSE(ui.FireNextTimer()) << "no timer left behind";
}

TEST(wait_pumping, zero_dispatches_nothing) {
  ScriptedUi ui;
  WaitPumping(ui, 0);
  EXPECT_EQ(ui.PumpCount, 0);
}

TEST(wait_pumping, waits_its_time_across_a_tick_wrap) {
  ScriptedUi ui(0xFFFFFFF0u);
  auto timer = ui.CreateTimer();
  int ticks = 0;
  timer->SetInterval(10);
  timer->OnTimer = [&] { ++ticks; };
  timer->SetEnabled(true);
  WaitPumping(ui, 50);
  EXPECT_EQ(ticks, 5) << "messages are dispatched until the deadline";
  EXPECT_EQ(ui.TickCount(), 0x22u);
}

TEST(wait_pumping, a_quit_ends_the_wait_and_is_posted_again) {
  ScriptedUi ui;
  auto timer = ui.CreateTimer();
  timer->SetInterval(10);
  timer->OnTimer = [&] { ui.PostQuit(3); };
  timer->SetEnabled(true);
  WaitPumping(ui, 5000);
  EXPECT_LT(ui.TickCount(), 5000u);
  EXPECT_TRUE(ui.QuitPending());
  EXPECT_EQ(ui.QuitCode(), 3);
  timer->SetEnabled(false);
  EXPECT_EQ(ui.Run(), 3) << "the message loop still ends";
}

} // namespace
} // namespace nimbus::test
