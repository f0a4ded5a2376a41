#include "link/AppSkBase.h"

#include <chrono>

#include "threads/KtParams.h"

namespace {
constexpr auto StopPollPause = std::chrono::milliseconds(20);
}  // namespace

TSckBase::TSckBase()
    : TKtThreadedAction(nullptr),
      FSignalClient(new TktsSignalClient(nullptr)),
      FTimerPool(new TTimerPool(nullptr)) {
  FSignalClient->SetName("Signal");
  // No signal is ever raised to this object; the binding only marks it as a listener.
  FSignalClient->OnSignalChange = [](TObject*, const std::string&, const std::string&, int32_t, TObject*) {};
  FMessageWindow = std::make_unique<TMessageWindow>(
      [this](uint32_t Msg, WPARAM WParam, LPARAM LParam) { return WndProc(Msg, WParam, LParam); });
  SetEnabled(true);
}

TSckBase::~TSckBase() {
  // A descendant has ended the loop already; this covers a base that runs on its own.
  EndLoop();
  FSignalClient.reset();
  FTimerPool->RemoveAll();
  FTimerPool.reset();
  FMessageWindow.reset();
}

void TSckBase::StartLoop() {
  SetOnAfterExecute([this](TObject* Sender, const std::shared_ptr<IKtNotifyParams>& Params) {
    StopLoop(Sender, Params);
  });
  SetOnExecute([this](TObject* Sender, const std::shared_ptr<IKtParams>& Params) { LoopJob(Sender, Params); });
  FLoopJobPending.store(true);
  if (!Execute({std::string("Hello, World")})) FLoopJobPending.store(false);
}

void TSckBase::LoopJob(TObject* Sender, const std::shared_ptr<IKtParams>& Params) {
  struct TJobEnd {
    TSckBase& Base;
    ~TJobEnd() {
      Base.FLoopRunning.store(false);
      // Ended and notified under the lock, which EndLoop takes to see the end.
      std::lock_guard<std::mutex> guard(Base.FLoopWakeLock);
      Base.FLoopJobPending.store(false);
      Base.FLoopWake.notify_all();
    }
  } jobEnd{*this};
  FLoopRunning.store(true);
  // A stop requested before this job started is kept, not reset: the loop does not run.
  if (LoopMayRun()) RunLoop(Sender, Params);
}

void TSckBase::RunLoop(TObject*, const std::shared_ptr<IKtParams>&) {}

void TSckBase::StopLoop(TObject*, const std::shared_ptr<IKtNotifyParams>&) { EndLoop(); }

void TSckBase::EndLoop() {
  if (FLoopStop.load() == lpStopped) return;
  struct TStopped {
    TSckBase& Base;
    ~TStopped() { Base.FLoopStop.store(lpStopped); }
  } stopped{*this};
  SetNotifier(nullptr);
  SetOnAfterExecute(nullptr);
  {
    std::lock_guard<std::mutex> guard(FLoopWakeLock);
    TLoopStop expected = lpRun;
    FLoopStop.compare_exchange_strong(expected, lpStopRequested);
    FLoopWake.notify_all();
  }
  WaitWhileLoopJobPending();
  // Cleared only now: a job handed over but not yet started must still find its handler,
  // or it would never end the wait above.
  SetOnExecute(nullptr);
  SetEnabled(false);
}

void TSckBase::PauseLoop(std::chrono::milliseconds Pause) {
  std::unique_lock<std::mutex> lock(FLoopWakeLock);
  FLoopWake.wait_for(lock, Pause, [this] { return !LoopMayRun(); });
}

void TSckBase::WaitWhileLoopJobPending() {
  // The job may wait for this thread's messages before it can end, so they keep running
  // between the waits; the job's end cuts a wait short. The end is seen under the lock, so
  // the job has let go of the wake-up before the caller may free the object.
  std::unique_lock<std::mutex> lock(FLoopWakeLock);
  while (FLoopJobPending.load()) {
    lock.unlock();
    ProcessMessages();
    lock.lock();
    FLoopWake.wait_for(lock, StopPollPause, [this] { return !FLoopJobPending.load(); });
  }
}

LRESULT TSckBase::WndProc(uint32_t, WPARAM, LPARAM) {
  // ReservedMessage is consumed; a hidden window's default procedure answers 0 to the rest.
  return 0;
}
