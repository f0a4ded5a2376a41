#include "platform/LocalTime.h"

#include <chrono>
#include <ctime>

TLocalTime LocalTimeNow() {
  const auto now = std::chrono::system_clock::now();
  const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
  const auto millis =
      std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000;
  std::tm broken{};
  ::localtime_r(&seconds, &broken);
  return TLocalTime{broken.tm_year + 1900, broken.tm_mon + 1, broken.tm_mday, broken.tm_hour,
                    broken.tm_min,         broken.tm_sec,     static_cast<int>(millis)};
}
