#pragma once

#include <atomic>

// The process-wide interlocked counters of the framework, reported at unit end.
struct TKtThreadCounters {
  std::atomic<int> HostThreads{0};        // live host threads
  std::atomic<int> Backlog{0};            // notification messages posted, not yet handled
  std::atomic<int> NotificationQueues{0};  // live notification queues
  std::atomic<bool> CanWait{false};       // stopping a worker may wait for it
};

TKtThreadCounters& KtThreadCounters();
