#pragma once

#include <cstdint>

// The time sources: a 64-bit performance counter with its frequency, and a 32-bit
// millisecond tick count that wraps like the system one. Tests install their own.
class TClockSource {
public:
  virtual ~TClockSource() = default;
  virtual int64_t PerformanceCounter() = 0;
  virtual int64_t PerformanceFrequency() = 0;
  // By default the counter in milliseconds, cut to 32 bits: wraps after about 49.7 days.
  virtual uint32_t TickCount();
};

// Milliseconds of Counter (at Frequency counts per second), cut to 32 bits.
uint32_t TickCountOf(int64_t Counter, int64_t Frequency);

int64_t QueryPerformanceCounter();
int64_t QueryPerformanceFrequency();  // 10^9 with the system source
uint32_t GetTickCount();

// Installs Source until the guard goes (nested guards restore in order).
class TScopedClockSource {
public:
  explicit TScopedClockSource(TClockSource& Source);
  ~TScopedClockSource();
  TScopedClockSource(const TScopedClockSource&) = delete;
  TScopedClockSource& operator=(const TScopedClockSource&) = delete;

private:
  TClockSource* FPrevious;
};
