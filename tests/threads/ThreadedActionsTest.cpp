#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <mutex>
#include <stdexcept>
#include <thread>
#include <vector>

#include "tests/support/TestApplication.h"
#include "tests/support/WaitUntil.h"
#include "threads/KtThreadedActionExceptions.h"
#include "threads/KtThreadedActionList.h"
#include "threads/KtNotifier.h"
#include "threads/KtNotifyProxy.h"
#include "threads/KtThreadedActions.h"
#include "threads/KtThreads.h"

namespace {
using namespace std::chrono;

// A job that stays inside OnExecute until opened, or until its action or worker stops.
struct TGate {
  std::atomic<bool> Open{false};
  std::atomic<int> Entered{0};
  std::atomic<int> Left{0};
  TKtThreadExecuteEvent Job(TKtCustomThreadedAction& Action) {
    return [this, &Action](TObject*, const std::shared_ptr<IKtParams>&) {
      ++Entered;
      TKtHostThread* host = CurrentHostThread();
      while (!Open.load() && Action.Enabled() && !host->Terminated()) std::this_thread::sleep_for(milliseconds(1));
      ++Left;
    };
  }
};

// Waits until the pool's workers can be reserved again: every job handed to them, with its
// exception handling, is over.
bool WaitForIdlePool(TKtThreadPool& Pool) {
  return WaitUntil([&] {
    TKtHostThread* worker = nullptr;
    if (!Pool.Acquire(worker, "Probe")) return false;
    worker->Release();
    return true;
  });
}

// Waits until whatever the notifier thread held has reached the main thread. A marker is
// posted no earlier than the pass that also posts everything queued before it; a second
// marker, sent once the first has arrived, is posted only in a later pass.
void DrainNotifications() {
  TComponentPtr<TKtNotifier> notifier(new TKtNotifier(nullptr));
  int delivered = 0;
  notifier->SetOnNotify([&](TObject*, const std::shared_ptr<IKtNotifyParams>&) { ++delivered; });
  for (int marker = 1; marker <= 2; ++marker) {
    notifier->Notify(notifier.get(), "marker", {}, qsWait);
    ASSERT_TRUE(WaitUntil([&] { return delivered == marker; }));
  }
}

// Built like the device link: it executes itself when it is made, and its job, when asked
// to, polls its worker's Terminated until the worker is stopped.
class TSelfStartingAction : public TKtThreadedAction {
public:
  TSelfStartingAction(bool Polls, std::atomic<int>& Polled) : TKtThreadedAction(nullptr) {
    SetOnExecute([Polls, &Polled](TObject*, const std::shared_ptr<IKtParams>&) {
      if (!Polls) return;
      TKtHostThread* host = CurrentHostThread();
      ++Polled;
      while (!host->Terminated()) std::this_thread::sleep_for(milliseconds(1));
      --Polled;
    });
    FWorker = Execute({"Hello, World"});
  }
  TKtHostThread* Worker() const { return FWorker; }
  std::string ClassName() const override { return "TSelfStartingAction"; }

private:
  TKtHostThread* FWorker;
};

class ThreadedActionsTest : public testing::Test {
protected:
  void SetUp() override {
    CurrentHostThread();
    FHostThreadsBefore = KtHostThreadCount();
    TestApplication().Reset();
  }
  void TearDown() override {
    EXPECT_TRUE(WaitUntil([&] { return KtHostThreadCount() <= FHostThreadsBefore; }))
        << "every worker must be gone with its action or list";
  }
  int FHostThreadsBefore = 0;
};

TEST_F(ThreadedActionsTest, SecondExecuteAtFanoutOneAnswersNoneWhileTheJobRuns) {
  TComponentPtr<TKtThreadedAction> action(new TKtThreadedAction(nullptr));
  TGate gate;
  action->SetOnExecute(gate.Job(*action));
  TKtHostThread* worker = action->Execute({});
  ASSERT_NE(worker, nullptr);
  ASSERT_TRUE(WaitUntil([&] { return action->Running() == 1; }));
  EXPECT_EQ(action->Execute({}), nullptr);
  EXPECT_EQ(action->ThreadPool()->ThreadCount(), 1);
  EXPECT_EQ(action->ThreadPool()->Name(), "ThreadPool");
  EXPECT_TRUE(action->ThreadPool()->IsSubComponent());
  gate.Open = true;
  ASSERT_TRUE(WaitUntil([&] { return action->Running() == 0 && gate.Left.load() == 1; }));
  EXPECT_GT(action->LastTime(), 40000.0) << "a date after the year 2009";
  EXPECT_TRUE(WaitUntil([&] { return action->Execute({}) != nullptr; })) << "a finished job frees the worker";
}

TEST_F(ThreadedActionsTest, ActionWithoutOnExecuteOrDisabledStartsNoThread) {
  TComponentPtr<TKtThreadedAction> action(new TKtThreadedAction(nullptr));
  EXPECT_EQ(action->Execute({}), nullptr);
  EXPECT_EQ(KtHostThreadCount(), FHostThreadsBefore);
  std::atomic<int> ran{0};
  action->SetOnExecute([&](TObject*, const std::shared_ptr<IKtParams>&) { ++ran; });
  action->SetEnabled(false);
  EXPECT_EQ(action->Execute({}), nullptr);
  EXPECT_EQ(KtHostThreadCount(), FHostThreadsBefore);
  action->SetEnabled(true);
  action->Shutdown();
  EXPECT_FALSE(action->Enabled());
  EXPECT_EQ(action->Execute({}), nullptr) << "a shut-down action starts nothing";
  EXPECT_EQ(ran.load(), 0);
}

TEST_F(ThreadedActionsTest, JobGetsParamsOnWorkerAndAfterExecuteArrivesOnMainThread) {
  TComponentPtr<TKtThreadedAction> action(new TKtThreadedAction(nullptr));
  const auto mainThread = std::this_thread::get_id();
  std::atomic<int> value{0};
  std::atomic<bool> onWorker{false};
  action->SetOnExecute([&](TObject* Sender, const std::shared_ptr<IKtParams>& Params) {
    onWorker = std::this_thread::get_id() != mainThread && Sender == action.get();
    value = Params->Param(0).AsInteger();
  });
  std::atomic<int> delivered{0};
  bool onMain = false;
  TObject* sender = nullptr;
  action->SetOnAfterExecute([&](TObject* S, const std::shared_ptr<IKtNotifyParams>&) {
    onMain = std::this_thread::get_id() == mainThread;
    sender = S;
    ++delivered;
  });
  ASSERT_NE(action->Execute({42}), nullptr);
  ASSERT_TRUE(WaitUntil([&] { return delivered.load() == 1; }));
  EXPECT_EQ(value.load(), 42);
  EXPECT_TRUE(onWorker.load());
  EXPECT_TRUE(onMain);
  EXPECT_EQ(sender, action.get());
}

TEST_F(ThreadedActionsTest, JobNotifyReachesOnNotifyOnTheMainThread) {
  TComponentPtr<TKtThreadedAction> action(new TKtThreadedAction(nullptr));
  action->SetOnExecute([&](TObject*, const std::shared_ptr<IKtParams>&) { action->Notify("progress", {7}); });
  std::string text;
  int code = 0;
  action->SetOnNotify([&](TObject*, const std::shared_ptr<IKtNotifyParams>& Params) {
    text = Params->Text();
    code = Params->Param(0).AsInteger();
  });
  ASSERT_NE(action->Execute({}), nullptr);
  ASSERT_TRUE(WaitUntil([&] { return code == 7; }));
  EXPECT_EQ(text, "progress");
}

TEST_F(ThreadedActionsTest, HandledJobExceptionStaysOffTheMainThreadUnhandledOneIsRaisedThere) {
  TComponentPtr<TKtThreadedAction> action(new TKtThreadedAction(nullptr));
  action->SetOnExecute([](TObject*, const std::shared_ptr<IKtParams>&) { throw Exception("job failed"); });
  std::atomic<int> handled{0};
  action->SetOnException([&](TObject* Sender, const std::exception& E, bool& Handled) {
    Handled = Sender != nullptr && std::string(E.what()) == "job failed";
    ++handled;
  });
  ASSERT_NE(action->Execute({}), nullptr);
  ASSERT_TRUE(WaitForIdlePool(*action->ThreadPool()));
  EXPECT_EQ(handled.load(), 1);
  DrainNotifications();
  EXPECT_TRUE(TestApplication().Exceptions().empty());

  action->SetOnException(nullptr);
  ASSERT_TRUE(WaitUntil([&] { return action->Execute({}) != nullptr; }));
  ASSERT_TRUE(WaitUntil([] { return !TestApplication().Exceptions().empty(); }));
  EXPECT_EQ(TestApplication().Exceptions().front(), "job failed");
}

TEST_F(ThreadedActionsTest, FanoutIsCheckedAndReachesTheOwnPool) {
  TComponentPtr<TKtThreadedAction> action(new TKtThreadedAction(nullptr));
  action->SetName("Worker");
  EXPECT_EQ(action->Fanout(), 1);
  action->SetFanout(3);
  EXPECT_EQ(action->ThreadPool()->Fanout(), 3);
  action->ThreadPool()->SetFanout(2);
  EXPECT_EQ(action->Fanout(), 2) << "the own pool's Fanout is what the action reports";
  try {
    action->SetFanout(21);
    FAIL() << "21 is no fanout";
  } catch (const Exception& E) {
    EXPECT_NE(std::string(E.what()).find("21"), std::string::npos) << E.what();
    EXPECT_NE(std::string(E.what()).find("Worker"), std::string::npos) << E.what();
  }
  EXPECT_THROW(action->SetFanout(0), Exception);
  EXPECT_THROW(action->SetQueueDepth(501), Exception);
  EXPECT_EQ(action->QueueDepth(), 10);
  EXPECT_EQ(action->QueueStrategy(), qsWait);
  action->SetQueueStrategy(qsDefault);
  EXPECT_EQ(action->QueueStrategy(), qsDispose);
}

TEST_F(ThreadedActionsTest, DestroyingAnActionWhileItsJobRunsEndsCleanly) {
  TGate gate;
  std::atomic<bool> afterDelivered{false};
  {
    TComponentPtr<TKtThreadedAction> action(new TKtThreadedAction(nullptr));
    action->SetOnExecute(gate.Job(*action));
    action->SetOnAfterExecute([&](TObject*, const std::shared_ptr<IKtNotifyParams>&) { afterDelivered = true; });
    ASSERT_NE(action->Execute({}), nullptr);
    ASSERT_TRUE(WaitUntil([&] { return gate.Entered.load() == 1; }));
  }
  EXPECT_EQ(gate.Left.load(), 1) << "the job was stopped before the action went";
  DrainNotifications();
  EXPECT_FALSE(afterDelivered.load()) << "nothing is delivered to a freed action";
}

TEST_F(ThreadedActionsTest, AfterExecuteFollowsTheJobWithItsResultAndEndsTheCallersWait) {
  TComponentPtr<TKtThreadedAction> action(new TKtThreadedAction(nullptr));
  action->SetName("Pump");
  TGate gate;
  action->SetOnExecute(gate.Job(*action));
  std::shared_ptr<IKtNotifyParams> delivered;
  bool jobOverFirst = false;
  action->SetOnAfterExecute([&](TObject*, const std::shared_ptr<IKtNotifyParams>& Params) {
    jobOverFirst = gate.Left.load() == 1 && action->Running() == 0;
    delivered = Params;
  });
  TKtHostThread* worker = action->Execute({});
  ASSERT_NE(worker, nullptr);
  EXPECT_EQ(worker->Name(), "Pump") << "an own pool's worker is named after the action";
  // The caller asks for the job's result while the job runs, then waits for it.
  const std::shared_ptr<IKtResultParams> result = ResultProxy(worker);
  gate.Open = true;
  result->WaitFor(20000);
  EXPECT_TRUE(result->Signalled()) << "the job's end signals the thread that handed it over";
  ASSERT_TRUE(WaitUntil([&] { return delivered != nullptr; }));
  EXPECT_TRUE(jobOverFirst);
  EXPECT_EQ(delivered, std::static_pointer_cast<IKtNotifyParams>(result)) << "the result is the handler's Params";
}

TEST_F(ThreadedActionsTest, ExecuteFromManyThreadsNeverRunsMoreJobsThanFanout) {
  TComponentPtr<TKtThreadedAction> action(new TKtThreadedAction(nullptr));
  action->SetFanout(3);
  TGate gate;
  std::atomic<int> inside{0};
  std::atomic<int> most{0};
  std::atomic<int> ran{0};
  const TKtThreadExecuteEvent held = gate.Job(*action);
  action->SetOnExecute([&](TObject* Sender, const std::shared_ptr<IKtParams>& Params) {
    const int now = ++inside;
    int seen = most.load();
    while (now > seen && !most.compare_exchange_weak(seen, now)) {
    }
    held(Sender, Params);
    ++ran;
    --inside;
  });
  for (int i = 0; i < 3; ++i) ASSERT_NE(action->Execute({}), nullptr) << "job " << i;
  EXPECT_EQ(action->Execute({}), nullptr) << "a fourth job finds no free worker";
  ASSERT_TRUE(WaitUntil([&] { return gate.Entered.load() == 3; }));
  EXPECT_EQ(action->Running(), 3);
  EXPECT_EQ(action->Execute({}), nullptr) << "three jobs run";
  gate.Open = true;

  std::atomic<int> started{3};
  std::vector<std::thread> callers;
  for (int t = 0; t < 4; ++t) {
    callers.emplace_back([&] {
      for (int i = 0; i < 200; ++i) {
        if (action->Execute({i}) != nullptr) ++started;
        std::this_thread::yield();
      }
    });
  }
  for (std::thread& caller : callers) caller.join();
  ASSERT_TRUE(WaitUntil([&] { return ran.load() == started.load(); }));
  EXPECT_EQ(most.load(), 3);
  EXPECT_EQ(action->ThreadPool()->ThreadCount(), 3);
  // The callers stay adopted until a later adoption purges them; only the workers go here.
  const int withWorkers = KtHostThreadCount();
  action.reset();
  EXPECT_EQ(KtHostThreadCount(), withWorkers - 3);
  FHostThreadsBefore = KtHostThreadCount();
}

TEST_F(ThreadedActionsTest, OnExceptionAlsoServesTheOwnPoolsPrologFailures) {
  TComponentPtr<TKtThreadedAction> action(new TKtThreadedAction(nullptr));
  std::atomic<int> ran{0};
  action->SetOnExecute([&](TObject*, const std::shared_ptr<IKtParams>&) { ++ran; });
  EXPECT_FALSE(static_cast<bool>(action->ThreadPool()->ExceptionHandler()));
  std::mutex lock;
  std::vector<std::string> seen;
  // Set after the pool exists: the pool's copy follows.
  action->SetOnException([&](TObject* Sender, const std::exception& E, bool& Handled) {
    std::lock_guard<std::mutex> guard(lock);
    seen.push_back(std::string(Sender == action.get() ? "action: " : "other: ") + E.what());
    Handled = true;
  });
  action->ThreadPool()->OnProlog = [](TObject*) { throw Exception("prolog failed"); };
  ASSERT_NE(action->Execute({}), nullptr);
  ASSERT_TRUE(WaitUntil([&] {
    std::lock_guard<std::mutex> guard(lock);
    return !seen.empty();
  }));
  {
    std::lock_guard<std::mutex> guard(lock);
    EXPECT_EQ(seen, (std::vector<std::string>{"action: prolog failed"}));
  }
  DrainNotifications();
  EXPECT_TRUE(TestApplication().Exceptions().empty());
  EXPECT_EQ(ran.load(), 0) << "a worker whose prolog failed runs no job";
}

// An action that asks before every hand-over.
class TAskingAction : public TKtThreadedAction {
public:
  using TKtThreadedAction::TKtThreadedAction;
  std::atomic<bool> Allow{false};
  std::atomic<int> Asked{0};

protected:
  bool BeforeExecute(TKtHostThread* Thread) override {
    ++Asked;
    return Thread != nullptr && Allow.load();
  }
};

TEST_F(ThreadedActionsTest, BeforeExecuteCanCancelAJobAndTheWorkerStaysFree) {
  TComponentPtr<TAskingAction> action(new TAskingAction(nullptr));
  std::atomic<int> ran{0};
  action->SetOnExecute([&](TObject*, const std::shared_ptr<IKtParams>&) { ++ran; });
  EXPECT_EQ(action->Execute({}), nullptr);
  EXPECT_EQ(action->Asked.load(), 1);
  action->Allow = true;
  // The cancelled job's reservation was ended: the same single worker takes the next job.
  ASSERT_NE(action->Execute({}), nullptr);
  ASSERT_TRUE(WaitUntil([&] { return ran.load() == 1; }));
  EXPECT_EQ(action->ThreadPool()->ThreadCount(), 1);
}

TEST_F(ThreadedActionsTest, JobNotificationsUnderQsWaitArriveAllAndInOrder) {
  TComponentPtr<TKtThreadedAction> action(new TKtThreadedAction(nullptr));
  action->SetQueueDepth(1);
  action->SetOnExecute([&](TObject*, const std::shared_ptr<IKtParams>&) {
    for (int i = 0; i < 25; ++i) action->Notify("step", {i});
  });
  std::vector<int> steps;
  action->SetOnNotify(
      [&](TObject*, const std::shared_ptr<IKtNotifyParams>& Params) { steps.push_back(Params->Param(0).AsInteger()); });
  ASSERT_NE(action->Execute({}), nullptr);
  ASSERT_TRUE(WaitUntil([&] { return steps.size() == 25; }));
  for (int i = 0; i < 25; ++i) EXPECT_EQ(steps[static_cast<size_t>(i)], i);
}

TEST_F(ThreadedActionsTest, AJobMayShutItsOwnActionDown) {
  TComponentPtr<TKtThreadedAction> action(new TKtThreadedAction(nullptr));
  std::atomic<bool> returned{false};
  action->SetOnExecute([&](TObject*, const std::shared_ptr<IKtParams>&) {
    action->Shutdown();
    returned = true;
  });
  ASSERT_NE(action->Execute({}), nullptr);
  ASSERT_TRUE(WaitUntil([&] { return returned.load(); })) << "the job is not left waiting for its own worker";
  EXPECT_FALSE(action->Enabled());
  EXPECT_EQ(action->Execute({}), nullptr);
  // Whatever the job set aside goes with the next shutdown from outside.
  ASSERT_TRUE(WaitUntil([&] { return action->Running() == 0; }));
  action->Shutdown();
  EXPECT_TRUE(WaitUntil([&] { return KtHostThreadCount() == FHostThreadsBefore; }));
}

TEST_F(ThreadedActionsTest, AnActionFreedRightAfterItsExecuteStopsItsWorkerBeforeThePoolGoes) {
  // Freed at once, the worker may still be entering the job; freed while the job polls, the
  // free must end it. ThreadSanitizer watches the pool while the worker still calls into it.
  std::atomic<int> polling{0};
  for (int cycle = 0; cycle < 300; ++cycle) {
    const bool polls = cycle % 2 == 1;
    TComponentPtr<TSelfStartingAction> action(new TSelfStartingAction(polls, polling));
    ASSERT_NE(action->Worker(), nullptr) << "cycle " << cycle;
    if (polls) {
      ASSERT_TRUE(WaitUntil([&] { return polling.load() == 1; })) << "cycle " << cycle;
    }
    action.reset();
    ASSERT_EQ(polling.load(), 0) << "the job saw its worker stopped, cycle " << cycle;
    ASSERT_EQ(KtHostThreadCount(), FHostThreadsBefore) << "cycle " << cycle;
  }
}

TEST_F(ThreadedActionsTest, FreeingTheOwnerStopsTheJobBeforeTheOwnerGoes) {
  TGate gate;
  auto* owner = new TComponent(nullptr);
  auto* action = new TKtThreadedAction(owner);  // freed by its owner
  action->SetOnExecute(gate.Job(*action));
  ASSERT_NE(action->Execute({}), nullptr);
  ASSERT_TRUE(WaitUntil([&] { return gate.Entered.load() == 1; }));
  TComponent::Free(owner);
  EXPECT_EQ(gate.Left.load(), 1);
}

// A list with one action in it, the action's category pool in use.
class ThreadedActionListTest : public ThreadedActionsTest {
protected:
  TKtThreadedAction* AddAction(const std::string& Category = std::string()) {
    auto* action = new TKtThreadedAction(nullptr);  // freed by the list
    action->SetCategory(Category);
    action->SetParent(List.get());
    return action;
  }
  // The list's category pools go with it, before the workers are counted.
  void TearDown() override {
    List.reset();
    ThreadedActionsTest::TearDown();
  }
  TComponentPtr<TKtThreadedActionList> List{new TKtThreadedActionList(nullptr)};
};

TEST_F(ThreadedActionListTest, NewListHasTheDefaultCategoryAndNumbersLaterOnes) {
  ASSERT_EQ(List->Categories().Count(), 1);
  TKtCategory* standard = List->Categories().Items(0);
  EXPECT_EQ(standard->Name(), "");
  EXPECT_EQ(standard->DisplayName(), "(No Category)");
  EXPECT_EQ(standard->ThreadPool()->Name(), "ThreadPool");
  EXPECT_EQ(standard->ThreadPool()->Owner(), List.get());
  TKtCategory* first = List->Categories().Add();
  TKtCategory* second = List->Categories().Add();
  EXPECT_EQ(first->Name(), "Category1");
  EXPECT_EQ(second->Name(), "Category2");
  EXPECT_EQ(second->ThreadPool()->Name(), "Category2ThreadPool");
  first->SetName("my cat!");
  EXPECT_EQ(first->ThreadPool()->Name(), "mycatThreadPool");
  EXPECT_EQ(List->Categories().Add()->Name(), "Category1") << "a freed number is used again";
  EXPECT_EQ(List->Version(), "1.2.2");
}

TEST_F(ThreadedActionListTest, CategoryNamesAreUniqueAndLookedUpWithoutCase) {
  TKtCategory* cat = List->Categories().Add();
  cat->SetName("Net");
  EXPECT_EQ(List->FindCategory("nET"), cat);
  try {
    List->FindCategory("Disk");
    FAIL() << "no category Disk";
  } catch (const EKtThreadedActionCategoryDoesNotExist& E) {
    EXPECT_STREQ(E.what(), "Category [Disk] does not exist");
  }
  TKtCategory* other = List->Categories().Add();
  try {
    other->SetName("Net");
    FAIL() << "Net is taken";
  } catch (const EKtThreadedActionCategoryAlreadyExists& E) {
    EXPECT_STREQ(E.what(), "Category [Net] already exists");
  }
  EXPECT_EQ(other->Name(), "Category1") << "a refused name changes nothing";
  EXPECT_THROW(other->SetName("N e t"), EListError) << "the pool name NetThreadPool is taken";
  EXPECT_EQ(other->Name(), "Category1");
}

TEST_F(ThreadedActionListTest, ActionCategoryMustExistAndCaseOnlyChangesNothing) {
  List->Categories().Add()->SetName("Net");
  TKtThreadedAction* action = AddAction("Net");
  std::atomic<int> changes{0};
  List->OnChange = [&](TObject*) { ++changes; };
  action->SetCategory("NET");
  EXPECT_EQ(action->Category(), "Net");
  EXPECT_EQ(changes.load(), 0);
  EXPECT_THROW(action->SetCategory("Disk"), EKtThreadedActionCategoryDoesNotExist);
  EXPECT_EQ(action->Category(), "Net");
  action->SetCategory("");
  EXPECT_EQ(changes.load(), 1);
  TComponentPtr<TKtThreadedAction> stray(new TKtThreadedAction(nullptr));
  stray->SetCategory("Disk");
  EXPECT_THROW(stray->SetParent(List.get()), EKtThreadedActionCategoryDoesNotExist);
  EXPECT_EQ(stray->Parent(), nullptr);
}

TEST_F(ThreadedActionListTest, DeletingACategoryClearsTheActionsThatNamedItExactly) {
  List->Categories().Add()->SetName("Net");
  TKtThreadedAction* exact = AddAction("Net");
  TKtThreadedAction* otherCase = AddAction("NET");
  otherCase->SetCategoryThreadPool(true);
  otherCase->ThreadPool();  // caches the category
  List->Categories().Delete(1);
  EXPECT_EQ(exact->Category(), "");
  EXPECT_EQ(otherCase->Category(), "NET");
  EXPECT_THROW(otherCase->ThreadPool(), EKtThreadedActionCategoryDoesNotExist)
      << "the deleted category is not used from a stale cache";
}

TEST_F(ThreadedActionListTest, IndexIsClampedAmongTheChildren) {
  TKtThreadedAction* a = AddAction();
  AddAction();
  AddAction();
  a->SetIndex(99);
  EXPECT_EQ(a->Index(), 2);
  a->SetIndex(-5);
  EXPECT_EQ(a->Index(), 0);
  EXPECT_EQ(List->Actions(0), a);
}

TEST_F(ThreadedActionListTest, CategoryPoolRunsJobsAndInactiveListStartsNone) {
  TKtCategory* net = List->Categories().Add();
  net->SetName("Net");
  TKtThreadedAction* action = AddAction("Net");
  EXPECT_FALSE(action->CategoryThreadPool());
  action->ThreadPool();
  action->SetCategoryThreadPool(true);
  EXPECT_TRUE(action->CategoryThreadPool());
  EXPECT_EQ(action->ThreadPool(), net->ThreadPool());
  std::atomic<int> ran{0};
  action->SetOnExecute([&](TObject*, const std::shared_ptr<IKtParams>&) { ++ran; });
  TKtHostThread* worker = action->Execute({});
  ASSERT_NE(worker, nullptr);
  ASSERT_TRUE(WaitUntil([&] { return ran.load() == 1; }));
  EXPECT_EQ(worker->Name(), "Net");
  List->SetActive(false);
  EXPECT_EQ(action->Execute({}), nullptr);
  List->SetActive(true);
  EXPECT_TRUE(WaitUntil([&] { return action->Execute({}) != nullptr; }));
  ASSERT_TRUE(WaitUntil([&] { return ran.load() == 2; }));
}

TEST_F(ThreadedActionListTest, ListExceptionHandlerIsTheLastResortAndUnhandledReachesMain) {
  TKtThreadedAction* action = AddAction();
  action->SetOnExecute([](TObject*, const std::shared_ptr<IKtParams>&) { throw std::runtime_error("list job"); });
  std::atomic<int> seen{0};
  List->SetExceptionHandler([&](TObject* Sender, const std::exception&, bool& Handled) {
    Handled = Sender == action;
    ++seen;
  });
  ASSERT_NE(action->Execute({}), nullptr);
  ASSERT_TRUE(WaitUntil([&] { return seen.load() == 1; }));
  List->SetExceptionHandler(nullptr);
  ASSERT_TRUE(WaitUntil([&] { return action->Execute({}) != nullptr; }));
  ASSERT_TRUE(WaitUntil([] { return !TestApplication().Exceptions().empty(); }));
  EXPECT_EQ(TestApplication().Exceptions().front(), "list job");
  EXPECT_EQ(seen.load(), 1);
}

TEST_F(ThreadedActionListTest, ReleasedCategoryPoolGetsWorkersAgainAndShutdownStopsAll) {
  List->Categories().Add()->SetName("Net");
  TKtThreadedAction* action = AddAction("Net");
  action->SetCategoryThreadPool(true);
  std::atomic<int> ran{0};
  action->SetOnExecute([&](TObject*, const std::shared_ptr<IKtParams>&) { ++ran; });
  ASSERT_NE(action->Execute({}), nullptr);
  ASSERT_TRUE(WaitUntil([&] { return ran.load() == 1; }));
  action->SetCategory("");  // the last user of Net leaves it
  EXPECT_EQ(List->FindCategory("Net")->ThreadPool()->ThreadCount(), 0);
  action->SetCategory("Net");
  ASSERT_TRUE(WaitUntil([&] { return action->Execute({}) != nullptr; }));
  ASSERT_TRUE(WaitUntil([&] { return ran.load() == 2; }));
  List->Shutdown();
  EXPECT_FALSE(List->Active());
  EXPECT_FALSE(action->Enabled());
  TKtHostThread* worker = nullptr;
  EXPECT_FALSE(List->FindCategory("Net")->ThreadPool()->Acquire(worker, "After"));
}

TEST_F(ThreadedActionListTest, ACategoryJobMayReleaseItsOwnPoolOrShutTheListDown) {
  List->Categories().Add()->SetName("Net");
  TKtThreadedAction* leaving = AddAction("Net");
  TKtThreadedAction* closing = AddAction();
  std::atomic<int> returned{0};
  leaving->SetOnExecute([&](TObject*, const std::shared_ptr<IKtParams>&) {
    leaving->SetCategory("");  // Net's last user, on Net's worker
    ++returned;
  });
  closing->SetOnExecute([&](TObject*, const std::shared_ptr<IKtParams>&) {
    List->Shutdown();  // on a worker of a pool that Shutdown clears
    ++returned;
  });
  for (TKtThreadedAction* action : {leaving, closing}) action->SetCategoryThreadPool(true);
  // A job left waiting for its own worker can never be stopped: the list is left behind so
  // that the run goes on.
  const auto returns = [&](int Count) {
    if (WaitUntil([&] { return returned.load() == Count; })) return true;
    (void)List.release();
    return false;
  };
  ASSERT_NE(leaving->Execute({}), nullptr);
  ASSERT_TRUE(returns(1)) << "the job is not left waiting for itself";
  EXPECT_EQ(leaving->Category(), "");
  EXPECT_EQ(List->FindCategory("Net")->ThreadPool()->ThreadCount(), 0) << "its worker was set aside";
  ASSERT_TRUE(WaitUntil([&] { return leaving->Running() == 0; }));

  ASSERT_NE(closing->Execute({}), nullptr);
  ASSERT_TRUE(returns(2)) << "the job is not left waiting for itself";
  EXPECT_FALSE(List->Active());
  EXPECT_FALSE(closing->Enabled());
  TKtHostThread* worker = nullptr;
  EXPECT_FALSE(List->Categories().Items(0)->ThreadPool()->Acquire(worker, "After"));
  // The workers set aside go with the list; TearDown counts them.
}

TEST_F(ThreadedActionListTest, DestroyingAnActionWhoseJobRunsOnACategoryPoolWaitsForIt) {
  TKtThreadedAction* action = AddAction();
  action->SetCategoryThreadPool(true);
  TGate gate;
  action->SetOnExecute(gate.Job(*action));
  ASSERT_NE(action->Execute({}), nullptr);
  ASSERT_TRUE(WaitUntil([&] { return gate.Entered.load() == 1; }));
  TComponent::Free(action);
  EXPECT_EQ(gate.Left.load(), 1) << "the job saw the action disabled and ended first";
  EXPECT_EQ(List->Count(), 0);
}

TEST_F(ThreadedActionListTest, DefaultCategoryWorkersAreNamedDefault) {
  TKtThreadedAction* action = AddAction();
  action->SetName("Pump");
  action->SetCategoryThreadPool(true);
  std::atomic<int> ran{0};
  action->SetOnExecute([&](TObject*, const std::shared_ptr<IKtParams>&) { ++ran; });
  TKtHostThread* worker = action->Execute({});
  ASSERT_NE(worker, nullptr);
  EXPECT_EQ(worker->Name(), "(Default)");
  EXPECT_EQ(action->ThreadPool(), List->Categories().Items(0)->ThreadPool());
  ASSERT_TRUE(WaitUntil([&] { return ran.load() == 1; }));
}

TEST_F(ThreadedActionListTest, CategoryPoolCountsOnlyInsideAListAndFreesTheOwnPool) {
  TComponentPtr<TKtThreadedAction> loose(new TKtThreadedAction(nullptr));
  loose->SetCategoryThreadPool(true);
  EXPECT_FALSE(loose->CategoryThreadPool()) << "outside a list the own pool is used";
  loose->SetFanout(2);
  EXPECT_EQ(loose->ThreadPool()->Fanout(), 2);

  TKtThreadedAction* action = AddAction();
  std::atomic<int> ran{0};
  action->SetOnExecute([&](TObject*, const std::shared_ptr<IKtParams>&) { ++ran; });
  ASSERT_NE(action->Execute({}), nullptr);  // on a worker of its own pool
  ASSERT_TRUE(WaitUntil([&] { return ran.load() == 1; }));
  EXPECT_EQ(KtHostThreadCount(), FHostThreadsBefore + 1);
  action->SetCategoryThreadPool(true);
  EXPECT_TRUE(action->CategoryThreadPool());
  EXPECT_EQ(KtHostThreadCount(), FHostThreadsBefore) << "the own pool went with its worker";
  action->SetFanout(4);
  EXPECT_EQ(action->Fanout(), 4) << "stored while the category's pool is in use";
  EXPECT_EQ(List->Categories().Items(0)->ThreadPool()->Fanout(), 1) << "the category's pool keeps its own";
}

TEST_F(ThreadedActionListTest, FreeingTheListWhileCategoryJobsRunEndsThemFirst) {
  TGate gate;
  List->Categories().Add()->SetName("Net");
  std::vector<TKtThreadedAction*> actions{AddAction(), AddAction("Net")};
  for (TKtThreadedAction* action : actions) {
    action->SetCategoryThreadPool(true);
    action->SetOnExecute(gate.Job(*action));
    ASSERT_NE(action->Execute({}), nullptr);
  }
  ASSERT_TRUE(WaitUntil([&] { return gate.Entered.load() == 2; }));
  List.reset();
  EXPECT_EQ(gate.Left.load(), 2);
}

TEST_F(ThreadedActionListTest, AnOwnerOfTheListAndItsActionsFreesThemWhileJobsRun) {
  TGate gate;
  auto* form = new TComponent(nullptr);
  auto* list = new TKtThreadedActionList(form);
  // Owned by the form like the list, held by the list as its children.
  for (int i = 0; i < 2; ++i) {
    auto* action = new TKtThreadedAction(form);
    action->SetParent(list);
    action->SetCategoryThreadPool(i == 0);
    action->SetOnExecute(gate.Job(*action));
    ASSERT_NE(action->Execute({}), nullptr);
  }
  ASSERT_TRUE(WaitUntil([&] { return gate.Entered.load() == 2; }));
  TComponent::Free(form);
  EXPECT_EQ(gate.Left.load(), 2);
}

TEST_F(ThreadedActionListTest, ALoadingListStartsWithoutCategoriesAndNamesNone) {
  TComponent owner(nullptr);
  owner.BeginLoading();
  auto* loaded = new TKtThreadedActionList(&owner);  // freed by its owner
  EXPECT_EQ(loaded->Categories().Count(), 0) << "the categories come from the stream";
  loaded->BeginLoading();
  TKtCategory* read = loaded->Categories().Add();
  EXPECT_EQ(read->Name(), "") << "a category being read gets its name from the stream";
  EXPECT_EQ(read->ThreadPool()->Name(), "ThreadPool");
  read->SetName("Net");
  EXPECT_EQ(read->ThreadPool()->Name(), "NetThreadPool");
  loaded->EndLoading();
  owner.EndLoading();
  EXPECT_EQ(loaded->Categories().Add()->Name(), "Category1");
}

TEST_F(ThreadedActionListTest, CopyFromTakesTheNameButNotThePool) {
  TKtCategory* source = List->Categories().Add();
  source->SetName("Net");
  source->ThreadPool()->SetFanout(4);
  TComponentPtr<TKtThreadedActionList> other(new TKtThreadedActionList(nullptr));
  TKtCategory* target = other->Categories().Add();
  target->CopyFrom(*source);
  EXPECT_EQ(target->Name(), "Net");
  EXPECT_NE(target->ThreadPool(), source->ThreadPool());
  EXPECT_EQ(target->ThreadPool()->Fanout(), 4);
}
}  // namespace
