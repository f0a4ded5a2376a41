#include <gtest/gtest.h>

#include "tools/sim/ReplySchedule.h"

namespace {
using std::chrono::milliseconds;
const TReplySchedule::TTime Start{};

TEST(ReplyScheduleTest, RepliesGoOutAtOnceInOrderAndTheCloseAfterThem) {
  TReplySchedule schedule(milliseconds(0), milliseconds(0));
  EXPECT_FALSE(schedule.NextDue());
  schedule.AddReply("A\r", Start);
  schedule.AddReply("B\r", Start);
  schedule.AddClose(Start);
  EXPECT_EQ(schedule.NextDue(), Start);
  EXPECT_FALSE(schedule.CloseDue(Start));  // the replies come first
  EXPECT_EQ(schedule.TakeDue(Start), "A\rB\r");
  EXPECT_TRUE(schedule.CloseDue(Start));
  EXPECT_EQ(schedule.TakeDue(Start), "");
  schedule.Clear();
  EXPECT_FALSE(schedule.CloseDue(Start));
  EXPECT_FALSE(schedule.NextDue());
}

TEST(ReplyScheduleTest, ADelayHoldsEachReplyAndNoReplyOvertakesAnEarlierOne) {
  TReplySchedule schedule(milliseconds(50), milliseconds(0));
  schedule.AddReply("first", Start);
  EXPECT_EQ(schedule.NextDue(), Start + milliseconds(50));
  EXPECT_EQ(schedule.TakeDue(Start + milliseconds(49)), "");
  EXPECT_EQ(schedule.TakeDue(Start + milliseconds(50)), "first");
  schedule.AddReply("second", Start + milliseconds(60));
  schedule.AddReply("third", Start + milliseconds(70));
  EXPECT_EQ(schedule.TakeDue(Start + milliseconds(110)), "second");
  EXPECT_EQ(schedule.TakeDue(Start + milliseconds(120)), "third");
}

TEST(ReplyScheduleTest, DribbledRepliesGoOutOneBytePerPauseAcrossReplies) {
  TReplySchedule schedule(milliseconds(10), milliseconds(5));
  schedule.AddReply("ab", Start);
  schedule.AddReply("c", Start);
  schedule.AddClose(Start);
  std::string sent;
  int steps = 0;
  for (auto now = Start;; now += milliseconds(1), ++steps) {
    const std::string due = schedule.TakeDue(now);
    EXPECT_LE(due.size(), 1u) << "at step " << steps;
    if (!due.empty()) sent += due + "@" + std::to_string(steps) + " ";
    if (schedule.CloseDue(now) || steps > 100) break;
  }
  EXPECT_EQ(sent, "a@10 b@15 c@20 ");
  EXPECT_EQ(steps, 20);
}
}  // namespace
