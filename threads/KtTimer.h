#pragma once

#include <cstdint>

#include "base/Object.h"

// Elapsed time from the performance counter in a chosen unit, kept from running ahead of
// the system tick count. Not locked: Elapsed may move its start and tick base.
class TKtTimer : public TObject {
public:
  // UnitIndex: 0 milliseconds, 1 microseconds, 2 and 3 hundreds of nanoseconds.
  explicit TKtTimer(int Start = 0, int UnitIndex = 0);

  // The timer then reads -Start and reaches 0 after Start units.
  void Reset(int Start);
  int64_t Elapsed();
  int64_t Resolution() const { return FResolution; }

private:
  int64_t TickCountInCounterTicks() const;

  int64_t FFrequency;
  int64_t FResolution;
  int64_t FOffset = 0;
  int64_t FStart = 0;
  int64_t FTickBase = 0;
};
