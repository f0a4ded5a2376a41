#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>

#include "platform/MessageWindow.h"
#include "signals/AppSig.h"
#include "signals/AppTimer.h"
#include "threads/KtNotifier.h"
#include "threads/KtThreadedActions.h"

// The values of LoopStop.
enum TLoopStop : uint8_t { lpRun = 0, lpStopRequested = 1, lpStopped = 2 };

// A threaded action that runs its descendant's loop on a pool worker for the whole life of
// the object, with a notifier slot through which the descendant reports to the owner's
// thread, a signal client, a timer pool and a hidden message window.
//
// The descendant's constructor calls StartLoop last, so the loop never sees a partly built
// object, and its destructor calls EndLoop first, so the loop never sees a partly freed one.
class TSckBase : public TKtThreadedAction {
public:
  // Consumed by the window procedure with no action.
  static constexpr uint32_t ReservedMessage = WM_USER + 110;

  TSckBase();
  ~TSckBase() override;
  TSckBase(const TSckBase&) = delete;
  TSckBase& operator=(const TSckBase&) = delete;

  // None detaches it; descendants notify only while one is set.
  void SetNotifier(TKtNotifier* Value) { FNotifier.store(Value); }
  TKtNotifier* Notifier() const { return FNotifier.load(); }
  bool LoopRunning() const { return FLoopRunning.load(); }
  TLoopStop LoopStop() const { return FLoopStop.load(); }
  TktsSignalClient& SignalClient() const { return *FSignalClient; }
  TTimerPool& TimerPool() const { return *FTimerPool; }
  HWND MessageWindow() const { return FMessageWindow->Handle(); }

  std::string ClassName() const override { return "TSckBase"; }

protected:
  // Bound to OnAfterExecute: runs on the main thread once the loop has returned. Forgets
  // the notifier, stops the loop if it still runs and waits for it, and disables the action.
  virtual void StopLoop(TObject* Sender, const std::shared_ptr<IKtNotifyParams>& Params);
  // Bound to OnExecute: the descendant's loop, on a pool worker. It runs until LoopStop is
  // no longer lpRun or the worker is told to terminate.
  virtual void RunLoop(TObject* Sender, const std::shared_ptr<IKtParams>& Params);
  virtual LRESULT WndProc(uint32_t Msg, WPARAM WParam, LPARAM LParam);

  // Binds the loop and executes the action once with "Hello, World".
  void StartLoop();
  // Stops the loop and returns once its job has ended or can no longer start; on the
  // creating thread, whose messages it keeps running meanwhile. Idempotent.
  void EndLoop();
  bool LoopMayRun() const { return FLoopStop.load() == lpRun; }
  // The loop's pause between rounds: it ends early once a stop is requested, so that
  // EndLoop does not wait out a whole pause.
  void PauseLoop(std::chrono::milliseconds Pause);

private:
  // The job around RunLoop: a stop requested before the job starts keeps the loop from
  // running at all, and the end of the job is what EndLoop waits for.
  void LoopJob(TObject* Sender, const std::shared_ptr<IKtParams>& Params);
  void WaitWhileLoopJobPending();

  TComponentPtr<TktsSignalClient> FSignalClient;
  TComponentPtr<TTimerPool> FTimerPool;
  std::unique_ptr<TMessageWindow> FMessageWindow;
  std::atomic<TKtNotifier*> FNotifier{nullptr};
  std::atomic<bool> FLoopRunning{false};
  std::atomic<TLoopStop> FLoopStop{lpRun};
  // From just before the loop's job is handed to a worker until that job has ended.
  std::atomic<bool> FLoopJobPending{false};
  // Told of a stop request and of the job's end, so that neither side polls for them.
  std::mutex FLoopWakeLock;
  std::condition_variable FLoopWake;
};
