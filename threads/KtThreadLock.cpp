#include "threads/KtThreadLock.h"

#include <chrono>

void TKtThreadLock98::Lock() {
  // Waits in steps of the longest finite time-out; giving up after one step would leave
  // the caller believing it holds a lock it does not.
  while (!FMutex.try_lock_for(std::chrono::milliseconds(0x7FFFFFFF))) {
  }
}

std::unique_ptr<TKtThreadLock> CreateThreadLock() { return std::make_unique<TKtThreadLock2000>(); }
