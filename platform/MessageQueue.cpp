#include "platform/MessageQueue.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <iterator>
#include <optional>
#include <system_error>

#include "base/ScopedFlag.h"
#include "platform/ReadySet.h"

namespace {
// Window timers run on the real steady clock, not on the replaceable clock source: a test
// that freezes the tick count must not freeze the message loop.
int64_t SteadyNowNs() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

// As with the system timers, shorter periods are raised to this minimum.
constexpr unsigned MinimumTimerMs = 10;
constexpr int64_t NsPerMs = 1'000'000;

int CreateWakeDescriptor() {
  const int fd = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
  if (fd < 0) throw std::system_error(errno, std::generic_category(), "eventfd for a message queue");
  return fd;
}

std::shared_ptr<TReadySet> MakeReadySet(int WakeEvent) {
  try {
    return std::make_shared<TReadySet>(WakeEvent);
  } catch (...) {
    close(WakeEvent);
    throw;
  }
}

thread_local std::shared_ptr<TMessageQueue> ThreadQueue;
}  // namespace

TMessageQueue::TMessageQueue() : FWakeEvent(CreateWakeDescriptor()), FReadySet(MakeReadySet(FWakeEvent)) {}

TMessageQueue::~TMessageQueue() {
  // The binding watches the descriptor, so it goes first. Sockets still registered keep the
  // set alive, but nothing serves it any more, as nothing delivers to a gone thread.
  delete FBinding;
  close(FWakeEvent);
}

int TMessageQueue::WakeDescriptor() const { return FReadySet->Descriptor(); }

std::shared_ptr<TMessageQueue> TMessageQueue::ForCurrentThread() {
  if (!ThreadQueue) ThreadQueue = std::make_shared<TMessageQueue>();
  TMessageQueue& queue = *ThreadQueue;
  // The queue may come before the Qt application object; bind once the object exists.
  if (!queue.FBindingChecked && EventLoopAvailable()) {
    queue.FBindingChecked = true;
    queue.AttachBinding(CreateEventLoopBinding(queue));
    queue.TimersChanged();
  }
  return ThreadQueue;
}

std::shared_ptr<TMessageQueue> TMessageQueue::ForCurrentThreadIfAny() {
  if (!ThreadQueue) return nullptr;
  return ForCurrentThread();
}

std::shared_ptr<TThreadMessageQueue> TThreadMessageQueue::Current() { return TMessageQueue::ForCurrentThread(); }

std::shared_ptr<TThreadMessageQueue> TThreadMessageQueue::CurrentIfAny() {
  return TMessageQueue::ForCurrentThreadIfAny();
}

void TMessageQueue::Wake() {
  const uint64_t one = 1;
  // Fails only when the counter is saturated, and then the descriptor is readable anyway.
  [[maybe_unused]] const ssize_t written = write(FWakeEvent, &one, sizeof one);
  // After the write: a clear that misses the mark leaves the descriptor readable, and the
  // pass that follows clears it.
  FWakeWritten.store(true);
}

void TMessageQueue::ClearWake() {
  // Most passes serve a socket's readiness and nothing wrote the wake-up.
  if (!FWakeWritten.exchange(false)) return;
  uint64_t count = 0;
  [[maybe_unused]] const ssize_t read_bytes = read(FWakeEvent, &count, sizeof count);
}

bool TMessageQueue::HasPending() const {
  if (FPosted.load() != 0) return true;
  if (FEarliestDueNs.load() <= SteadyNowNs()) return true;
  // A ready socket is a message not yet posted.
  return FReadySet->SocketReady();
}

void TMessageQueue::Post(TQueuedMessage Message) {
  {
    std::lock_guard<std::mutex> guard(FLock);
    FMessages.push_back(std::move(Message));
    FPosted.store(FMessages.size());
  }
  // A socket event the owner posts itself at the start of a pass is delivered in that pass.
  if (ThreadQueue.get() == this && FServingSockets) return;
  Wake();
}

int TMessageQueue::DeliverPending() {
  {
    TScopedFlag serving(FServingSockets);
    ServeReadySockets(*FReadySet);
  }
  return DeliverPosted();
}

int TMessageQueue::WaitAndDeliver(int LongestWaitMs) {
  int timeout = MillisecondsToNextTimer();
  if (timeout < 0 || timeout > LongestWaitMs) timeout = LongestWaitMs;
  epoll_event ready[TReadySet::MaxPerPass];
  const int count = FReadySet->WaitReady(ready, TReadySet::MaxPerPass, timeout);
  {
    TScopedFlag serving(FServingSockets);
    ServeTakenSockets(*FReadySet, ready, count);
  }
  return DeliverPosted();
}

int TMessageQueue::DeliverPosted() {
  ClearWake();
  size_t budget = FPosted.load();
  // Only what is pending now: a procedure that keeps posting to itself cannot hold the
  // caller here forever. Re-entrant calls may take some of the budget; order still holds
  // because every message is taken from the front just before it is delivered.
  int delivered = 0;
  while (budget-- > 0) {
    std::optional<TQueuedMessage> message;
    {
      std::lock_guard<std::mutex> guard(FLock);
      if (FMessages.empty()) break;
      message.emplace(std::move(FMessages.front()));
      FMessages.pop_front();
      FPosted.store(FMessages.size());
    }
    const auto target = message->Target.lock();
    if (target && target->Alive) {
      CallWindowProc(*target, message->Msg, message->WParam, message->LParam);
      ++delivered;
    } else {
      RunDiscard(message->Discard);
    }
  }
  delivered += DeliverDueTimers();
  // The wake-up of what is left was cleared above; keep the descriptor readable for it. A
  // post after this look wakes the queue itself.
  if (FPosted.load() != 0) Wake();
  TimersChanged();
  return delivered;
}

