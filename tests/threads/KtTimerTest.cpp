#include <gtest/gtest.h>

#include "base/Exception.h"
#include "platform/Clock.h"
#include "threads/KtTimer.h"

namespace {
// A clock whose counter and tick count tests move by hand.
class TManualClock : public TClockSource {
public:
  int64_t Counter = 5'000'000'000;
  uint32_t Tick = 5000;
  int64_t Frequency = 1'000'000'000;
  int64_t PerformanceCounter() override { return Counter; }
  int64_t PerformanceFrequency() override { return Frequency; }
  uint32_t TickCount() override { return Tick; }
  void Advance(int64_t Milliseconds) {
    Counter += Milliseconds * 1'000'000;
    Tick += static_cast<uint32_t>(Milliseconds);
  }
};

TEST(KtTimerTest, ReadsInItsUnitFromMinusStart) {
  TManualClock clock;
  TScopedClockSource installed(clock);
  TKtTimer millis(0, 0);
  TKtTimer micros(0, 1);
  TKtTimer hundredNs(0, 2);
  TKtTimer delayed(50, 0);
  EXPECT_EQ(delayed.Elapsed(), -50);
  clock.Advance(1000);
  EXPECT_EQ(millis.Elapsed(), 1000);
  EXPECT_EQ(micros.Elapsed(), 1'000'000);
  EXPECT_EQ(hundredNs.Elapsed(), 10'000'000);
  EXPECT_EQ(delayed.Elapsed(), 950);
  delayed.Reset(3000);
  EXPECT_EQ(delayed.Elapsed(), -3000) << "a start beyond 2 s must not overflow";
}

TEST(KtTimerTest, CounterJumpingAheadFollowsTheTickCountButALagIsKept) {
  TManualClock clock;
  TScopedClockSource installed(clock);
  TKtTimer timer(0, 0);
  clock.Advance(100);
  clock.Counter += 2'000'000'000;  // the counter leaps 2 s ahead of the tick count
  EXPECT_EQ(timer.Elapsed(), 100);
  clock.Advance(100);
  clock.Counter -= 300'000'000;  // lagging is not corrected
  EXPECT_EQ(timer.Elapsed(), -100);
  clock.Counter += 400'000'000;  // less than half a second ahead of the ticks: kept
  EXPECT_EQ(timer.Elapsed(), 300);
}

TEST(KtTimerTest, TickCountWrapIsFollowed) {
  TManualClock clock;
  clock.Tick = 0xFFFFFF00u;
  TScopedClockSource installed(clock);
  TKtTimer timer(0, 0);
  clock.Advance(1000);  // the 32-bit tick count wraps
  EXPECT_EQ(timer.Elapsed(), 1000);
  clock.Counter += 2'000'000'000;
  EXPECT_EQ(timer.Elapsed(), 1000) << "after the wrap the drift rule still compares correctly";
}

TEST(KtTimerTest, LongRunningMicrosecondTimerDoesNotOverflow) {
  TManualClock clock;
  TScopedClockSource installed(clock);
  TKtTimer timer(0, 2);
  const int64_t threeDaysMs = int64_t{3} * 24 * 3600 * 1000;
  clock.Counter += threeDaysMs * 1'000'000;
  clock.Tick += static_cast<uint32_t>(threeDaysMs);
  EXPECT_EQ(timer.Elapsed(), threeDaysMs * 10'000);
}

TEST(KtTimerTest, RefusesACounterWithoutFrequencyAndABadUnit) {
  TManualClock clock;
  clock.Frequency = 0;
  {
    TScopedClockSource installed(clock);
    try {
      TKtTimer timer(0, 0);
      FAIL();
    } catch (const Exception& e) {
      EXPECT_EQ(e.Message(), "No High Resolution Timer support");
    }
  }
  EXPECT_THROW(TKtTimer(0, 4), Exception);
}

TEST(KtTimerTest, SystemClockReadsAboutTheRealTime) {
  TKtTimer timer(0, 0);
  const int64_t first = timer.Elapsed();
  EXPECT_GE(first, 0);
  EXPECT_LT(first, 1000);
}
}  // namespace
