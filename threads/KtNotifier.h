#pragma once

#include <atomic>
#include <mutex>
#include <string>

#include "base/Component.h"
#include "threads/KtIndexedObjectList.h"
#include "threads/KtNotifyProxy.h"

class TNotificationItemQueue;

enum class TKtNotifyQueueStrategy { qsDispose = 0, qsWait = 1, qsDefault = 2 };
using enum TKtNotifyQueueStrategy;

// Carries notifications from any thread to the main thread, where OnNotify receives them
// in posting order. Create, configure and destroy it on the main thread.
class TKtCustomNotifier : public TComponent {
public:
  static constexpr int MinQueueDepth = 1;
  static constexpr int MaxQueueDepth = 500;

  explicit TKtCustomNotifier(TComponent* AOwner);
  ~TKtCustomNotifier() override;

  // The producer thread's queue, created on first use.
  TNotificationItemQueue* QueueFor(TKtHostThread* Thread);
  // On the producer's thread; returns at once except under qsWait with a full queue.
  void Notify(TObject* Sender, const std::string& Text, TVarRecs Values,
              TKtNotifyQueueStrategy Strategy = qsDefault);
  void NotifyValues(TVarRecs Values, TKtNotifyQueueStrategy Strategy = qsDefault);
  // Sends a job's result to Handler on the main thread, never waiting and never dropped.
  void NotifyResult(TObject* Sender, const std::shared_ptr<IKtResultParams>& Proxy, TKtThreadNotifyEvent Handler);
  void DoNotify(TObject* Sender, const std::shared_ptr<IKtNotifyParams>& Params);

  int QueueDepth() const { return FQueueDepth.load(); }
  // Raises an Exception naming the value when it is outside 1 to 500.
  void SetQueueDepth(int Value);
  TKtNotifyQueueStrategy QueueStrategy() const { return FQueueStrategy.load(); }
  // qsDefault is stored as qsDispose.
  void SetQueueStrategy(TKtNotifyQueueStrategy Value);
  int Dropped() const { return FDropped.load(); }
  // The in-flight count of Thread's queue (0 when it has none).
  int InFlight(TKtHostThread* Thread);
  std::string ClassName() const override { return "TKtCustomNotifier"; }

protected:
  TKtThreadNotifyEvent FOnNotify;

private:
  TNotificationItemQueue* QueueForLocked(TKtHostThread* Thread);

  std::atomic<bool> FDestroying{false};
  std::atomic<int> FProducers{0};  // threads inside Notify or NotifyResult
  std::mutex FTableLock;  // the queue table, and the queues' lifetime
  TKtIndexedObjectList FQueues;
  std::atomic<int> FQueueDepth{10};
  std::atomic<TKtNotifyQueueStrategy> FQueueStrategy{qsDispose};
  std::atomic<int> FDropped{0};
};

class TKtNotifier : public TKtCustomNotifier {
public:
  using TKtCustomNotifier::TKtCustomNotifier;
  const TKtThreadNotifyEvent& OnNotify() const { return FOnNotify; }
  // Set on the main thread, before notifications arrive.
  void SetOnNotify(TKtThreadNotifyEvent Value) { FOnNotify = std::move(Value); }
  std::string ClassName() const override { return "TKtNotifier"; }
};
