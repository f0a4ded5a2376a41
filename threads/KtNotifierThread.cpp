#include "threads/KtNotifierThread.h"

#include <algorithm>
#include <map>
#include <vector>

#include "base/Exception.h"
#include "platform/Application.h"
#include "platform/ThreadInfo.h"
#include "threads/KtDebugLog.h"
#include "threads/KtThreadCounters.h"

namespace {
// What the poll and the deliveries share, guarded by NotifierLock.
struct TNotifierState {
  std::vector<TNotificationItemQueue*> Queues;
  size_t Cursor = 0;
  // Items posted to the window, by the id the message carries; an item whose queue has
  // gone is erased, and its message then delivers nothing.
  std::map<uint64_t, TNotificationItem> Posted;
  uint64_t NextId = 1;
  std::unique_ptr<TNotifierThread> Thread;
};

TNotifierState& State() {
  static TNotifierState state;
  return state;
}

// Under NotifierLock: the next item, one queue per turn, posted under a fresh id.
bool NextItem(uint64_t& Id) {
  TNotifierState& s = State();
  for (size_t n = s.Queues.size(); n > 0; --n) {
    if (s.Cursor >= s.Queues.size()) s.Cursor = 0;
    TNotificationItemQueue* queue = s.Queues[s.Cursor++];
    if (queue->IsEmpty()) continue;
    Id = s.NextId++;
    s.Posted.emplace(Id, queue->Pop());
    return true;
  }
  return false;
}

void ErasePosted(std::map<uint64_t, TNotificationItem>::iterator At) {
  State().Posted.erase(At);
  --KtThreadCounters().Backlog;
}

void DiscardPosted(uint64_t Id) {
  std::lock_guard<std::mutex> guard(NotifierLock());
  const auto found = State().Posted.find(Id);
  if (found != State().Posted.end()) ErasePosted(found);
}

void ReportToApplication(const std::exception_ptr& E) {
  try {
    std::rethrow_exception(E);
  } catch (const std::exception& e) {
    Application().HandleException(e);
  } catch (...) {
    Application().HandleException(Exception("Unknown exception in a notification"));
  }
}
}  // namespace

std::mutex& NotifierLock() {
  static std::mutex lock;
  return lock;
}

TNotificationItemQueue::TNotificationItemQueue(THandle Producer)
    : TKtQueue<TNotificationItem>(CapacityStep), FProducer(std::move(Producer)) {
  ++KtThreadCounters().NotificationQueues;
  std::lock_guard<std::mutex> guard(NotifierLock());
  State().Queues.push_back(this);
}

TNotificationItemQueue::~TNotificationItemQueue() {
  --KtThreadCounters().NotificationQueues;
  std::vector<TNotificationItem> dropped;  // released after the lock
  std::lock_guard<std::mutex> guard(NotifierLock());
  TNotifierState& s = State();
  std::erase(s.Queues, this);
  while (!IsEmpty()) dropped.push_back(Pop());
  for (auto it = s.Posted.begin(); it != s.Posted.end();) {
    const auto& proxy = it->second.Proxy;
    if (proxy && proxy->Queue() == this) {
      dropped.push_back(std::move(it->second));
      ErasePosted(it++);
    } else {
      ++it;
    }
  }
}

TNotifierThread::TNotifierThread()
    : FWindow(std::make_unique<TMessageWindow>(
          [this](uint32_t Msg, WPARAM WParam, LPARAM LParam) { return Deliver(Msg, WParam, LParam); })),
      FExceptionQueue(std::make_unique<TNotificationItemQueue>()),
      FPoller(&TNotifierThread::Poll, this) {}

TNotifierThread::~TNotifierThread() {
  {
    std::lock_guard<std::mutex> guard(FWakeLock);
    FTerminate = true;
  }
  FWake.notify_all();
  FPoller.join();
  FExceptionQueue.reset();
  std::map<uint64_t, TNotificationItem> pending;
  {
    std::lock_guard<std::mutex> guard(NotifierLock());
    pending.swap(State().Posted);
    KtThreadCounters().Backlog -= static_cast<int>(pending.size());
  }
  // Messages still in the window's queue find no item and are discarded with it.
  FWindow.reset();
}

void TNotifierThread::SetPollingPaused(bool Paused) {
  {
    std::lock_guard<std::mutex> guard(FWakeLock);
    FPaused = Paused;
  }
  FWake.notify_all();
}

void TNotifierThread::Poll() {
  KtDebugWrite("NotifierThread Poll initiated");
  SetCurrentThreadName("Notifier");
  FLoopCount.store(1);
  KtThreadCounters().CanWait.store(true);
  const HWND window = FWindow->Handle();
  // A pass runs under the wake lock, so that a pause never lands in the middle of one.
  std::unique_lock<std::mutex> wake(FWakeLock);
  while (!FTerminate) {
    bool first = true;
    while (!FPaused) {
      uint64_t id = 0;
      {
        std::lock_guard<std::mutex> guard(NotifierLock());
        if (!NextItem(id)) break;
        ++KtThreadCounters().Backlog;
      }
      if (!first) std::this_thread::yield();
      first = false;
      PostMessage(window, KtNotificationMessage, static_cast<WPARAM>(id), 0, [id] { DiscardPosted(id); });
    }
    FWake.wait_for(wake, std::chrono::milliseconds(PollIntervalMs), [this] { return FTerminate; });
    ++FLoopCount;
  }
  KtDebugWrite("NotifierThread Poll terminated");
}

LRESULT TNotifierThread::Deliver(uint32_t Msg, WPARAM WParam, LPARAM) {
  if (Msg != KtNotificationMessage) return 0;
  TNotificationItem item;
  {
    std::lock_guard<std::mutex> guard(NotifierLock());
    const auto found = State().Posted.find(static_cast<uint64_t>(WParam));
    if (found == State().Posted.end()) return 0;
    item = std::move(found->second);
    ErasePosted(found);
  }
  if (item.Exception) {
    ReportToApplication(item.Exception);
    return 0;
  }
  try {
    if (item.Proxy->Callback()) item.Proxy->Callback()(item.Sender, item.Proxy);
  } catch (...) {
    ReportToApplication(std::current_exception());
  }
  if (item.Proxy->InFlight()) --*item.Proxy->InFlight();
  return 0;
}

void StartNotifierThread() {
  std::unique_ptr<TNotifierThread> created;
  {
    std::lock_guard<std::mutex> guard(NotifierLock());
    if (State().Thread) return;
  }
  // Created outside the lock: its exception queue registers itself under it.
  created = std::make_unique<TNotifierThread>();
  std::lock_guard<std::mutex> guard(NotifierLock());
  State().Thread = std::move(created);
}

void StopNotifierThread() {
  std::unique_ptr<TNotifierThread> stopping;
  {
    std::lock_guard<std::mutex> guard(NotifierLock());
    stopping = std::move(State().Thread);
  }
}

TNotifierThread* NotifierThread() {
  std::lock_guard<std::mutex> guard(NotifierLock());
  return State().Thread.get();
}

void PostException(std::exception_ptr E) {
  TNotificationItem item;
  item.Exception = E;
  {
    std::lock_guard<std::mutex> guard(NotifierLock());
    if (State().Thread) {
      State().Thread->ExceptionQueue().Enqueue(item);
      return;
    }
  }
  // Without a notifier thread there is no main thread to raise it on; keep a trace.
  try {
    std::rethrow_exception(E);
  } catch (const std::exception& e) {
    KtDebugWritef("Unhandled exception dropped: %s", e.what());
  } catch (...) {
    KtDebugWrite("Unhandled exception dropped");
  }
}
