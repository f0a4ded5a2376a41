#include "threads/KtThreadLock.h"

// Waits without limit: a wait that gave up after its longest finite time-out would leave
// the caller believing it holds a lock it does not.
void TKtThreadLock98::Lock() { FMutex.lock(); }

std::unique_ptr<TKtThreadLock> CreateThreadLock() { return std::make_unique<TKtThreadLock2000>(); }
