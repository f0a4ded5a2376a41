#pragma once

#include <atomic>
#include <condition_variable>
#include <exception>
#include <memory>
#include <mutex>
#include <thread>

#include "platform/Apc.h"
#include "platform/MessageWindow.h"
#include "threads/KtNotifyProxy.h"
#include "threads/KtQueue.h"

// One queued notification; an exception item carries Exception and no proxy.
struct TNotificationItem {
  TObject* Sender = nullptr;
  std::shared_ptr<IKtNotifyProxy> Proxy;
  bool Disposable = false;
  std::exception_ptr Exception;
};

// One producer thread's notifications to one notifier. Pushes and pops happen under the
// notifier thread's lock (NotifierLock).
class TNotificationItemQueue : public TKtQueue<TNotificationItem> {
public:
  static constexpr int CapacityStep = 10;
  // Registers with the notifier thread, which serves the registered queues in turn.
  // Producer: the producing thread's record, kept so that a notifier's key for the queue
  // stays unique while the queue lives (none for the exception queue).
  explicit TNotificationItemQueue(THandle Producer = {});
  // Unregisters and drops what is queued or posted but not yet delivered.
  ~TNotificationItemQueue() override;

  // Counted in from Notify until the main thread has handled the notification.
  const TKtInFlightCounter& InFlight() const { return FInFlight; }

private:
  THandle FProducer;
  TKtInFlightCounter FInFlight = std::make_shared<std::atomic<int>>(0);
};

constexpr uint32_t KtNotificationMessage = 0x1400;

// Moves queued notifications to the main thread: a polling thread takes one item per
// queue in turn every 10 ms and posts it to a hidden window of the thread that created
// the notifier thread, whose procedure calls the notification's callback.
class TNotifierThread {
public:
  static constexpr int PollIntervalMs = 10;

  TNotifierThread();
  ~TNotifierThread();
  TNotifierThread(const TNotifierThread&) = delete;
  TNotifierThread& operator=(const TNotifierThread&) = delete;

  int LoopCount() const { return FLoopCount.load(); }
  // Under NotifierLock: the queue of exceptions to raise on the main thread.
  TNotificationItemQueue& ExceptionQueue() { return *FExceptionQueue; }
  // Holds the poll between passes (tests line notifications up for one pass); pausing
  // waits for a pass in progress to end.
  void SetPollingPaused(bool Paused);

private:
  void Poll();
  LRESULT Deliver(uint32_t Msg, WPARAM WParam, LPARAM LParam);

  std::unique_ptr<TMessageWindow> FWindow;
  std::unique_ptr<TNotificationItemQueue> FExceptionQueue;
  std::atomic<int> FLoopCount{0};
  std::mutex FWakeLock;
  std::condition_variable FWake;
  bool FTerminate = false;  // under FWakeLock
  bool FPaused = false;     // under FWakeLock
  std::thread FPoller;
};

// The lock around every registered queue's pushes and pops.
std::mutex& NotifierLock();
// Starts and ends the process's notifier thread (on the main thread); idempotent.
void StartNotifierThread();
void StopNotifierThread();
// The notifier thread, or nullptr when it is not running; the pointer must not be kept.
TNotifierThread* NotifierThread();
// Queues E to be raised on the main thread, where the application object reports it.
void PostException(std::exception_ptr E);
