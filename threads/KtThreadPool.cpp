#include "threads/KtThreadPool.h"

#include <algorithm>
#include <iterator>
#include <thread>
#include <utility>

#include "base/Format.h"
#include "platform/Apc.h"
#include "threads/KtNotifierThread.h"
#include "threads/KtScopedCount.h"

namespace {
void RaiseCalleeError(uintptr_t) { throw EKtThreadCalleeError(); }

// The worker whose job the calling thread runs, while it runs it.
thread_local const TKtHostThread* JobWorker = nullptr;

// Calls Handler with the exception E holds; whatever the handler raises is swallowed.
void CallHandler(const TKtThreadExceptionEvent& Handler, TObject* Sender, const std::exception_ptr& E,
                 bool& Handled) {
  try {
    std::rethrow_exception(E);
  } catch (const std::exception& e) {
    try {
      Handler(Sender, e, Handled);
    } catch (...) {
    }
  } catch (...) {
  }
}
}  // namespace

TKtCustomThreadPool::TKtCustomThreadPool(TComponent* AOwner)
    : TComponent(AOwner), FThreads(std::vector<TKtHostThreadPtr>()) {
  if (AOwner) AOwner->FreeNotification(this);
}

// Only a pool deleted without Free still has workers here.
TKtCustomThreadPool::~TKtCustomThreadPool() { Clear(); }

void TKtCustomThreadPool::PrepareDestruction() {
  // A worker calls the pool's guest operations until its loop ends; once a destructor has
  // begun, those calls would meet a pool that is no longer whole.
  Clear();
  TComponent::PrepareDestruction();
}

void TKtCustomThreadPool::SetFanout(int Value) {
  if (Value < MinFanout || Value > MaxFanout) {
    throw Exception(Format("Fanout %d of %s is outside %d to %d", Value, Name().c_str(), MinFanout, MaxFanout));
  }
  FFanout.store(Value);
}

int TKtCustomThreadPool::ThreadCount() const {
  std::lock_guard<std::mutex> guard(FPoolLock);
  return FThreads ? static_cast<int>(FThreads->size()) : 0;
}

bool TKtCustomThreadPool::Acquire(TKtHostThread*& Thread, const std::string& Name) {
  Thread = nullptr;
  if (!CanExecute()) return false;
  std::vector<TKtHostThreadPtr> freed;  // stopped after the pool lock is let go
  std::lock_guard<std::mutex> guard(FPoolLock);
  if (!FThreads) return false;
  auto& threads = *FThreads;
  for (auto it = threads.begin(); it != threads.end();) {
    if ((*it)->State().Contains(TKtHostThreadMark::Dead)) {
      freed.push_back(std::move(*it));
      it = threads.erase(it);
    } else {
      ++it;
    }
  }
  for (auto it = threads.begin(); it != threads.end() && static_cast<int>(threads.size()) > Fanout();) {
    if ((*it)->TryReserve()) {
      (*it)->Release();
      freed.push_back(std::move(*it));
      it = threads.erase(it);
    } else {
      ++it;
    }
  }
  for (const auto& t : threads) {
    if (t->TryReserve()) {
      Thread = t.get();
      return true;
    }
  }
  if (static_cast<int>(threads.size()) >= Fanout()) return false;
  threads.emplace_back(new TKtHostThread(static_cast<IKtThreadGuest*>(this), Name));
  TKtHostThread* grown = threads.back().get();
  // The new worker holds its lock for a moment while its loop starts; reserved before
  // that, it would take the lock back as soon as it is let go, and refuse the next caller a
  // worker that is about to idle. Nobody else can reserve it while the pool lock is held,
  // so waiting until it runs and idles is short.
  while (!grown->State().Contains(TKtHostThreadMark::Running) || !grown->TryReserve()) {
    if (grown->State() * TKtHostThreadState{TKtHostThreadMark::Dead, TKtHostThreadMark::Finished} !=
        TKtHostThreadState{})
      return false;
    std::this_thread::yield();
  }
  Thread = grown;
  return true;
}

std::vector<TKtHostThreadPtr> TKtCustomThreadPool::TakeWorkers() {
  std::vector<TKtHostThreadPtr> taken;
  taken.swap(FSetAside);
  if (FThreads) {
    std::move(FThreads->begin(), FThreads->end(), std::back_inserter(taken));
    FThreads->clear();
  }
  // Stopping the worker whose job is asking would wait for that very job.
  const auto asking =
      std::find_if(taken.begin(), taken.end(), [](const TKtHostThreadPtr& Worker) { return Worker.get() == JobWorker; });
  if (asking != taken.end()) {
    FSetAside.push_back(std::move(*asking));
    taken.erase(asking);
  }
  return taken;
}

void TKtCustomThreadPool::Clear() {
  std::vector<TKtHostThreadPtr> stopped;  // stopped after the pool lock is let go
  std::lock_guard<std::mutex> guard(FPoolLock);
  stopped = TakeWorkers();
  FThreads.reset();
}

void TKtCustomThreadPool::Restart() {
  std::vector<TKtHostThreadPtr> stopped;  // stopped after the pool lock is let go
  std::lock_guard<std::mutex> guard(FPoolLock);
  stopped = TakeWorkers();
}

void TKtCustomThreadPool::ComponentRemoved(TComponent* AComponent) {
  TComponent::ComponentRemoved(AComponent);
  if (AComponent == Owner()) Clear();
}

void TKtCustomThreadPool::RouteException(const std::exception_ptr& E, const TKtThreadExceptionEvent& Handler) {
  bool handled = false;
  if (Handler) {
    CallHandler(Handler, nullptr, E, handled);
  } else if (FExceptionHandler) {
    CallHandler(FExceptionHandler, Owner(), E, handled);
  }
  if (!handled) PostException(E);
}

bool TKtCustomThreadPool::Prolog() {
  if (!OnProlog) return true;
  try {
    OnProlog(Owner());
  } catch (const std::exception&) {
    RouteException(std::current_exception(), {});
    return false;
  }
  return true;
}

void TKtCustomThreadPool::Epilog() {
  if (!OnEpilog) return;
  try {
    try {
      SleepEx(0, true);
    } catch (const EKtThreadTerminated&) {
    }
    OnEpilog(Owner());
  } catch (const std::exception&) {
    RouteException(std::current_exception(), {});
  }
}

void TKtCustomThreadPool::Execute(const std::shared_ptr<IKtParams>& Job) {
  const auto proxy = std::dynamic_pointer_cast<IKtExecuteProxy>(Job);
  if (!proxy || !proxy->ExecuteHandler()) return;
  const TKtScopedCount active(FActive);
  struct TJobWorkerScope {
    const TKtHostThread* Outer;
    explicit TJobWorkerScope(const TKtHostThread* Worker) : Outer(std::exchange(JobWorker, Worker)) {}
    ~TJobWorkerScope() { JobWorker = Outer; }
  } jobWorker(proxy->Target());
  try {
    try {
      proxy->ExecuteHandler()(proxy->Target(), Job);
      if (proxy->AfterExecuteHandler()) proxy->AfterExecuteHandler()(proxy->Caller());
    } catch (const EKtThreadTerminated&) {
      throw;
    } catch (const std::exception&) {
      // Someone may be waiting for the job's result: wake it with the failure.
      if (proxy->Target()->HasResultProxy() && proxy->Caller()) proxy->Caller()->QueueAPC(RaiseCalleeError, 0);
      throw;
    }
  } catch (const EKtThreadTerminated&) {
    throw;
  } catch (const std::exception&) {
    RouteException(std::current_exception(), proxy->ExceptionHandler());
  }
}
