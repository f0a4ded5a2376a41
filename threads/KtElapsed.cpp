#include "threads/KtElapsed.h"

#include <mutex>

#include "threads/KtTimer.h"

int64_t KtElapsedMilliseconds() {
  // One timer for the process; Elapsed may correct it, so readers take turns.
  static std::mutex lock;
  static TKtTimer timer(0, 0);
  std::lock_guard<std::mutex> guard(lock);
  return timer.Elapsed();
}
