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

uint32_t TClockSource::TickCount() { return TickCountOf(PerformanceCounter(), PerformanceFrequency()); }

uint32_t TickCountOf(int64_t Counter, int64_t Frequency) {
  // Whole seconds and the rest apart, so that a large counter cannot overflow the product.
  const int64_t milliseconds = Counter / Frequency * 1000 + Counter % Frequency * 1000 / Frequency;
  return static_cast<uint32_t>(static_cast<uint64_t>(milliseconds));
}

int64_t QueryPerformanceCounter() { return InstalledSource().load()->PerformanceCounter(); }
int64_t QueryPerformanceFrequency() { return InstalledSource().load()->PerformanceFrequency(); }
uint32_t GetTickCount() { return InstalledSource().load()->TickCount(); }

TScopedClockSource::TScopedClockSource(TClockSource& Source)
    : FPrevious(InstalledSource().exchange(&Source)) {}

TScopedClockSource::~TScopedClockSource() { InstalledSource().store(FPrevious); }
