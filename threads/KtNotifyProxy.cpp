#include "threads/KtNotifyProxy.h"

#include "threads/KtHostThread.h"
#include "threads/KtNotifierThread.h"

TKtNotifyProxy::TKtNotifyProxy(std::string Text, TVarRecs Values, bool Log)
    : TKtNotifyParams(std::move(Text), Values, false) {
  if (Log) LogCreation();
}

void TKtNotifyProxy::SetQueue(TNotificationItemQueue* Queue) {
  FQueue = Queue;
  FInFlight = Queue ? Queue->InFlight() : nullptr;
}

TKtResultProxy::TKtResultProxy() : TKtNotifyProxy({}, {}, false) { LogCreation(); }

void TKtResultProxy::WaitFor(uint32_t Timeout) {
  {
    std::lock_guard<std::recursive_mutex> guard(ProxyLock());
    if (FSignalled) return;
    ++FWaiters;
  }
  struct TWaiterGuard {
    std::atomic<int>& Waiters;
    ~TWaiterGuard() { --Waiters; }
  } waiter{FWaiters};
  ::WaitFor(Timeout);
}

void TKtResultProxy::Signal(TKtHostThread* Thread) {
  std::lock_guard<std::recursive_mutex> guard(ProxyLock());
  FSignalled = true;
  if (FWaiters.load() > 0) QueueSignalAPC(Thread);
}

bool TKtResultProxy::Signalled() const {
  std::lock_guard<std::recursive_mutex> guard(ProxyLock());
  return FSignalled;
}

std::shared_ptr<IKtResultParams> ResultProxy(TKtHostThread* Thread) {
  if (!Thread) return nullptr;
  std::lock_guard<std::recursive_mutex> guard(ProxyLock());
  if (!Thread->FResultProxy) Thread->FResultProxy = std::make_shared<TKtResultProxy>();
  return Thread->FResultProxy;
}
