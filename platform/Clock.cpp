#include "platform/Clock.h"

#include <atomic>
#include <chrono>

namespace {
class TSystemClock : public TClockSource {
public:
  int64_t PerformanceCounter() override {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
  }
  int64_t PerformanceFrequency() override { return 1'000'000'000; }
  // Milliseconds of the steady clock, truncated to 32 bits so that it wraps after ~49.7 days.
  uint32_t TickCount() override { return static_cast<uint32_t>(PerformanceCounter() / 1'000'000); }
};

TSystemClock& SystemClock() {
  static TSystemClock clock;
  return clock;
}

std::atomic<TClockSource*>& InstalledSource() {
  static std::atomic<TClockSource*> source{&SystemClock()};
  return source;
}
}  // namespace

int64_t QueryPerformanceCounter() { return InstalledSource().load()->PerformanceCounter(); }
int64_t QueryPerformanceFrequency() { return InstalledSource().load()->PerformanceFrequency(); }
uint32_t GetTickCount() { return InstalledSource().load()->TickCount(); }

TScopedClockSource::TScopedClockSource(TClockSource& Source)
    : FPrevious(InstalledSource().exchange(&Source)) {}

TScopedClockSource::~TScopedClockSource() { InstalledSource().store(FPrevious); }
