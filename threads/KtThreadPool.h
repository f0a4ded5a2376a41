#pragma once

#include <atomic>
#include <exception>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "base/Component.h"
#include "threads/KtHostThread.h"

// Keeps up to Fanout workers and hands each job to an idle one. Set the events before
// the first Acquire; workers read them.
class TKtCustomThreadPool : public TComponent, public IKtThreadGuest {
public:
  static constexpr int MinFanout = 1;
  static constexpr int MaxFanout = 20;

  explicit TKtCustomThreadPool(TComponent* AOwner);
  ~TKtCustomThreadPool() override;
  // Stops the workers while the pool is still whole: they call into it to the last.
  void PrepareDestruction() override;

  // Reserves an idle worker (growing the pool when allowed) and answers it in Thread. The
  // caller hands it a job with Execute and then always ends its reservation with Release.
  bool Acquire(TKtHostThread*& Thread, const std::string& Name);
  bool CanExecute() const { return Fanout() - FActive.load() > 0; }
  // Clear and Restart free every worker. Called from a job of one of them, they set that
  // worker aside instead, since it cannot be stopped from within: it takes no further job
  // and goes with a later Clear or Restart from elsewhere, or with the pool.
  // After Clear, Acquire answers false for good.
  void Clear();
  // Keeps the pool open: later jobs get new workers. A cleared pool stays cleared.
  void Restart();
  // Hands E to Handler, else to the pool's exception handler; unhandled, it is raised
  // again on the main thread.
  void RouteException(const std::exception_ptr& E, const TKtThreadExceptionEvent& Handler);

  int Fanout() const { return FFanout.load(); }
  // Raises an Exception naming the value when it is outside 1 to 20.
  void SetFanout(int Value);
  int ThreadCount() const;
  int Active() const { return FActive.load(); }

  TKtThreadEvent OnProlog;
  TKtThreadEvent OnEpilog;
  const TKtThreadExceptionEvent& ExceptionHandler() const { return FExceptionHandler; }
  void SetExceptionHandler(TKtThreadExceptionEvent Value) { FExceptionHandler = std::move(Value); }

  bool Prolog() override;
  void Epilog() override;
  void Execute(const std::shared_ptr<IKtParams>& Job) override;
  std::string ClassName() const override { return "TKtCustomThreadPool"; }

protected:
  void ComponentRemoved(TComponent* AComponent) override;

private:
  // Under the pool lock: the workers and those set aside, except the one whose job asks.
  std::vector<TKtHostThreadPtr> TakeWorkers();

  std::atomic<int> FActive{0};
  std::atomic<int> FFanout{1};
  mutable std::mutex FPoolLock;
  // Empty once cleared.
  std::optional<std::vector<TKtHostThreadPtr>> FThreads;
  // Workers taken out of the pool by one of their own jobs, still to be freed.
  std::vector<TKtHostThreadPtr> FSetAside;
  TKtThreadExceptionEvent FExceptionHandler;
};
