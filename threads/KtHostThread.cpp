#include "threads/KtHostThread.h"

#include <algorithm>
#include <chrono>
#include <vector>

#include "platform/MessageWindow.h"
#include "platform/SystemError.h"
#include "platform/ThreadInfo.h"
#include "threads/KtDebugLog.h"
#include "threads/KtElapsed.h"
#include "threads/KtThreadCounters.h"

namespace {
using TMark = TKtHostThreadMark;

// Adopted host threads outlive an end of the unit only as stale pointers; the epoch tells
// a thread that its reference belongs to an earlier run of the unit.
std::atomic<uint64_t> AdoptionEpoch{1};
// A worker's own host thread lives as long as its loop, whatever the unit does meanwhile.
constexpr uint64_t WorkerEpoch = 0;

struct TCurrentHost {
  TKtHostThread* Host = nullptr;
  uint64_t Epoch = 0;
  bool Valid() const { return Host && (Epoch == WorkerEpoch || Epoch == AdoptionEpoch.load()); }
};
thread_local TCurrentHost CurrentHost;

// The register of adopted threads.
struct THostThreadList {
  static constexpr size_t PurgeThreshold = 3;
  std::mutex Lock;
  std::vector<TKtHostThreadPtr> Threads;
};

// Never destroyed: the unit may end from a static's destructor (a program's framework
// object), after a register made on a later first use would be gone.
THostThreadList& AdoptedThreads() {
  static THostThreadList& list = *new THostThreadList;
  return list;
}

void RaiseTerminated(uintptr_t) { throw EKtThreadTerminated(); }

class TKtSignalAPC : public IKtAPCHandler {
public:
  bool HandleAPC() override { return false; }
};

const std::shared_ptr<IKtAPCHandler>& SignalHandler() {
  static const std::shared_ptr<IKtAPCHandler> handler = std::make_shared<TKtSignalAPC>();
  return handler;
}

void SignalAPCProc(uintptr_t) {
  TKtHostThread* host = CurrentHostThread();
  if (host->HasPendingAPCHandler()) throw EKtThreadUnhandledAPC();
  host->SetPendingAPCHandler(SignalHandler());
}
}  // namespace

TKtExecuteProxy::TKtExecuteProxy(TVarRecs Params, TKtHostThread* Target, TKtHostThread* Caller,
                                 TKtThreadExceptionEvent ExceptionHandler, TKtThreadExecuteEvent ExecuteHandler,
                                 TKtAfterExecuteEvent AfterExecuteHandler)
    : TKtParams(Params, false),
      FTarget(Target),
      FCaller(Caller),
      FException(std::move(ExceptionHandler)),
      FExecute(std::move(ExecuteHandler)),
      FAfterExecute(std::move(AfterExecuteHandler)) {}

TKtHostThread::TKtHostThread(IKtThreadGuest* Guest, std::string Name)
    : FGuest(Guest), FHandle(std::make_shared<TThreadRecord>()), FLock(CreateThreadLock()), FName(std::move(Name)) {
  ++KtThreadCounters().HostThreads;
  try {
    FThread = std::thread(&TKtHostThread::Run, this);
  } catch (const std::system_error& e) {
    --KtThreadCounters().HostThreads;
    throw EKtThread(std::string("Thread creation error: ") + e.what());
  }
}

TKtHostThread::TKtHostThread() : FHandle(GetCurrentThreadHandle()), FLock(CreateThreadLock()) {
  ++KtThreadCounters().HostThreads;
  CurrentHost = {this, AdoptionEpoch.load()};
}

TKtHostThread::~TKtHostThread() {
  if (FThread.joinable()) FThread.join();
  --KtThreadCounters().HostThreads;
}

void TKtHostThread::Free(TKtHostThread* Thread) {
  if (!Thread) return;
  if (Thread->IsWorker() && !Thread->Has(TMark::Finished)) Thread->StopWorker();
  delete Thread;
}

void TKtHostThread::StopWorker() {
  const bool graceful = KtThreadCounters().CanWait.load() && Has(TMark::Running);
  FTerminateRequested.store(true);
  QueueAPC(RaiseTerminated, 0);
  // A thread cannot be killed here. Left running detached, it would still call into its
  // guest, which its owner frees next; so the "incineration" waits for it like the
  // graceful stop, and only marks it dead first.
  if (!graceful) {
    KtDebugWrite("<TKtThread.Incinerate>");
    Include(TMark::Dead);
  }
  while (!Has(TMark::Finished)) std::this_thread::yield();
  if (!graceful) KtDebugWrite("</TKtThread.Incinerate>");
}

bool TKtHostThread::HasResultProxy() const {
  std::lock_guard<std::recursive_mutex> guard(ProxyLock());
  return FResultProxy != nullptr;
}

void TKtHostThread::Include(TMark Mark) { FState.fetch_or(TKtHostThreadState{Mark}.Bits()); }

void TKtHostThread::Exclude(TMark Mark) { FState.fetch_and(~TKtHostThreadState{Mark}.Bits()); }

void TKtHostThread::TakeLock() {
  if (FLockHeld) return;
  FLock->Lock();
  FLockHeld = true;
}

void TKtHostThread::ReleaseLock() {
  if (!FLockHeld) return;
  FLockHeld = false;
  FLock->Unlock();
}

bool TKtHostThread::TryReserve() {
  if (!FLock->TryLock()) return false;
  if (State() * TKtHostThreadState{TMark::Pending, TMark::Dead, TMark::Finished} != TKtHostThreadState{}) {
    FLock->Unlock();
    return false;
  }
  return true;
}