int TMessageQueue::DeliverDueTimers() {
  struct TDue {
    std::weak_ptr<TMessageWindow::TImpl> Target;
    HWND Window;
    uintptr_t Id;
  };
  // Most passes come for a message: no timer is due, and none is looked at.
  if (FEarliestDueNs.load() > SteadyNowNs()) return 0;
  std::vector<TDue> due;
  {
    std::lock_guard<std::mutex> guard(FLock);
    const int64_t now = SteadyNowNs();
    for (TTimer& timer : FTimers) {
      if (timer.DueNs > now) continue;
      due.push_back({timer.Target, timer.Window, timer.Id});
      // Like the system timer, a late tick is not made up by a burst of ticks.
      timer.DueNs += timer.PeriodNs;
      if (timer.DueNs <= now) timer.DueNs = now + timer.PeriodNs;
    }
    FEarliestDueNs.store(EarliestDueLocked());
  }
  const uint64_t removalsBefore = FTimerRemovals;
  int delivered = 0;
  for (const TDue& tick : due) {
    // An earlier tick's procedure may have killed this timer or destroyed its window.
    if (FTimerRemovals != removalsBefore && !TimerExists(tick.Window, tick.Id)) continue;
    const auto target = tick.Target.lock();
    if (!target || !target->Alive) continue;
    CallWindowProc(*target, WM_TIMER, tick.Id, 0);
    ++delivered;
  }
  return delivered;
}

bool TMessageQueue::TimerExists(HWND Window, uintptr_t Id) const {
  std::lock_guard<std::mutex> guard(FLock);
  return std::any_of(FTimers.begin(), FTimers.end(),
                     [&](const TTimer& t) { return t.Window == Window && t.Id == Id; });
}

int TMessageQueue::MillisecondsToNextTimer() const { return MillisecondsToNextTimerAt(SteadyNowNs()); }

int64_t TMessageQueue::EarliestDueLocked() const {
  int64_t next = NoTimerDue;
  for (const TTimer& timer : FTimers) next = std::min(next, timer.DueNs);
  return next;
}

void TMessageQueue::TimersEditedLocked(bool Removed) {
  FEarliestDueNs.store(EarliestDueLocked());
  if (Removed) ++FTimerRemovals;
}

int TMessageQueue::MillisecondsToNextTimerAt(int64_t NowNs) const {
  const int64_t next = FEarliestDueNs.load();
  if (next == NoTimerDue) return -1;
  if (next <= NowNs) return 0;
  // Rounded up, so that a wait of this length finds the timer due.
  return static_cast<int>((next - NowNs + NsPerMs - 1) / NsPerMs);
}

std::vector<TQueuedMessage> TMessageQueue::RemoveWindow(HWND Window) {
  std::vector<TQueuedMessage> removed;
  {
    std::lock_guard<std::mutex> guard(FLock);
    std::erase_if(FTimers, [Window](const TTimer& t) { return t.Window == Window; });
    TimersEditedLocked(true);
    auto kept = std::stable_partition(FMessages.begin(), FMessages.end(),
                                      [Window](const TQueuedMessage& m) { return m.Window != Window; });
    std::move(kept, FMessages.end(), std::back_inserter(removed));
    FMessages.erase(kept, FMessages.end());
    FPosted.store(FMessages.size());
  }
  TimersChanged();
  return removed;
}

void TMessageQueue::SetTimer(const std::shared_ptr<TMessageWindow::TImpl>& Window, uintptr_t Id,
                             unsigned Milliseconds) {
  const int64_t period = static_cast<int64_t>(std::max(Milliseconds, MinimumTimerMs)) * NsPerMs;
  {
    std::lock_guard<std::mutex> guard(FLock);
    const int64_t due = SteadyNowNs() + period;
    auto existing = std::find_if(FTimers.begin(), FTimers.end(),
                                 [&](const TTimer& t) { return t.Window == Window->Handle && t.Id == Id; });
    if (existing != FTimers.end()) {
      existing->PeriodNs = period;
      existing->DueNs = due;
    } else {
      FTimers.push_back({Window, Window->Handle, Id, period, due});
    }
    TimersEditedLocked(false);
  }
  TimersChanged();
}

void TMessageQueue::KillTimer(HWND Window, uintptr_t Id) {
  {
    std::lock_guard<std::mutex> guard(FLock);
    std::erase_if(FTimers, [&](const TTimer& t) { return t.Window == Window && t.Id == Id; });
    TimersEditedLocked(true);
  }
  TimersChanged();
}

void TMessageQueue::TimersChanged() {
  if (!FBinding) return;
  const int64_t next = FEarliestDueNs.load();
  // Most passes leave the earliest timer where it was: arranging its drain again would cost
  // the loop a timer's removal and registration for every message. Timers change only on
  // this thread, so the next timer is still the one just read.
  if (next == FArrangedDueNs) return;
  FArrangedDueNs = next;
  FBinding->ScheduleTimers(MillisecondsToNextTimer());
}

void TMessageQueue::AttachBinding(TEventLoopBinding* Binding) {
  FBinding = Binding;
  FArrangedDueNs.reset();
}

void TMessageQueue::DetachBinding() {
  FBinding = nullptr;
  FArrangedDueNs.reset();
}
