#include "threads/KtThreads.h"

#include <mutex>

#include "threads/KtDebugLog.h"
#include "threads/KtNotifierThread.h"
#include "threads/KtThreadCounters.h"
#include "threads/KtUtils.h"

namespace {
std::mutex UnitLock;
bool Started = false;
}  // namespace

// Never destroyed, as the register of adopted threads: host threads freed at the unit's end
// count themselves out here, whenever that end comes.
TKtThreadCounters& KtThreadCounters() {
  static TKtThreadCounters& counters = *new TKtThreadCounters;
  return counters;
}

void KtThreadsStart() {
  KtDebugLogStart();
  KtUtilsStart();
  std::lock_guard<std::mutex> guard(UnitLock);
  if (Started) return;
  Started = true;
  KtDebugWrite("initialization: KtThreads");
  StartNotifierThread();
}

void KtThreadsFinish() {
  {
    std::lock_guard<std::mutex> guard(UnitLock);
    if (Started) {
      Started = false;
      KtDebugWrite("finalization: KtThreads");
      StopNotifierThread();
      ClearAdoptedThreads();
      TKtThreadCounters& counters = KtThreadCounters();
      KtDebugWritef("Remaining HostThread Count is %d", counters.HostThreads.load());
      KtDebugWritef("Exiting with message backlog of %d", counters.Backlog.load());
      KtDebugWritef("Exiting with NotificationItemQueueCount of %d", counters.NotificationQueues.load());
    }
  }
  KtUtilsFinish();
  KtDebugLogFinish();
}

bool KtCanWait() { return KtThreadCounters().CanWait.load(); }
void KtSetCanWait(bool Value) { KtThreadCounters().CanWait.store(Value); }
int KtHostThreadCount() { return KtThreadCounters().HostThreads.load(); }
int KtNotificationBacklog() { return KtThreadCounters().Backlog.load(); }
int KtNotificationQueueCount() { return KtThreadCounters().NotificationQueues.load(); }
