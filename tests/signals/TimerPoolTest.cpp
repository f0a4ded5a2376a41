#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "platform/Clock.h"
#include "signals/AppTimer.h"
#include "tests/support/TestApplication.h"
#include "tests/support/WaitUntil.h"

namespace {
// A tick count the test moves by hand.
class TManualClock : public TClockSource {
public:
  int64_t PerformanceCounter() override { return int64_t{Now} * 1'000'000; }
  int64_t PerformanceFrequency() override { return 1'000'000'000; }
  uint32_t TickCount() override { return Now; }
  uint32_t Now = 1000;
};

class TimerPoolTest : public testing::Test {
protected:
  TManualClock Clock;
  TScopedClockSource Installed{Clock};
  TComponentPtr<TTimerPool> Pool{new TTimerPool(nullptr)};
  std::vector<std::string> Fired;

  TTriggerEvent Record(const std::string& Label) {
    return [this, Label](TObject* Sender, int32_t, uint32_t Interval, int32_t Elapsed) {
      EXPECT_EQ(Sender, Pool.get());
      Fired.push_back(Label + "/" + std::to_string(Interval) + "/" + std::to_string(Elapsed));
    };
  }
};
}  // namespace

TEST_F(TimerPoolTest, StartsStoppedAndReportsItsVersion) {
  EXPECT_EQ(Pool->BaseInterval(), 0u);
  EXPECT_EQ(Pool->ActiveCount(), 0);
  EXPECT_FALSE(Pool->TimerRunning());
  Pool->RecalcInterval();
  Pool->UpdateTimer();
  EXPECT_EQ(Pool->BaseInterval(), 0u);
  EXPECT_FALSE(Pool->TimerRunning());
  EXPECT_EQ(Pool->About(), "v4.06");
  Pool->SetAbout("v9");
  EXPECT_EQ(Pool->About(), "v4.06");
  EXPECT_STREQ(ENoTimersAvailable().what(), "No Window's timers are available");
}

TEST_F(TimerPoolTest, BaseIntervalDividesEveryIntervalAndIsNeverBelow55) {
  struct TCase {
    std::vector<uint32_t> Intervals;
    uint32_t Base;
  };
  for (const TCase& c : {TCase{{200, 300}, 100}, TCase{{1000, 1500}, 500}, TCase{{100, 150}, 55},
                         TCase{{20}, 55}, TCase{{1000}, 1000}}) {
    TComponentPtr<TTimerPool> pool(new TTimerPool(nullptr));
    for (uint32_t interval : c.Intervals) pool->Add(interval, {});
    EXPECT_EQ(pool->BaseInterval(), c.Base) << c.Intervals.front();
    EXPECT_TRUE(pool->TimerRunning());
    EXPECT_EQ(pool->ActiveCount(), static_cast<int32_t>(c.Intervals.size()));
  }
}

TEST_F(TimerPoolTest, DisabledTimersCountForTheDivisorButNotAsActive) {
  Pool->Add(300, {}, true, false);
  EXPECT_EQ(Pool->ActiveCount(), 0);
  EXPECT_EQ(Pool->BaseInterval(), 0u);
  EXPECT_FALSE(Pool->TimerRunning());
  Pool->Add(200, {});
  EXPECT_EQ(Pool->ActiveCount(), 1);
  EXPECT_EQ(Pool->BaseInterval(), 100u);
}

TEST_F(TimerPoolTest, FiresUpTo27MillisecondsEarlyAndNoEarlier) {
  Pool->Add(100, Record("t"));
  Clock.Now += 72;
  Pool->ProcessTick();
  EXPECT_TRUE(Fired.empty());
  Clock.Now += 1;
  Pool->ProcessTick();
  EXPECT_EQ(Fired, (std::vector<std::string>{"t/100/73"}));
  // The next period counts from the trigger, and the elapsed time accumulates.
  Clock.Now += 100;
  Pool->ProcessTick();
  EXPECT_EQ(Fired.back(), "t/100/173");
  EXPECT_EQ(Pool->Count(), 1);
}

TEST_F(TimerPoolTest, OneShotFiresOnceAndTheNextRecordIsStillVisited) {
  std::vector<int32_t> allTriggers;
  Pool->OnAllTriggers = [&](TObject*, int32_t Handle, uint32_t, int32_t) { allTriggers.push_back(Handle); };
  const int32_t once = Pool->Add(100, Record("once"), false);
  const int32_t after = Pool->Add(100, Record("after"));
  Clock.Now += 100;
  Pool->ProcessTick();
  EXPECT_EQ(Fired, (std::vector<std::string>{"once/100/100", "after/100/100"}));
  EXPECT_EQ(allTriggers, (std::vector<int32_t>{once, after}));
  EXPECT_EQ(Pool->IndexOfHandle(once), -1);
  EXPECT_EQ(Pool->IndexOfHandle(after), 0);
  Clock.Now += 100;
  Pool->ProcessTick();
  EXPECT_EQ(Fired.size(), 3u);
}

TEST_F(TimerPoolTest, AHandlerRemovingItsOwnTimerSeesItGoneOnlyAfterReturning) {
  int32_t self = 0;
  bool presentInside = false;
  self = Pool->Add(100, [&](TObject*, int32_t Handle, uint32_t, int32_t) {
    Pool->Remove(Handle);
    Pool->Remove(Handle);
    presentInside = Pool->IndexOfHandle(Handle) >= 0;
  });
  const int32_t other = Pool->Add(100, Record("other"));
  Clock.Now += 100;
  Pool->ProcessTick();
  EXPECT_TRUE(presentInside);
  EXPECT_EQ(Pool->IndexOfHandle(self), -1);
  EXPECT_EQ(Fired, (std::vector<std::string>{"other/100/100"}));
  EXPECT_EQ(Pool->IndexOfHandle(other), 0);
  EXPECT_EQ(Pool->ActiveCount(), 1);
}

TEST_F(TimerPoolTest, AFailingHandlerStillEndsItsTurn) {
  const int32_t failing = Pool->Add(100, [&](TObject*, int32_t Handle, uint32_t, int32_t) {
    Pool->Remove(Handle);
    throw std::runtime_error("handler failed");
  });
  Pool->Add(100, Record("later"));
  Clock.Now += 100;
  EXPECT_THROW(Pool->ProcessTick(), std::runtime_error);
  // The deferred removal was carried out; the later record waits for the next tick.
  EXPECT_EQ(Pool->IndexOfHandle(failing), -1);
  EXPECT_TRUE(Fired.empty());
  Pool->ProcessTick();
  EXPECT_EQ(Fired.size(), 1u);
}

TEST_F(TimerPoolTest, ElapsedTimeSaturatesAndStaysThere) {
  std::vector<int32_t> totals;
  Pool->Add(0x40000000u, [&](TObject*, int32_t, uint32_t, int32_t Elapsed) { totals.push_back(Elapsed); });
  for (int i = 0; i < 4; ++i) {
    Clock.Now += 0x40000000u;
    Pool->ProcessTick();
  }
  // The second period crosses the point where the count turns negative and counts one less.
  EXPECT_EQ(totals, (std::vector<int32_t>{0x40000000, 2147483647, 2147483647, 2147483647}));
}

TEST_F(TimerPoolTest, TickCountWrapAroundStillFires) {
  Clock.Now = 0xFFFFFFF0u;
  Pool->Add(100, Record("wrap"));
  Clock.Now += 100;  // wraps to 0x54
  Pool->ProcessTick();
  EXPECT_EQ(Fired, (std::vector<std::string>{"wrap/100/100"}));
}

TEST_F(TimerPoolTest, RemoveAllStopsEverything) {
  Pool->Add(100, {});
  Pool->Add(250, {});
  Pool->Remove(12345);  // no such handle: nothing happens
  EXPECT_EQ(Pool->Count(), 2);
  Pool->RemoveAll();
  EXPECT_EQ(Pool->Count(), 0);
  EXPECT_EQ(Pool->ActiveCount(), 0);
  EXPECT_EQ(Pool->BaseInterval(), 0u);
  EXPECT_FALSE(Pool->TimerRunning());
}


TEST_F(TimerPoolTest, CrossingIntoNegativeTicksCountsOneMillisecondLess) {
  Clock.Now = 0x7FFFFFC0u;
  Pool->Add(100, Record("t"));
  Clock.Now += 100;  // now 0x80000024, negative when read as signed
  Pool->ProcessTick();
  EXPECT_EQ(Fired, (std::vector<std::string>{"t/100/99"}));
}

TEST_F(TimerPoolTest, BaseIntervalFollowsTheRemainingTimeOfEachTimer) {
  Pool->Add(1000, {});
  EXPECT_EQ(Pool->BaseInterval(), 1000u);
  // 600 ms remain: 1000 mod 600 leaves 400, 1000 mod 400 leaves 200, and 200 divides 1000.
  Clock.Now += 400;
  Pool->RecalcInterval();
  EXPECT_EQ(Pool->BaseInterval(), 200u);
  // An overdue timer yields the floor.
  Clock.Now += 1000;
  Pool->RecalcInterval();
  EXPECT_EQ(Pool->BaseInterval(), 55u);
  // So does a tick count that went negative since the last trigger: it counts as long overdue.
  Clock.Now = 0x7FFFFF00u;
  TComponentPtr<TTimerPool> crossing(new TTimerPool(nullptr));
  crossing->Add(1000, {});
  EXPECT_EQ(crossing->BaseInterval(), 1000u);
  Clock.Now = 0x80000010u;
  crossing->RecalcInterval();
  EXPECT_EQ(crossing->BaseInterval(), 55u);
}

TEST_F(TimerPoolTest, RemovingAOneShotInsideTheTickRearmsTheWindowTimer) {
  const int32_t once = Pool->Add(100, Record("once"), false);
  Pool->Add(1000, Record("slow"));
  EXPECT_EQ(Pool->BaseInterval(), 100u);
  Clock.Now += 100;
  Pool->ProcessTick();
  EXPECT_EQ(Fired, (std::vector<std::string>{"once/100/100"}));
  EXPECT_EQ(Pool->IndexOfHandle(once), -1);
  EXPECT_EQ(Pool->ActiveCount(), 1);
  // 900 ms remain of the slow timer: 1000 mod 900, then mod 800 and mod 600, end at 200.
  EXPECT_EQ(Pool->BaseInterval(), 200u);
  EXPECT_TRUE(Pool->TimerRunning());
}

TEST_F(TimerPoolTest, AHandlerRemovingAnotherTimerRemovesItAtOnce) {
  int32_t victim = 0;
  Pool->Add(100, [&](TObject*, int32_t, uint32_t, int32_t) {
    Pool->Remove(victim);
    Fired.push_back(Pool->IndexOfHandle(victim) < 0 ? "gone" : "still there");
  });
  victim = Pool->Add(100, Record("victim"));
  Clock.Now += 100;
  Pool->ProcessTick();
  EXPECT_EQ(Fired, (std::vector<std::string>{"gone"})) << "a removed timer does not fire";
  EXPECT_EQ(Pool->Count(), 1);
  EXPECT_EQ(Pool->ActiveCount(), 1);
}

TEST_F(TimerPoolTest, DisabledTimersNeverFire) {
  const int32_t off = Pool->Add(100, Record("off"), true, false);
  Pool->Add(100, Record("on"));
  Clock.Now += 100;
  Pool->ProcessTick();
  EXPECT_EQ(Fired, (std::vector<std::string>{"on/100/100"}));
  EXPECT_EQ(Pool->Timers(Pool->IndexOfHandle(off)).ElapsedTime, 0);
  EXPECT_THROW(Pool->Timers(2), ETimerPoolException);
}

namespace {
using namespace std::chrono;

// The trigger times of a recurring 100 ms timer of a pool that lives on the calling
// thread, served by that thread's own message loop.
struct TRealRun {
  std::vector<steady_clock::time_point> Triggers;
  bool AllOnOwner = true;
  bool Completed = false;
};

TRealRun RunA100MillisecondTimer(int Triggers) {
  TRealRun run;
  TComponentPtr<TTimerPool> pool(new TTimerPool(nullptr));
  const auto owner = std::this_thread::get_id();
  pool->Add(100, [&](TObject*, int32_t, uint32_t, int32_t) {
    run.Triggers.push_back(steady_clock::now());
    run.AllOnOwner = run.AllOnOwner && std::this_thread::get_id() == owner;
  });
  run.Completed = WaitUntil([&] { return static_cast<int>(run.Triggers.size()) >= Triggers; }, seconds(30));
  return run;
}

// About ten triggers a second: no gap shorter than the 27 ms early margin allows, and the
// typical (median) gap one period. The median ignores the few ticks a loaded machine delays.
void ExpectAboutTenASecond(const TRealRun& Run) {
  ASSERT_TRUE(Run.Completed) << "fired " << Run.Triggers.size() << " times";
  EXPECT_TRUE(Run.AllOnOwner) << "every trigger runs on the thread that owns the pool";
  std::vector<microseconds> gaps;
  for (size_t i = 1; i < Run.Triggers.size(); ++i)
    gaps.push_back(duration_cast<microseconds>(Run.Triggers[i] - Run.Triggers[i - 1]));
  for (const microseconds gap : gaps) EXPECT_GE(gap, milliseconds(70));
  std::sort(gaps.begin(), gaps.end());
  const microseconds median = gaps[gaps.size() / 2];
  EXPECT_GE(median, milliseconds(90));
  EXPECT_LE(median, milliseconds(150));
}
}  // namespace

TEST(TimerPoolRealTime, A100MillisecondTimerFiresAboutTenTimesASecondOnTheMainLoop) {
  ExpectAboutTenASecond(RunA100MillisecondTimer(11));
}

TEST(TimerPoolRealTime, APoolOnAnotherThreadFiresOnThatThreadsLoop) {
  TRealRun run;
  std::thread owner([&] { run = RunA100MillisecondTimer(11); });
  owner.join();
  ExpectAboutTenASecond(run);
}

TEST(TimerPoolRealTime, AFailingHandlerNeitherStopsThePoolNorReachesTheApplication) {
  TComponentPtr<TTimerPool> pool(new TTimerPool(nullptr));
  int calls = 0;
  pool->Add(60, [&](TObject*, int32_t, uint32_t, int32_t) {
    ++calls;
    throw std::runtime_error("trigger failed");
  });
  ASSERT_TRUE(WaitUntil([&] { return calls >= 3; }));
  EXPECT_TRUE(TestApplication().Exceptions().empty()) << "the pool's window discards a handler's failure";
}

TEST(TimerUnit, DefaultPoolExistsBetweenStartAndEnd) {
  EXPECT_EQ(DefaultTimerPool(), nullptr);
  {
    TAppTimerUnit unit;
    ASSERT_NE(DefaultTimerPool(), nullptr);
    DefaultTimerPool()->Add(100, {});
  }
  EXPECT_EQ(DefaultTimerPool(), nullptr);
}
