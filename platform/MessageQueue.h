#pragma once

#include <atomic>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

#include "platform/MessageWindow.h"

// The inner side of the message windows, shared by MessageWindow.cpp, the queue itself, the
// Qt event-loop binding and the socket poller. Nothing outside platform/ and its tests
// includes this header.

class TReadySet;
struct epoll_event;

// What a window is made of; lives as long as the window or a delivery in progress to it.
struct TMessageWindow::TImpl {
  HWND Handle = 0;
  TWindowProc Proc;
  std::shared_ptr<class TMessageQueue> Queue;
  bool Alive = true;  // owner thread only
};

// Calls the window procedure; whatever it throws goes to the application object.
LRESULT CallWindowProc(TMessageWindow::TImpl& Window, uint32_t Msg, WPARAM WParam, LPARAM LParam);
// Runs a discard callback; whatever it throws goes to the application object.
void RunDiscard(const std::function<void()>& Discard);
// The ready set of the thread that owns Window; nullptr when the window does not exist.
std::shared_ptr<TReadySet> WindowReadySet(HWND Window);
// The socket poller's: on Set's thread, takes the sockets ready in it and posts their events.
void ServeReadySockets(TReadySet& Set);
// The same for Count members just taken from Set.
void ServeTakenSockets(TReadySet& Set, const epoll_event* Ready, int Count);

struct TQueuedMessage {
  HWND Window = 0;
  std::weak_ptr<TMessageWindow::TImpl> Target;
  uint32_t Msg = 0;
  WPARAM WParam = 0;
  LPARAM LParam = 0;
  std::function<void()> Discard;
};

// The event loop side of a queue whose thread runs a Qt event loop: it drains the queue
// when the wake descriptor becomes readable and when the next timer is due.
class TEventLoopBinding {
public:
  virtual ~TEventLoopBinding() = default;
  // Owner thread: arranges a drain after Milliseconds (-1: no timer pending).
  virtual void ScheduleTimers(int Milliseconds) = 0;
};

class TMessageQueue final : public TThreadMessageQueue {
public:
  TMessageQueue();
  ~TMessageQueue() override;
  TMessageQueue(const TMessageQueue&) = delete;
  TMessageQueue& operator=(const TMessageQueue&) = delete;

  // The calling thread's queue, created on first use and bound to its Qt event loop when
  // it has one.
  static std::shared_ptr<TMessageQueue> ForCurrentThread();
  static std::shared_ptr<TMessageQueue> ForCurrentThreadIfAny();

  // The ready set's: readable on a wake-up and while a socket of the thread's windows is ready.
  int WakeDescriptor() const override;
  void Wake() override;
  bool HasPending() const override;
  int DeliverPending() override;
  int MillisecondsToNextTimer() const override;
  // Owner thread, for a thread that serves nothing but this queue: waits in the ready set
  // itself until a member is ready, the next timer is due or LongestWaitMs have passed, and
  // delivers what is pending. What the wait took is served as taken: no second look.
  int WaitAndDeliver(int LongestWaitMs);

  // Any thread.
  void Post(TQueuedMessage Message);
  // Owner thread: removes the window's messages and timers; answers the removed messages.
  std::vector<TQueuedMessage> RemoveWindow(HWND Window);
  void SetTimer(const std::shared_ptr<TMessageWindow::TImpl>& Window, uintptr_t Id, unsigned Milliseconds);
  void KillTimer(HWND Window, uintptr_t Id);

  const std::shared_ptr<TReadySet>& ReadySet() const { return FReadySet; }
  bool HasEventLoop() const { return FBinding != nullptr; }
  // Owner thread; the binding detaches itself when Qt destroys it first.
  void AttachBinding(TEventLoopBinding* Binding);
  void DetachBinding();
  // Owner thread, from the binding: the drain it was asked to arrange has come, so the next
  // pass arranges one again even for the same timer.
  void ArrangedDrainCame() { FArrangedDueNs.reset(); }

private:
  struct TTimer {
    std::weak_ptr<TMessageWindow::TImpl> Target;
    HWND Window = 0;
    uintptr_t Id = 0;
    int64_t PeriodNs = 0;
    int64_t DueNs = 0;
  };

  void ClearWake();
  // DeliverPending's work once the ready sockets' events are posted.
  int DeliverPosted();
  bool DeliverOne();
  int DeliverDueTimers();
  bool TimerExists(HWND Window, uintptr_t Id) const;
  void TimersChanged();
  int MillisecondsToNextTimerAt(int64_t NowNs) const;
  int64_t EarliestDueLocked() const;
  // After FTimers changed: the earliest due time again, and a removal counted.
  void TimersEditedLocked(bool Removed);

  static constexpr int64_t NoTimerDue = INT64_MAX;

  const int FWakeEvent;
  std::atomic<bool> FWakeWritten{false};
  const std::shared_ptr<TReadySet> FReadySet;
  mutable std::mutex FLock;
  std::deque<TQueuedMessage> FMessages;
  // FMessages.size() and the earliest DueNs of FTimers (NoTimerDue without timers), changed
  // under FLock and read without it, so that a pass learns that nothing more is posted and
  // no timer is due without taking the lock.
  std::atomic<size_t> FPosted{0};
  std::atomic<int64_t> FEarliestDueNs{NoTimerDue};
  std::vector<TTimer> FTimers;
  // Owner thread only (timers are set and removed there): timers removed so far, so that a
  // tick's delivery looks for its timer only when a procedure may have removed it.
  uint64_t FTimerRemovals = 0;
  TEventLoopBinding* FBinding = nullptr;  // owner thread only; owned (see destructor)
  // Owner thread only: the due time of the timer the binding's drain is arranged for.
  std::optional<int64_t> FArrangedDueNs;
  // Owner thread only: the sockets' events are being posted, into the pass about to begin.
  bool FServingSockets = false;
  bool FBindingChecked = false;           // owner thread only
};

// Binds Queue to the calling thread's Qt event loop; nullptr when the thread has none.
// The binding belongs to Qt (a child of the application object) and to Queue, whichever
// goes first.
TEventLoopBinding* CreateEventLoopBinding(TMessageQueue& Queue);
// Whether a Qt application object exists yet (before it does, a binding is not tried).
bool EventLoopAvailable();
