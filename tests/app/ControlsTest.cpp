#include <gtest/gtest.h>

#include <vector>

#include "app/Controls.h"
#include "app/Timer.h"
#include "base/Exception.h"

namespace {

TEST(CheckBoxTest, OperatorClickChecksUncheckedOrGrayedAndUnchecksChecked) {
  TCheckBox box;
  std::vector<TCheckBoxState> seen;
  box.OnClick = [&](TControl*) { seen.push_back(box.State()); };

  box.Click();
  EXPECT_TRUE(box.Checked());
  box.Click();
  EXPECT_EQ(box.State(), TCheckBoxState::cbUnchecked);
  box.SetState(TCheckBoxState::cbGrayed);
  EXPECT_FALSE(box.Checked()) << "grayed counts as not checked";
  box.Click();
  EXPECT_EQ(box.State(), TCheckBoxState::cbChecked);

  const std::vector<TCheckBoxState> expected = {TCheckBoxState::cbChecked, TCheckBoxState::cbUnchecked,
                                                TCheckBoxState::cbGrayed, TCheckBoxState::cbChecked};
  EXPECT_EQ(seen, expected) << "every change of state runs OnClick";
}

TEST(CheckBoxTest, SettingTheSameStateOrClickingADisabledBoxDoesNothing) {
  TCheckBox box;
  int clicks = 0;
  int changes = 0;
  box.OnClick = [&](TControl*) { ++clicks; };
  box.SetOnChange([&] { ++changes; });
  box.SetChecked(false);
  box.SetEnabled(false);
  EXPECT_EQ(changes, 1);
  box.Click();
  EXPECT_FALSE(box.Checked());
  EXPECT_EQ(clicks, 0);
}

TEST(ButtonTest, ClickRunsTheHandlerOnlyWhileEnabled) {
  TButton button;
  TControl* sender = nullptr;
  button.OnClick = [&](TControl* Sender) { sender = Sender; };
  button.SetEnabled(false);
  button.Click();
  EXPECT_EQ(sender, nullptr);
  button.SetEnabled(true);
  button.Click();
  EXPECT_EQ(sender, &button);
}

TEST(LabelTest, WidthFollowsTheMeasuredCaption) {
  TLabel label;
  label.SetTextMeasure([](const std::string& Text, TTextTone Tone) {
    return static_cast<int>(Text.size()) * (Tone == TTextTone::ttNormal ? 7 : 8);
  });
  label.SetCaption("abcd");
  EXPECT_EQ(label.Width(), 28);
  label.SetTone(TTextTone::ttSuccess);
  EXPECT_EQ(label.Width(), 32) << "a verdict's bold text is wider";
  label.SetTone(TTextTone::ttNormal);
  EXPECT_EQ(label.Width(), 28);
  label.SetCaption("");
  EXPECT_EQ(label.Width(), 0);
  label.SetTextMeasure([](const std::string&, TTextTone) { return 3; });
  EXPECT_EQ(label.Width(), 3) << "a new measure resizes at once";
}

TEST(MemoTest, AppendsLinesAndClears) {
  TMemo memo;
  int changes = 0;
  memo.SetOnChange([&] { ++changes; });
  memo.Append("one");
  memo.Append("");
  EXPECT_EQ(memo.Lines(), (std::vector<std::string>{"one", ""}));
  memo.Clear();
  memo.Clear();
  EXPECT_TRUE(memo.Lines().empty());
  EXPECT_EQ(changes, 3);
}

TEST(ProgressBarTest, PositionStaysWithinZeroToHundred) {
  TProgressBar bar;
  bar.SetPosition(33);
  EXPECT_EQ(bar.Position(), 33);
  bar.SetPosition(250);
  EXPECT_EQ(bar.Position(), 100);
  bar.SetPosition(-1);
  EXPECT_EQ(bar.Position(), 0);
}

TEST(StatusBarTest, SectionsChangeOnRepaintAndBadIndicesAreNamed) {
  TStatusBar status(3);
  int repaints = 0;
  status.SetOnChange([&] { ++repaints; });
  status.SetPanelText(2, "Connected");
  status.SetPanelWidth(2, 350);
  EXPECT_EQ(repaints, 0);
  status.Repaint();
  EXPECT_EQ(repaints, 1);
  EXPECT_EQ(status.Panel(2).Text, "Connected");
  EXPECT_EQ(status.Panel(2).Width, 350);
  try {
    status.SetPanelText(3, "x");
    FAIL() << "section 3 was accepted";
  } catch (const EListError& E) {
    EXPECT_STREQ(E.what(), "Status line section 3 does not exist (0..2)");
  }
  EXPECT_THROW(status.Panel(-1), EListError);
}

TEST(TimerTest, TickRunsOnTimerOnlyWhileEnabledAndChangesReachTheView) {
  TTimer timer;
  int ticks = 0;
  int changes = 0;
  timer.OnTimer = [&] { ++ticks; };
  timer.SetOnChange([&] { ++changes; });
  timer.Tick();
  timer.SetEnabled(false);
  timer.Tick();
  timer.SetInterval(10);
  timer.SetInterval(10);
  EXPECT_EQ(ticks, 1);
  EXPECT_EQ(changes, 2);
  EXPECT_EQ(timer.Interval(), 10u);
}

}  // namespace
