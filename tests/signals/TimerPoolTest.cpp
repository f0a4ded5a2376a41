#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "platform/Clock.h"
#include "signals/AppTimer.h"
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

TEST_F(TimerPoolTest, ElapsedTimeSaturates) {
  int32_t last = 0;
  Pool->Add(0x40000000u, [&](TObject*, int32_t, uint32_t, int32_t Elapsed) { last = Elapsed; });
  for (int i = 0; i < 3; ++i) {
    Clock.Now += 0x40000000u;
    Pool->ProcessTick();
  }
  EXPECT_EQ(last, 2147483647);
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

TEST(TimerPoolRealTime, A100MillisecondTimerFiresAboutTenTimesASecond) {
  TComponentPtr<TTimerPool> pool(new TTimerPool(nullptr));
  int fired = 0;
  std::thread::id firedOn;
  pool->Add(100, [&](TObject*, int32_t, uint32_t, int32_t) {
    ++fired;
    firedOn = std::this_thread::get_id();
  });
  const auto start = std::chrono::steady_clock::now();
  ASSERT_TRUE(WaitUntil([&] { return fired >= 10; }, std::chrono::seconds(10)));
  const auto took = std::chrono::steady_clock::now() - start;
  EXPECT_EQ(firedOn, std::this_thread::get_id());
  // Ten periods of 100 ms, each up to 27 ms early, on a loaded machine.
  EXPECT_GE(took, std::chrono::milliseconds(700));
  EXPECT_LE(took, std::chrono::milliseconds(3000));
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
