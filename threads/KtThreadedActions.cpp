#include "threads/KtThreadedActions.h"

#include <algorithm>
#include <chrono>
#include <utility>
#include <thread>

#include "base/Format.h"
#include "platform/MessageWindow.h"
#include "threads/KtCompareText.h"
#include "threads/KtNotifyProxy.h"
#include "threads/KtScopedCount.h"
#include "threads/KtThreadedActionExceptions.h"
#include "threads/KtThreadedActionList.h"

namespace {
// Days between 1899-12-30, the epoch of a date-time value, and 1970-01-01.
constexpr double UnixEpochAsDateTime = 25569.0;

double NowAsDateTime() {
  const auto sinceEpoch = std::chrono::system_clock::now().time_since_epoch();
  return UnixEpochAsDateTime + std::chrono::duration<double, std::ratio<86400>>(sinceEpoch).count();
}

// The pool whose worker runs the calling thread's current job, while OnExecute runs.
thread_local const TKtThreadPool* JobPool = nullptr;

// Ends a worker's reservation on every path.
class TReservation {
public:
  explicit TReservation(TKtHostThread* Worker) : FWorker(Worker) {}
  ~TReservation() { FWorker->Release(); }
  TReservation(const TReservation&) = delete;
  TReservation& operator=(const TReservation&) = delete;

private:
  TKtHostThread* FWorker;
};

}  // namespace

TKtCustomThreadedAction::TKtCustomThreadedAction(TComponent* AOwner)
    : TKtCustomChild(AOwner), FNotifier(new TKtNotifierEx(nullptr)) {
  FNotifier->SetOnNotify([this](TObject* Sender, const std::shared_ptr<IKtNotifyParams>& Params) {
    DoNotify(Sender, Params);
  });
  FNotifier->SetQueueStrategy(qsWait);
  // Told when the owner goes, so that the jobs stop before the owner's other parts do.
  if (AOwner) AOwner->FreeNotification(this);
  SetEnabled(true);
}

TKtCustomThreadedAction::~TKtCustomThreadedAction() {
  FDestroying.store(true);
  SetParent(nullptr);
  Shutdown();
  WaitForJobs();
}

