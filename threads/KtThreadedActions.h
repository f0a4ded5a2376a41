#pragma once

#include <atomic>
#include <memory>
#include <mutex>
#include <shared_mutex>
#include <string>
#include <vector>

#include "base/EventSlot.h"
#include "threads/KtHostThread.h"
#include "threads/KtNestedCtrls.h"
#include "threads/KtNotifierEx.h"
#include "threads/KtThreadedActionPool.h"

class TKtCategory;
class TKtCustomThreadedActionList;

// A component that runs OnExecute on a pool worker for each Execute. It uses a pool of its
// own with Fanout workers, or, inside an action list with CategoryThreadPool set, the pool
// of its category. OnAfterExecute and OnNotify run on the main thread, through the action's
// own notifier. Create, configure and free an action on the main thread and set its events
// before it is executed; Execute and Notify may then be called from any thread.
class TKtCustomThreadedAction : public TKtCustomChild {
public:
  static constexpr int DefaultQueueDepth = 10;

  explicit TKtCustomThreadedAction(TComponent* AOwner);
  // Waits for the jobs that still run on a category pool (they end when they see the
  // action disabled); jobs on the own pool are stopped with it.
  ~TKtCustomThreadedAction() override;

  // Hands a job to a worker; answers the worker, or nullptr when no job was started.
  TKtHostThread* Execute(TVarRecs Params = {});
  // From job code: sends Text and Values to OnNotify on the main thread, with the action
  // as Sender, under the notifier's QueueStrategy.
  void Notify(const std::string& Text, TVarRecs Values = {});
  // The pool Execute uses, creating the own pool when needed. Raises
  // EKtThreadedActionCategoryDoesNotExist for a category pool whose category is missing.
  TKtThreadPool* ThreadPool();
  // Disables the action, drops OnNotify and frees the own pool. Called from one of the own
  // pool's jobs, it sets that pool aside instead and frees it later (the job's worker cannot
  // be stopped from within); an action is never freed from its own job.
  void Shutdown();

  std::string Category() const;
  void SetCategory(const std::string& Value);
  // False outside a list, whatever was stored.
  bool CategoryThreadPool() const;
  void SetCategoryThreadPool(bool Value);
  bool Enabled() const { return FEnabled.load(); }
  virtual void SetEnabled(bool Value);
  int Fanout() const;
  // Raises an Exception naming the value when it is outside 1 to 20.
  void SetFanout(int Value);
  int QueueDepth() const { return FNotifier->QueueDepth(); }
  void SetQueueDepth(int Value) { FNotifier->SetQueueDepth(Value); }
  TKtNotifyQueueStrategy QueueStrategy() const { return FNotifier->QueueStrategy(); }
  void SetQueueStrategy(TKtNotifyQueueStrategy Value) { FNotifier->SetQueueStrategy(Value); }
  // The number of this action's jobs inside OnExecute.
  int Running() const { return FRunning.load(); }
  // When a job was last handed over, started or ended (days since 1899-12-30); 0 before.
  double LastTime() const { return FLastTime.load(); }
  TKtCustomThreadedActionList* List() const { return FList.load(); }

  TKtThreadExecuteEvent OnExecute() const;
  void SetOnExecute(TKtThreadExecuteEvent Value);
  TKtThreadNotifyEvent OnAfterExecute() const;
  void SetOnAfterExecute(TKtThreadNotifyEvent Value);
  TKtThreadNotifyEvent OnNotify() const;
  void SetOnNotify(TKtThreadNotifyEvent Value);
  TKtThreadExceptionEvent OnException() const;
  // Also becomes the own pool's exception handler (its prolog and epilog failures).
  void SetOnException(TKtThreadExceptionEvent Value);

  std::string ClassName() const override { return "TKtCustomThreadedAction"; }

protected:
  // Called with the reserved worker just before the hand-over; false cancels the job.
  virtual bool BeforeExecute(TKtHostThread* Thread);
  void ComponentRemoved(TComponent* AComponent) override;

private:
  friend class TKtCategory;
  friend class TKtCustomThreadedActionList;

  // On the worker.
  void DoExecute(const TKtThreadPool& Pool, const std::shared_ptr<IKtParams>& Params);
  void AfterExecute(TKtHostThread* Caller);
  void DoException(const std::exception& E, bool& Handled);
  // On the main thread.
  void DoNotify(TObject* Sender, const std::shared_ptr<IKtNotifyParams>& Params);
  void DeliverAfterExecute(TObject* Sender, const std::shared_ptr<IKtNotifyParams>& Params);

  // The following run under FLock.
  bool UsesCategoryPool() const;
  bool CanRun();
  TKtCategory* CachedCategory();
  TKtThreadPool* PoolLocked();
  std::string ThreadName() const;
  using TPools = std::vector<TComponentPtr<TKtThreadPool>>;
  // Disables the action and hands back the own pool, for the caller to free outside the
  // locks: its workers may be inside Execute of this very action.
  TPools DetachForShutdown();
  // The own pool and those set aside, except the pool of the job that is asking.
  TPools TakeOwnPools();

  // Called by the list, on the main thread, with its synchroniser held for writing.
  void SetList(TKtCustomThreadedActionList* Value) { FList.store(Value); }
  void ForgetCategory(const TKtCategory* Category);
  void ResetCategory();

  void Touch();
  void WaitForJobs();
  static std::shared_lock<std::shared_mutex> ListReadLock(TKtCustomThreadedActionList* List);

  // Guards the own pool, the category and its cache.
  mutable std::recursive_mutex FLock;
  std::string FCategory;
  TKtCategory* FCachedCategory = nullptr;
  bool FCategoryThreadPool = false;
  int FFanout = 1;
  TKtThreadPool* FOwnPool = nullptr;  // owned as a component
  // Own pools given up by a job of theirs, still to be freed.
  TPools FRetiredPools;
  TEventSlot<TKtThreadExecuteEvent> FOnExecute;
  TEventSlot<TKtThreadNotifyEvent> FOnAfterExecute;
  TEventSlot<TKtThreadNotifyEvent> FOnNotify;
  TEventSlot<TKtThreadExceptionEvent> FOnException;

  std::atomic<bool> FEnabled{true};
  std::atomic<bool> FDestroying{false};
  std::atomic<int> FRunning{0};
  // Jobs handed over whose handlers the worker still holds.
  std::atomic<int> FJobsInFlight{0};
  std::atomic<double> FLastTime{0.0};
  std::atomic<TKtCustomThreadedActionList*> FList{nullptr};
  TComponentPtr<TKtNotifierEx> FNotifier;
};

class TKtThreadedAction : public TKtCustomThreadedAction {
public:
  using TKtCustomThreadedAction::TKtCustomThreadedAction;
  std::string ClassName() const override { return "TKtThreadedAction"; }
};
