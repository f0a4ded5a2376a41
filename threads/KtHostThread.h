#pragma once

#include <atomic>
#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "base/Object.h"
#include "base/Set.h"
#include "platform/Apc.h"
#include "threads/KtParams.h"
#include "threads/KtThreadExceptions.h"
#include "threads/KtThreadLock.h"

class TKtHostThread;
class IKtResultParams;

enum class TKtHostThreadMark { Pending, Executing, Dead, Finished, Running };
using TKtHostThreadState = TSet<TKtHostThreadMark>;

// Job handlers. A job's exception handler is called with Sender nullptr (it is a closure
// that knows its own object); the pool's handler with the pool's owner.
using TKtThreadExecuteEvent = std::function<void(TObject* Sender, const std::shared_ptr<IKtParams>& Params)>;
using TKtThreadExceptionEvent = std::function<void(TObject* Sender, const std::exception& E, bool& Handled)>;
using TKtAfterExecuteEvent = std::function<void(TKtHostThread* Caller)>;
using TKtThreadEvent = std::function<void(TObject* Sender)>;

// What a worker calls on its owner (the pool).
class IKtThreadGuest {
public:
  virtual ~IKtThreadGuest() = default;
  // Once per thread before its first job; false marks the thread Dead.
  virtual bool Prolog() = 0;
  // Once when the loop ends, only after a successful prolog.
  virtual void Epilog() = 0;
  virtual void Execute(const std::shared_ptr<IKtParams>& Job) = 0;
};

// Told by an alertable wait that an APC woke it: true keeps waiting.
class IKtAPCHandler {
public:
  virtual ~IKtAPCHandler() = default;
  virtual bool HandleAPC() = 0;
};

// One job: its parameters, the target and the caller, and the three handlers.
class IKtExecuteProxy : public virtual IKtParams {
public:
  virtual TKtHostThread* Target() const = 0;
  virtual TKtHostThread* Caller() const = 0;
  virtual const TKtAfterExecuteEvent& AfterExecuteHandler() const = 0;
  virtual const TKtThreadExecuteEvent& ExecuteHandler() const = 0;
  virtual const TKtThreadExceptionEvent& ExceptionHandler() const = 0;
};

class TKtExecuteProxy : public TKtParams, public virtual IKtExecuteProxy {
public:
  TKtExecuteProxy(TVarRecs Params, TKtHostThread* Target, TKtHostThread* Caller,
                  TKtThreadExceptionEvent ExceptionHandler, TKtThreadExecuteEvent ExecuteHandler,
                  TKtAfterExecuteEvent AfterExecuteHandler);
  TKtHostThread* Target() const override { return FTarget; }
  TKtHostThread* Caller() const override { return FCaller; }
  const TKtAfterExecuteEvent& AfterExecuteHandler() const override { return FAfterExecute; }
  const TKtThreadExecuteEvent& ExecuteHandler() const override { return FExecute; }
  const TKtThreadExceptionEvent& ExceptionHandler() const override { return FException; }
  std::string ClassName() const override { return "TKtExecuteProxy"; }

private:
  TKtHostThread* FTarget;
  TKtHostThread* FCaller;
  TKtThreadExceptionEvent FException;
  TKtThreadExecuteEvent FExecute;
  TKtAfterExecuteEvent FAfterExecute;
};

// The framework's handle on one thread: a worker it started itself, which polls for jobs,
// or an adopted thread, registered so that others can queue APCs to it.
class TKtHostThread : public TObject {
public:
  // A worker for Guest, started at once; Name is given to debuggers.
  TKtHostThread(IKtThreadGuest* Guest, std::string Name);
  // Adopts the calling thread and becomes its CurrentHostThread.
  TKtHostThread();

  // Stops a worker (asks it to terminate, queues the stop APC and waits for its loop) and
  // frees the host thread. Owners free host threads only through this.
  static void Free(TKtHostThread* Thread);