void TKtHostThread::Execute(TVarRecs Params, TKtThreadExceptionEvent ExceptionHandler,
                            TKtThreadExecuteEvent ExecuteHandler, TKtAfterExecuteEvent AfterExecuteHandler) {
  // An adopted thread has no loop that could ever take the job.
  if (!IsWorker() || !TryReserve()) throw EKtThreadBusy();
  try {
    FJob = std::make_shared<TKtExecuteProxy>(Params, this, CurrentHostThread(), std::move(ExceptionHandler),
                                             std::move(ExecuteHandler), std::move(AfterExecuteHandler));
    while (!Has(TMark::Running)) std::this_thread::yield();
    Include(TMark::Pending);
  } catch (...) {
    FLock->Unlock();
    throw;
  }
  FLock->Unlock();
}

void TKtHostThread::Run() {
  TThreadRecord::BindToCurrentThread(FHandle);
  KtDebugWrite("HostThread Execute Poll initiated");
  if (!FName.empty()) SetCurrentThreadName(FName);
  try {
    RunLoop();
  } catch (const EKtThreadTerminated&) {
    KtDebugWrite("Thread terminated by EKtThreadTerminated");
  } catch (const std::exception& e) {
    KtDebugWritef("HostThread loop left by an exception: %s", e.what());
  } catch (...) {
    KtDebugWrite("HostThread loop left by an unknown exception");
  }
  // The last touch of the host thread: once Finished is seen it may be freed.
  Include(TMark::Finished);
}

void TKtHostThread::RunLoop() {
  try {
    // Running is shown only once the start-up hold of the lock is taken: a caller that
    // waits for Running and then reserves the worker can no longer be overtaken by it.
    TakeLock();
    Include(TMark::Running);
    CurrentHost = {this, WorkerEpoch};
    while (!Terminated()) {
      ReleaseLock();
      while (!Terminated() && !Has(TMark::Pending)) SleepEx(10, true);
      TakeLock();
      if (Terminated()) Exclude(TMark::Pending);
      if (!Has(TMark::Pending)) continue;
      if (!FPrologDone) {
        FPrologDone = FGuest->Prolog();
        if (!FPrologDone) FState.store(TKtHostThreadState{TMark::Dead}.Bits());
      }
      std::shared_ptr<IKtParams> job = std::move(FJob);
      if (Has(TMark::Pending)) {
        ++FJobCount;
        Include(TMark::Executing);
        Exclude(TMark::Pending);
        try {
          FGuest->Execute(job);
        } catch (...) {
          Exclude(TMark::Executing);
          throw;
        }
        job.reset();
        {
          std::lock_guard<std::recursive_mutex> guard(ProxyLock());
          FResultProxy.reset();
        }
        Exclude(TMark::Executing);
      }
    }
  } catch (...) {
    EndLoop();
    throw;
  }
  EndLoop();
}

void TKtHostThread::EndLoop() {
  if (!Terminated()) Include(TMark::Dead);
  FJob.reset();
  {
    std::lock_guard<std::recursive_mutex> guard(ProxyLock());
    FResultProxy.reset();
  }
  if (FPrologDone) {
    try {
      FGuest->Epilog();
    } catch (...) {
      // The pool reports its own epilog failures; nothing may stop the loop's end.
    }
  }
  ReleaseLock();
  CurrentHost = {};
  KtDebugWrite("HostThread Execute Poll terminated");
}

TKtHostThread* CurrentHostThread() {
  if (CurrentHost.Valid()) return CurrentHost.Host;
  THostThreadList& list = AdoptedThreads();
  std::lock_guard<std::mutex> guard(list.Lock);
  if (list.Threads.size() >= THostThreadList::PurgeThreshold) {
    std::erase_if(list.Threads, [](const TKtHostThreadPtr& t) { return t->Handle()->Ended(); });
  }
  list.Threads.emplace_back(new TKtHostThread());
  return list.Threads.back().get();
}

void ClearAdoptedThreads() {
  THostThreadList& list = AdoptedThreads();
  std::vector<TKtHostThreadPtr> freed;
  {
    std::lock_guard<std::mutex> guard(list.Lock);
    freed.swap(list.Threads);
    ++AdoptionEpoch;
  }
}

int AdoptedThreadCount() {
  THostThreadList& list = AdoptedThreads();
  std::lock_guard<std::mutex> guard(list.Lock);
  return static_cast<int>(list.Threads.size());
}

std::recursive_mutex& ProxyLock() {
  static std::recursive_mutex lock;
  return lock;
}

bool QueueSignalAPC(TKtHostThread* Thread) { return Thread && Thread->QueueAPC(SignalAPCProc, 0); }

void WaitFor(uint32_t Timeout) {
  TKtHostThread* host = CurrentHostThread();
  const int64_t deadline = KtElapsedMilliseconds() + Timeout;
  for (;;) {
    const int64_t remaining = deadline - KtElapsedMilliseconds();
    if (remaining <= 0) return;
    const uint32_t result = MsgWaitForInputEx(static_cast<uint32_t>(remaining), true);
    switch (result) {
      case WAIT_OBJECT_0:
        ProcessMessages();
        break;
      case WAIT_IO_COMPLETION: {
        const auto handler = host->TakePendingAPCHandler();
        if (!handler) throw EKtThread("Unexpected APC");
        if (!handler->HandleAPC()) return;
        break;
      }
      case WAIT_TIMEOUT:
        return;
      case WAIT_FAILED:
        throw EKtThread(SysErrorMessage(GetLastSystemError()));
      default:
        throw EKtThread("Unexpected WaitResult");
    }
  }
}
