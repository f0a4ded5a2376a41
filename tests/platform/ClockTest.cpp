#include <gtest/gtest.h>

#include <chrono>
#include <limits>

#include "platform/Clock.h"

namespace {
// A counter the test sets by hand; the tick count comes from the default derivation.
class TSettableCounter : public TClockSource {
public:
  int64_t PerformanceCounter() override { return Counter; }
  int64_t PerformanceFrequency() override { return Frequency; }
  int64_t Counter = 0;
  int64_t Frequency = 1'000'000'000;
};

constexpr int64_t NsPerMs = 1'000'000;
constexpr int64_t WrapMs = int64_t{1} << 32;
}  // namespace

TEST(ClockTest, TheSystemClockIsSteadyAndCountsNanoseconds) {
  EXPECT_EQ(QueryPerformanceFrequency(), 1'000'000'000);
  const int64_t first = QueryPerformanceCounter();
  const auto start = std::chrono::steady_clock::now();
  while (std::chrono::steady_clock::now() - start < std::chrono::milliseconds(20)) {
  }
  const int64_t second = QueryPerformanceCounter();
  EXPECT_GE(second - first, 20 * NsPerMs);
  EXPECT_LT(second - first, 5'000 * NsPerMs);
  const uint32_t ticks = GetTickCount();
  EXPECT_EQ(ticks, TickCountOf(QueryPerformanceCounter(), QueryPerformanceFrequency())) << "a tick may pass, rarely";
}

TEST(ClockTest, TheTickCountWrapsAfter2To32Milliseconds) {
  TSettableCounter clock;
  TScopedClockSource installed(clock);
  clock.Counter = (WrapMs - 1) * NsPerMs;
  const uint32_t beforeWrap = GetTickCount();
  EXPECT_EQ(beforeWrap, std::numeric_limits<uint32_t>::max());
  clock.Counter += 5 * NsPerMs;
  const uint32_t afterWrap = GetTickCount();
  EXPECT_EQ(afterWrap, 4u);
  // Elapsed time taken as an unsigned difference survives the wrap.
  EXPECT_EQ(afterWrap - beforeWrap, 5u);
  clock.Counter = 3 * WrapMs * NsPerMs + 17 * NsPerMs + 999'999;
  EXPECT_EQ(GetTickCount(), 17u);

  // Another frequency gives the same milliseconds, also for counters near the top of the range.
  clock.Frequency = 3'579'545;
  clock.Counter = clock.Frequency * 2 + clock.Frequency / 2 + 1;
  EXPECT_EQ(GetTickCount(), 2500u);
  clock.Counter = std::numeric_limits<int64_t>::max();
  const unsigned __int128 exactMs = static_cast<unsigned __int128>(clock.Counter) * 1000 / clock.Frequency;
  EXPECT_EQ(GetTickCount(), static_cast<uint32_t>(exactMs));
}

TEST(ClockTest, NestedSourcesAreRestoredInOrder) {
  TSettableCounter outer;
  outer.Counter = 1000 * NsPerMs;
  TSettableCounter inner;
  inner.Counter = 2000 * NsPerMs;
  {
    TScopedClockSource installOuter(outer);
    {
      TScopedClockSource installInner(inner);
      EXPECT_EQ(GetTickCount(), 2000u);
      EXPECT_EQ(QueryPerformanceCounter(), 2000 * NsPerMs);
    }
    EXPECT_EQ(GetTickCount(), 1000u);
  }
  EXPECT_EQ(QueryPerformanceFrequency(), 1'000'000'000);
  EXPECT_GT(QueryPerformanceCounter(), 0);
}