  const THandle& Handle() const { return FHandle; }
  bool IsWorker() const { return FGuest != nullptr; }
  // Whether the worker was asked to terminate; long job handlers poll it.
  bool Terminated() const { return FTerminateRequested.load(); }
  bool HasResultProxy() const;
  bool QueueAPC(PAPCFUNC Proc, uintptr_t Data) { return QueueUserAPC(Proc, FHandle, Data); }
  // Takes the lock without waiting; succeeds only while a worker idles without a job.
  bool TryReserve();
  // Ends a reservation.
  void Release() { FLock->Unlock(); }
  // Hands a job over; raises EKtThreadBusy when the thread cannot be reserved.
  void Execute(TVarRecs Params, TKtThreadExceptionEvent ExceptionHandler, TKtThreadExecuteEvent ExecuteHandler,
               TKtAfterExecuteEvent AfterExecuteHandler);

  TKtHostThreadState State() const { return TKtHostThreadState::FromBits(FState.load()); }
  int JobCount() const { return FJobCount.load(); }
  const std::string& Name() const { return FName; }
  std::string ClassName() const override { return "TKtHostThread"; }

  // The pending APC handler, set by an APC and taken by the wait it woke; own thread only.
  void SetPendingAPCHandler(std::shared_ptr<IKtAPCHandler> Handler) { FPendingAPCHandler = std::move(Handler); }
  std::shared_ptr<IKtAPCHandler> TakePendingAPCHandler() { return std::move(FPendingAPCHandler); }
  bool HasPendingAPCHandler() const { return FPendingAPCHandler != nullptr; }

private:
  friend std::shared_ptr<IKtResultParams> ResultProxy(TKtHostThread* Thread);
  ~TKtHostThread() override;

  void Run();
  void RunLoop();
  void EndLoop();
  void TakeLock();
  void ReleaseLock();
  bool Has(TKtHostThreadMark Mark) const { return State().Contains(Mark); }
  void Include(TKtHostThreadMark Mark);
  void Exclude(TKtHostThreadMark Mark);
  void StopWorker();

  std::shared_ptr<IKtAPCHandler> FPendingAPCHandler;
  std::atomic<int> FJobCount{0};
  IKtThreadGuest* FGuest = nullptr;
  THandle FHandle;
  std::unique_ptr<TKtThreadLock> FLock;
  bool FLockHeld = false;                     // worker thread only
  std::shared_ptr<IKtParams> FJob;            // under FLock
  std::shared_ptr<IKtResultParams> FResultProxy;  // under the proxy lock
  std::thread FThread;
  std::atomic<uint64_t> FState{0};
  std::atomic<bool> FTerminateRequested{false};
  bool FPrologDone = false;  // worker thread only
  std::string FName;
};

// Owns a host thread and frees it through TKtHostThread::Free.
struct TKtHostThreadFree {
  void operator()(TKtHostThread* Thread) const { TKtHostThread::Free(Thread); }
};
using TKtHostThreadPtr = std::unique_ptr<TKtHostThread, TKtHostThreadFree>;

// The calling thread's host thread, adopting the thread when it has none.
TKtHostThread* CurrentHostThread();
// The alertable wait that pumps messages, for Timeout milliseconds; ends early when an APC
// handler says so. Raises EKtThread for an APC without a handler and unexpected results.
void WaitFor(uint32_t Timeout);
// The thread's result proxy for its current job, created on demand; nullptr for none.
std::shared_ptr<IKtResultParams> ResultProxy(TKtHostThread* Thread);
// Queues the signal APC to Thread: it ends Thread's current WaitFor.
bool QueueSignalAPC(TKtHostThread* Thread);
// The lock that serialises result proxies' creation and signalling.
std::recursive_mutex& ProxyLock();
// Frees the adopted threads (at unit end).
void ClearAdoptedThreads();
int AdoptedThreadCount();
