#pragma once

#include "threads/KtHostThread.h"
#include "threads/KtNotifier.h"
#include "threads/KtThreadPool.h"

// Starts the framework on the calling thread, which becomes its main thread (the one whose
// message loop receives notifications): the debug log, the parameter lists and then this
// unit, which creates the notifier thread. Idempotent; may start again after a finish.
void KtThreadsStart();
// Ends it in the reverse order, on the main thread: stops the notifier thread, frees the
// adopted threads and logs what is left. Pools and notifiers should be gone before.
void KtThreadsFinish();

// Whether stopping a worker may wait for it; true once the notifier thread polls.
bool KtCanWait();
void KtSetCanWait(bool Value);
int KtHostThreadCount();
int KtNotificationBacklog();
int KtNotificationQueueCount();

// Starts the framework for the lifetime of the object.
class TKtThreadsScope {
public:
  TKtThreadsScope() { KtThreadsStart(); }
  ~TKtThreadsScope() { KtThreadsFinish(); }
  TKtThreadsScope(const TKtThreadsScope&) = delete;
  TKtThreadsScope& operator=(const TKtThreadsScope&) = delete;
};
