#include "threads/KtNotifier.h"

#include <thread>

#include "base/Format.h"
#include "platform/Apc.h"
#include "threads/KtDebugLog.h"
#include "threads/KtHostThread.h"
#include "threads/KtNotifierThread.h"
#include "threads/KtScopedCount.h"

TKtCustomNotifier::TKtCustomNotifier(TComponent* AOwner) : TComponent(AOwner) {}

TKtCustomNotifier::~TKtCustomNotifier() {
  FDestroying.store(true);
  // A producer already inside Notify sees the flag and leaves (from a qsWait back-off
  // within a millisecond); it still reads this object and its queue until then.
  while (FProducers.load() > 0) std::this_thread::yield();
  std::lock_guard<std::mutex> guard(FTableLock);
  FQueues.FreeAll();
}

void TKtCustomNotifier::SetQueueDepth(int Value) {
  if (Value < MinQueueDepth || Value > MaxQueueDepth) {
    throw Exception(Format("QueueDepth %d of %s is outside %d to %d", Value, Name().c_str(), MinQueueDepth,
                           MaxQueueDepth));
  }
  FQueueDepth.store(Value);
}

void TKtCustomNotifier::SetQueueStrategy(TKtNotifyQueueStrategy Value) {
  FQueueStrategy.store(Value == qsDefault ? qsDispose : Value);
}

namespace {
// Keyed by the producer's thread record, which the queue keeps alive: a host thread of an
// ended producer may be freed and its address given to the host thread of a new one,
// whose notifications must not join the old queue.
const void* QueueKey(TKtHostThread* Thread) { return Thread->Handle().get(); }
}  // namespace

TNotificationItemQueue* TKtCustomNotifier::QueueForLocked(TKtHostThread* Thread) {
  if (auto* queue = static_cast<TNotificationItemQueue*>(FQueues.Find(QueueKey(Thread)))) return queue;
  auto created = std::make_unique<TNotificationItemQueue>(Thread->Handle());
  TNotificationItemQueue* queue = created.get();
  FQueues.Put(QueueKey(Thread), std::move(created));
  return queue;
}

TNotificationItemQueue* TKtCustomNotifier::QueueFor(TKtHostThread* Thread) {
  std::lock_guard<std::mutex> guard(FTableLock);
  return QueueForLocked(Thread);
}

int TKtCustomNotifier::InFlight(TKtHostThread* Thread) {
  std::lock_guard<std::mutex> guard(FTableLock);
  auto* queue = static_cast<TNotificationItemQueue*>(FQueues.Find(QueueKey(Thread)));
  return queue ? queue->InFlight()->load() : 0;
}

void TKtCustomNotifier::Notify(TObject* Sender, const std::string& Text, TVarRecs Values,
                               TKtNotifyQueueStrategy Strategy) {
  if (!Sender) KtDebugWrite("Sender is nil");
  const TKtScopedCount inside(FProducers);
  if (FDestroying.load()) return;
  if (Strategy == qsDefault) Strategy = QueueStrategy();
  TKtHostThread* producer = CurrentHostThread();
  TKtInFlightCounter inFlight;
  {
    std::lock_guard<std::mutex> guard(FTableLock);
    if (FDestroying.load()) return;
    inFlight = QueueForLocked(producer)->InFlight();
  }
  bool room = inFlight->load() < QueueDepth();
  if (!room && Strategy == qsWait) {
    while (inFlight->load() >= QueueDepth()) {
      if (FDestroying.load()) return;
      SleepEx(1, true);
    }
    room = true;
  }
  // Built before the locks are taken; the values are copied out of the caller's list.
  auto proxy = std::make_shared<TKtNotifyProxy>(Text, Values);
  proxy->SetCallback([this](TObject* S, const std::shared_ptr<IKtNotifyParams>& P) { DoNotify(S, P); });
  std::shared_ptr<IKtNotifyProxy> replaced;  // released after the locks
  std::lock_guard<std::mutex> table(FTableLock);
  if (FDestroying.load()) return;
  TNotificationItemQueue* queue = QueueForLocked(producer);
  proxy->SetQueue(queue);
  std::lock_guard<std::mutex> guard(NotifierLock());
  if (room) {
    ++*inFlight;
  } else if (!queue->IsEmpty() && queue->Peek().Disposable) {
    replaced = queue->Pop().Proxy;
    ++FDropped;
  } else {
    ++*inFlight;
  }
  TNotificationItem item;
  item.Sender = Sender;
  item.Proxy = std::move(proxy);
  item.Disposable = Strategy == qsDispose;
  queue->Enqueue(item);
}

void TKtCustomNotifier::NotifyValues(TVarRecs Values, TKtNotifyQueueStrategy Strategy) {
  Notify(this, std::string(), Values, Strategy);
}

void TKtCustomNotifier::NotifyResult(TObject* Sender, const std::shared_ptr<IKtResultParams>& Proxy,
                                     TKtThreadNotifyEvent Handler) {
  const TKtScopedCount inside(FProducers);
  if (FDestroying.load() || !Proxy) return;
  auto notifyProxy = std::dynamic_pointer_cast<IKtNotifyProxy>(Proxy);
  if (!notifyProxy) return;
  TKtHostThread* producer = CurrentHostThread();
  std::lock_guard<std::mutex> table(FTableLock);
  if (FDestroying.load()) return;
  TNotificationItemQueue* queue = QueueForLocked(producer);
  std::lock_guard<std::mutex> guard(NotifierLock());
  notifyProxy->SetQueue(queue);
  notifyProxy->SetCallback(std::move(Handler));
  ++*queue->InFlight();
  TNotificationItem item;
  item.Sender = Sender;
  item.Proxy = std::move(notifyProxy);
  queue->Enqueue(item);
}

void TKtCustomNotifier::DoNotify(TObject* Sender, const std::shared_ptr<IKtNotifyParams>& Params) {
  if (FOnNotify) FOnNotify(Sender, Params);
}