void TKtCustomThreadedAction::WaitForJobs() {
  // A job on a category pool may wait for the main thread to take its notifications.
  while (FJobsInFlight.load() > 0) {
    ProcessMessages();
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
}

void TKtCustomThreadedAction::Touch() { FLastTime.store(NowAsDateTime()); }

bool TKtCustomThreadedAction::BeforeExecute(TKtHostThread*) { return true; }

void TKtCustomThreadedAction::SetEnabled(bool Value) { FEnabled.store(Value); }

bool TKtCustomThreadedAction::UsesCategoryPool() const { return FCategoryThreadPool && FList.load() != nullptr; }

bool TKtCustomThreadedAction::CategoryThreadPool() const {
  std::lock_guard<std::recursive_mutex> guard(FLock);
  return UsesCategoryPool();
}

void TKtCustomThreadedAction::SetCategoryThreadPool(bool Value) {
  TPools freed;
  std::lock_guard<std::recursive_mutex> guard(FLock);
  if (Value == FCategoryThreadPool) return;
  FCategoryThreadPool = Value;
  if (UsesCategoryPool()) freed = TakeOwnPools();
}

TKtCustomThreadedAction::TPools TKtCustomThreadedAction::TakeOwnPools() {
  TPools taken;
  taken.swap(FRetiredPools);
  if (FOwnPool) taken.emplace_back(std::exchange(FOwnPool, nullptr));
  // Stopping the workers of the pool whose job is asking would wait for that very job:
  // that pool stays set aside, idle, until a later call from elsewhere or the destructor.
  auto running = std::find_if(taken.begin(), taken.end(),
                              [](const TComponentPtr<TKtThreadPool>& Pool) { return Pool.get() == JobPool; });
  if (running != taken.end()) {
    FRetiredPools.push_back(std::move(*running));
    taken.erase(running);
  }
  return taken;
}

int TKtCustomThreadedAction::Fanout() const {
  std::lock_guard<std::recursive_mutex> guard(FLock);
  if (!UsesCategoryPool() && FOwnPool) return FOwnPool->Fanout();
  return FFanout;
}

void TKtCustomThreadedAction::SetFanout(int Value) {
  if (Value < TKtThreadPool::MinFanout || Value > TKtThreadPool::MaxFanout) {
    throw Exception(Format("Fanout %d of %s is outside %d to %d", Value, Name().c_str(), TKtThreadPool::MinFanout,
                           TKtThreadPool::MaxFanout));
  }
  std::lock_guard<std::recursive_mutex> guard(FLock);
  FFanout = Value;
  if (!UsesCategoryPool()) PoolLocked()->SetFanout(Value);
}

std::string TKtCustomThreadedAction::Category() const {
  std::lock_guard<std::recursive_mutex> guard(FLock);
  return FCategory;
}

void TKtCustomThreadedAction::SetCategory(const std::string& Value) {
  if (SameText(Value, Category())) return;
  {
    std::lock_guard<std::recursive_mutex> guard(FLock);
    FCachedCategory = nullptr;
  }
  TKtCustomThreadedActionList* list = FList.load();
  if (list) {
    list->FindCategory(Value);
    list->ReleaseCategoryPool(this);
  }
  {
    std::lock_guard<std::recursive_mutex> guard(FLock);
    FCategory = Value;
  }
  if (list) list->Changed();
}

void TKtCustomThreadedAction::ForgetCategory(const TKtCategory* Category) {
  std::lock_guard<std::recursive_mutex> guard(FLock);
  if (FCachedCategory == Category) FCachedCategory = nullptr;
}

void TKtCustomThreadedAction::ResetCategory() {
  std::lock_guard<std::recursive_mutex> guard(FLock);
  FCachedCategory = nullptr;
  FCategory.clear();
}

TKtCategory* TKtCustomThreadedAction::CachedCategory() {
  if (!FCachedCategory) FCachedCategory = FList.load()->FindCategory(FCategory);
  return FCachedCategory;
}

TKtThreadPool* TKtCustomThreadedAction::PoolLocked() {
  if (UsesCategoryPool()) return CachedCategory()->ThreadPool();
  if (!FOwnPool) {
    TComponentPtr<TKtThreadPool> pool(new TKtThreadPool(this));
    pool->SetSubComponent(true);
    pool->SetName(Format("%sThreadPool", pool->Name().c_str()));
    pool->SetFanout(FFanout);
    pool->SetExceptionHandler(FOnException.Get());
    FOwnPool = pool.release();
  }
  return FOwnPool;
}

std::shared_lock<std::shared_mutex> TKtCustomThreadedAction::ListReadLock(TKtCustomThreadedActionList* List) {
  return List ? std::shared_lock<std::shared_mutex>(List->FSync) : std::shared_lock<std::shared_mutex>();
}

TKtThreadPool* TKtCustomThreadedAction::ThreadPool() {
  const auto listGuard = ListReadLock(FList.load());
  std::lock_guard<std::recursive_mutex> guard(FLock);
  return PoolLocked();
}

bool TKtCustomThreadedAction::CanRun() {
  if (FRunning.load() >= Fanout()) return false;
  return !UsesCategoryPool() || CachedCategory()->ThreadPool()->CanExecute();
}

std::string TKtCustomThreadedAction::ThreadName() const {
  if (UsesCategoryPool()) return FCategory.empty() ? "(Default)" : FCategory;
  return Name();
}

TKtHostThread* TKtCustomThreadedAction::Execute(TVarRecs Params) {
  TKtCustomThreadedActionList* list = FList.load();
  const auto listGuard = ListReadLock(list);
  if (list && !list->Active()) return nullptr;
  std::lock_guard<std::recursive_mutex> guard(FLock);
  if (!Enabled() || !CanRun() || !FOnExecute.Assigned()) return nullptr;
  TKtThreadPool* pool = PoolLocked();
  TKtHostThread* worker = nullptr;
  if (!pool->Acquire(worker, ThreadName())) return nullptr;
  TReservation reservation(worker);
  if (!BeforeExecute(worker)) return nullptr;
  Touch();
  // The handlers share one count of the job, held while they exist (the worker drops them
  // when the job ends, fails or is dropped by a dead worker); the destructor waits for it.
  auto inFlight = std::make_shared<TKtScopedCount>(FJobsInFlight);
  worker->Execute(
      Params, [this, inFlight](TObject*, const std::exception& E, bool& Handled) { DoException(E, Handled); },
      [this, inFlight, pool](TObject*, const std::shared_ptr<IKtParams>& Job) { DoExecute(*pool, Job); },
      [this, inFlight](TKtHostThread* Caller) { AfterExecute(Caller); });
  return worker;
}

void TKtCustomThreadedAction::DoExecute(const TKtThreadPool& Pool, const std::shared_ptr<IKtParams>& Params) {
  const TKtThreadExecuteEvent handler = OnExecute();
  struct TRunningGuard {
    TKtCustomThreadedAction& Action;
    const TKtThreadPool* OuterPool;
    TRunningGuard(TKtCustomThreadedAction& A, const TKtThreadPool& Pool)
        : Action(A), OuterPool(std::exchange(JobPool, &Pool)) {
      Action.Touch();
      ++Action.FRunning;
    }
    ~TRunningGuard() {
      Action.Touch();
      --Action.FRunning;
      JobPool = OuterPool;
    }
  } running(*this, Pool);
  if (handler) handler(this, Params);
}

void TKtCustomThreadedAction::AfterExecute(TKtHostThread* Caller) {
  TKtHostThread* worker = CurrentHostThread();
  if (OnAfterExecute()) {
    FNotifier->NotifyResult(this, ResultProxy(worker),
                            [this](TObject* Sender, const std::shared_ptr<IKtNotifyParams>& Params) {
                              DeliverAfterExecute(Sender, Params);
                            });
  }
  if (worker->HasResultProxy()) ResultProxy(worker)->Signal(Caller);
}

void TKtCustomThreadedAction::DeliverAfterExecute(TObject* Sender, const std::shared_ptr<IKtNotifyParams>& Params) {
  if (FDestroying.load()) return;
  if (const TKtThreadNotifyEvent handler = OnAfterExecute()) handler(Sender, Params);
}

void TKtCustomThreadedAction::DoException(const std::exception& E, bool& Handled) {
  if (const TKtThreadExceptionEvent handler = OnException()) handler(this, E, Handled);
  if (Handled) return;
  if (TKtCustomThreadedActionList* list = FList.load()) Handled = list->DoException(this, E);
}

void TKtCustomThreadedAction::DoNotify(TObject* Sender, const std::shared_ptr<IKtNotifyParams>& Params) {
  if (const TKtThreadNotifyEvent handler = OnNotify()) handler(Sender, Params);
}

void TKtCustomThreadedAction::Notify(const std::string& Text, TVarRecs Values) { FNotifier->Notify(this, Text, Values); }

TKtCustomThreadedAction::TPools TKtCustomThreadedAction::DetachForShutdown() {
  SetEnabled(false);
  FOnNotify.Clear();
  std::lock_guard<std::recursive_mutex> guard(FLock);
  return TakeOwnPools();
}

void TKtCustomThreadedAction::Shutdown() { DetachForShutdown(); }

void TKtCustomThreadedAction::ComponentRemoved(TComponent* AComponent) {
  TKtCustomChild::ComponentRemoved(AComponent);
  if (AComponent == nullptr) return;
  {
    std::lock_guard<std::recursive_mutex> guard(FLock);
    if (AComponent == FOwnPool) {
      FOwnPool = nullptr;
      return;
    }
  }
  if (AComponent != Owner()) return;
  TPools freed;
  if (TKtCustomThreadedActionList* list = FList.load()) {
    std::unique_lock<std::shared_mutex> write(list->FSync);
    freed = DetachForShutdown();
  } else {
    freed = DetachForShutdown();
  }
}

TKtThreadExecuteEvent TKtCustomThreadedAction::OnExecute() const { return FOnExecute.Get(); }

void TKtCustomThreadedAction::SetOnExecute(TKtThreadExecuteEvent Value) { FOnExecute.Set(std::move(Value)); }

TKtThreadNotifyEvent TKtCustomThreadedAction::OnAfterExecute() const { return FOnAfterExecute.Get(); }

void TKtCustomThreadedAction::SetOnAfterExecute(TKtThreadNotifyEvent Value) { FOnAfterExecute.Set(std::move(Value)); }

TKtThreadNotifyEvent TKtCustomThreadedAction::OnNotify() const { return FOnNotify.Get(); }

void TKtCustomThreadedAction::SetOnNotify(TKtThreadNotifyEvent Value) { FOnNotify.Set(std::move(Value)); }

TKtThreadExceptionEvent TKtCustomThreadedAction::OnException() const { return FOnException.Get(); }

void TKtCustomThreadedAction::SetOnException(TKtThreadExceptionEvent Value) {
  std::lock_guard<std::recursive_mutex> guard(FLock);
  if (FOwnPool) FOwnPool->SetExceptionHandler(Value);
  FOnException.Set(std::move(Value));
}
