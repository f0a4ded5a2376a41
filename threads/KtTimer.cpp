#include "threads/KtTimer.h"

#include "base/Exception.h"
#include "base/Format.h"
#include "platform/Clock.h"

namespace {
constexpr int64_t UnitsPerSecond[] = {1000, 1000000, 10000000, 10000000};

// Value * Multiplier / Divisor without the 64-bit overflow of the plain product: the
// counter runs in nanoseconds here, so the product would overflow within hours.
int64_t MulDiv(int64_t Value, int64_t Multiplier, int64_t Divisor) {
  return Value / Divisor * Multiplier + Value % Divisor * Multiplier / Divisor;
}
}  // namespace

TKtTimer::TKtTimer(int Start, int UnitIndex) : FFrequency(QueryPerformanceFrequency()) {
  if (FFrequency == 0) throw Exception("No High Resolution Timer support");
  if (UnitIndex < 0 || UnitIndex > 3) throw Exception(Format("Timer unit index %d is not 0 to 3", UnitIndex));
  FResolution = UnitsPerSecond[UnitIndex];
  Reset(Start);
}

int64_t TKtTimer::TickCountInCounterTicks() const {
  return MulDiv(static_cast<int64_t>(GetTickCount()), FFrequency, 1000);
}

void TKtTimer::Reset(int Start) {
  // 64 bits: at a nanosecond counter a 32-bit offset would overflow beyond 2 s.
  FOffset = MulDiv(Start, FFrequency, FResolution);
  FStart = QueryPerformanceCounter() + FOffset;
  FTickBase = TickCountInCounterTicks() + FOffset;
}

int64_t TKtTimer::Elapsed() {
  const int64_t q = QueryPerformanceCounter();
  const int64_t t = TickCountInCounterTicks();
  if (FTickBase - FOffset > t) FTickBase -= MulDiv(int64_t{1} << 32, FFrequency, 1000);
  const int64_t drift = (q - FStart) - (t - FTickBase);
  if (drift > FFrequency / 2) FStart += drift;
  return MulDiv(q - FStart, FResolution, FFrequency);
}
