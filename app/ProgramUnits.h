#pragma once

#include "ipsock/IpWinSockAccess.h"
#include "signals/AppTimer.h"
#include "threads/KtThreads.h"

// The framework's units for the lifetime of the program: the debug log, the threads and the
// notifier thread, the default timer pool, then the socket engine, whose library is loaded
// and started here so that a failing start-up is reported at once; ended in the reverse
// order. Created on the main thread before the program's own steps, whose loop then
// carries notifications and pool timers.
class TProgramUnits {
public:
  TProgramUnits() = default;
  TProgramUnits(const TProgramUnits&) = delete;
  TProgramUnits& operator=(const TProgramUnits&) = delete;

private:
  TKtThreadsScope FThreads;
  TAppTimerUnit FTimerPool;
  TIpSockUnit FSocketEngine;
};
