#pragma once

// The current local date and time, broken down.
struct TLocalTime {
  int Year;
  int Month;  // 1..12
  int Day;    // 1..31
  int Hour;   // 0..23
  int Minute;
  int Second;
  int Millisecond;
};

TLocalTime LocalTimeNow();
