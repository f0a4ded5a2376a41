#pragma once

#include "signals/AppTimer.h"
#include "threads/KtThreads.h"

// The framework's units for the lifetime of the program: the debug log, the threads and the
// notifier thread, then the default timer pool; ended in the reverse order. Created on the
// main thread before the program's own steps, whose loop then carries notifications and
// pool timers.
class TProgramUnits {
public:
  TProgramUnits() = default;
  TProgramUnits(const TProgramUnits&) = delete;
  TProgramUnits& operator=(const TProgramUnits&) = delete;

private:
  TKtThreadsScope FThreads;
  TAppTimerUnit FTimerPool;
};
