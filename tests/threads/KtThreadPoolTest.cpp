#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "platform/MessageWindow.h"
#include "tests/support/TestApplication.h"
#include "tests/support/WaitUntil.h"
#include "tests/threads/ThreadsTestEnvironment.h"
#include "threads/KtDebugLogViewer.h"
#include "threads/KtNotifyProxy.h"
#include "threads/KtThreads.h"

namespace {
using namespace std::chrono;

// A pool without owner, freed at the end of the test.
TComponentPtr<TKtCustomThreadPool> MakePool(int Fanout) {
  TComponentPtr<TKtCustomThreadPool> pool(new TKtCustomThreadPool(nullptr));
  pool->SetFanout(Fanout);
  return pool;
}

// A job that runs until released (or until its worker is stopped).
struct TGate {
  std::atomic<bool> Open{false};
  std::atomic<int> Entered{0};
  std::atomic<int> Left{0};
  TKtThreadExecuteEvent Job() {
    return [this](TObject* Sender, const std::shared_ptr<IKtParams>&) {
      ++Entered;
      auto* host = static_cast<TKtHostThread*>(Sender);
      while (!Open.load() && !host->Terminated()) std::this_thread::sleep_for(milliseconds(1));
      ++Left;
    };
  }
};

// Reserves a worker of Pool and hands it Job; answers the worker or nullptr. A new worker
// holds its lock while its loop starts, so Acquire is retried for a while.
TKtHostThread* Start(TKtCustomThreadPool& Pool, TKtThreadExecuteEvent Job, TKtThreadExceptionEvent OnError = {},
                     TVarRecs Params = {}) {
  TKtHostThread* worker = nullptr;
  if (!WaitUntil([&] { return Pool.Acquire(worker, "TestWorker"); }, seconds(5))) return nullptr;
  try {
    worker->Execute(Params, std::move(OnError), std::move(Job), {});
  } catch (...) {
    worker->Release();
    throw;
  }
  worker->Release();
  return worker;
}

class KtThreadPoolTest : public testing::Test {
protected:
  void SetUp() override {
    CurrentHostThread();  // the main thread's own host thread is no worker
    FHostThreadsBefore = KtHostThreadCount();
  }
  void TearDown() override {
    EXPECT_TRUE(WaitUntil([&] { return KtHostThreadCount() <= FHostThreadsBefore; }))
        << "every worker must be gone with its pool";
  }
  int FHostThreadsBefore = 0;
};

TEST_F(KtThreadPoolTest, JobRunsOnAWorkerWithItsParameters) {
  auto pool = MakePool(1);
  std::atomic<int> seen{0};
  std::atomic<bool> onOtherThread{false};
  const auto mainThread = std::this_thread::get_id();
  TKtHostThread* worker = Start(
      *pool,
      [&](TObject*, const std::shared_ptr<IKtParams>& Params) {
        onOtherThread = std::this_thread::get_id() != mainThread;
        // One statement each: the list's single accessor moves with every Param call.
        const int number = Params->Param(0).AsInteger();
        seen = number + static_cast<int>(Params->Param(1).AsString().size());
      },
      {}, {40, std::string("ab")});
  ASSERT_NE(worker, nullptr);
  ASSERT_TRUE(WaitUntil([&] { return seen.load() == 42; }));
  EXPECT_TRUE(onOtherThread.load());
  EXPECT_TRUE(WaitUntil([&] { return worker->JobCount() == 1 && !worker->State().Contains(TKtHostThreadMark::Executing); }));
  EXPECT_TRUE(worker->State().Contains(TKtHostThreadMark::Running));
}

TEST_F(KtThreadPoolTest, BusyFanoutOnePoolRefusesAndThenReusesItsWorker) {
  auto pool = MakePool(1);
  TGate gate;
  TKtHostThread* worker = Start(*pool, gate.Job());
  ASSERT_NE(worker, nullptr);
  ASSERT_TRUE(WaitUntil([&] { return gate.Entered.load() == 1; }));
  TKtHostThread* second = nullptr;
  EXPECT_FALSE(pool->Acquire(second, "Second"));
  EXPECT_EQ(second, nullptr);
  EXPECT_EQ(pool->ThreadCount(), 1) << "a busy pool must not grow beyond its fanout";
  EXPECT_FALSE(pool->CanExecute());
  try {
    worker->Execute({}, {}, gate.Job(), {});
    FAIL() << "a running worker must refuse a job";
  } catch (const EKtThreadBusy& e) {
    EXPECT_EQ(e.Message(), "Execute: Thread busy");
  }
  gate.Open = true;
  ASSERT_TRUE(WaitUntil([&] { return gate.Left.load() == 1 && pool->CanExecute(); }));
  TKtHostThread* reused = nullptr;
  ASSERT_TRUE(WaitUntil([&] { return pool->Acquire(reused, "Again"); }));
  EXPECT_EQ(reused, worker) << "the idle worker is reused";
  reused->Release();
}

TEST_F(KtThreadPoolTest, LoweredFanoutTrimsIdleSurplusButKeepsBusyWorkers) {
  auto pool = MakePool(3);
  TGate busy;
  TGate held;
  // All three jobs stay inside their handler until the pool has three workers: a job that
  // ended early would let its worker be reused and the pool would never reach three.
  ASSERT_NE(Start(*pool, busy.Job()), nullptr);
  ASSERT_NE(Start(*pool, held.Job()), nullptr);
  ASSERT_NE(Start(*pool, held.Job()), nullptr);
  ASSERT_TRUE(WaitUntil([&] { return busy.Entered.load() == 1 && held.Entered.load() == 2; }));
  EXPECT_EQ(pool->ThreadCount(), 3);
  held.Open = true;
  ASSERT_TRUE(WaitUntil([&] { return held.Left.load() == 2 && pool->Active() == 1; }));
  pool->SetFanout(2);
  TKtHostThread* worker = nullptr;
  ASSERT_TRUE(WaitUntil([&] { return pool->Acquire(worker, "Trimmed"); }));
  worker->Release();
  EXPECT_EQ(pool->ThreadCount(), 2) << "one idle worker is freed, the busy one stays";
  EXPECT_EQ(busy.Left.load(), 0);
  busy.Open = true;
  ASSERT_TRUE(WaitUntil([&] { return busy.Left.load() == 1 && pool->Active() == 0; }));
  pool->SetFanout(1);
  ASSERT_TRUE(WaitUntil([&] { return pool->Acquire(worker, "Trimmed"); }));
  worker->Release();
  EXPECT_EQ(pool->ThreadCount(), 1) << "the worker that was busy is trimmed once it idles";
}

TEST_F(KtThreadPoolTest, GrowingPoolReservesItsNewWorkerAtOnce) {
  // A new worker holds its lock while its loop starts; Acquire must not answer false for
  // a worker it has just created. Several fresh pools make that moment likely to be hit.
  for (int round = 0; round < 20; ++round) {
    auto pool = MakePool(1);
    TKtHostThread* worker = nullptr;
    ASSERT_TRUE(pool->Acquire(worker, "Fresh")) << "round " << round;
    ASSERT_NE(worker, nullptr);
    EXPECT_EQ(pool->ThreadCount(), 1);
    worker->Release();
  }
}

TEST_F(KtThreadPoolTest, FailedPrologMarksTheWorkerDeadDropsTheJobAndReportsIt) {
  auto pool = MakePool(1);
  std::atomic<int> prologs{0};
  std::atomic<int> reported{0};
  std::string reportedText;
  std::mutex textLock;
  pool->OnProlog = [&](TObject*) {
    if (++prologs == 1) throw Exception("prolog failed");
  };
  pool->SetExceptionHandler([&](TObject*, const std::exception& E, bool& Handled) {
    std::lock_guard<std::mutex> guard(textLock);
    reportedText = E.what();
    Handled = true;
    ++reported;
  });
  std::atomic<int> ran{0};
  auto job = [&](TObject*, const std::shared_ptr<IKtParams>&) { ++ran; };
  TKtHostThread* first = Start(*pool, job);
  ASSERT_NE(first, nullptr);
  ASSERT_TRUE(WaitUntil([&] { return first->State() == TKtHostThreadState{TKtHostThreadMark::Dead}; }));
  EXPECT_EQ(reported.load(), 1);
  {
    std::lock_guard<std::mutex> guard(textLock);
    EXPECT_EQ(reportedText, "prolog failed");
  }
  EXPECT_EQ(ran.load(), 0) << "the job handed to a dead worker is dropped";
  ASSERT_NE(Start(*pool, job), nullptr) << "the next Acquire replaces the dead worker";
  EXPECT_TRUE(WaitUntil([&] { return ran.load() == 1; }));
  EXPECT_EQ(pool->ThreadCount(), 1);
  EXPECT_EQ(prologs.load(), 2);
}

TEST_F(KtThreadPoolTest, JobExceptionGoesToItsHandlerOrElseToTheMainThread) {
  auto pool = MakePool(1);
  std::atomic<int> handled{0};
  auto failing = [](TObject*, const std::shared_ptr<IKtParams>&) { throw Exception("job failed"); };
  ASSERT_NE(Start(*pool, failing,
                  [&](TObject*, const std::exception& E, bool& Handled) {
                    Handled = std::string(E.what()) == "job failed";
                    ++handled;
                  }),
            nullptr);
  ASSERT_TRUE(WaitUntil([&] { return handled.load() == 1; }));
  EXPECT_TRUE(TestApplication().Exceptions().empty()) << "a handled exception stays off the main thread";

  TKtHostThread* worker = nullptr;
  ASSERT_TRUE(WaitUntil([&] { return pool->Acquire(worker, "Unhandled"); }));
  worker->Execute({}, {}, failing, {});
  worker->Release();
  EXPECT_TRUE(WaitUntil([] {
    const auto raised = TestApplication().Exceptions();
    return raised.size() == 1 && raised[0] == "job failed";
  })) << "an unhandled job exception is raised again on the main thread";
  EXPECT_FALSE(worker->State().Contains(TKtHostThreadMark::Dead)) << "a job's exception never ends the worker";
}

TEST_F(KtThreadPoolTest, LongAlertableJobIsStoppedByTheApcWithoutFailureReport) {
  auto pool = MakePool(1);
  std::atomic<bool> waiting{false};
  std::atomic<bool> unwound{false};
  std::atomic<int> reported{0};
  std::atomic<int> epilogs{0};
  pool->OnEpilog = [&](TObject*) { ++epilogs; };
  pool->SetExceptionHandler([&](TObject*, const std::exception&, bool&) { ++reported; });
  ASSERT_NE(Start(*pool,
                  [&](TObject*, const std::shared_ptr<IKtParams>&) {
                    waiting = true;
                    try {
                      WaitFor(60000);
                    } catch (const EKtThreadTerminated&) {
                      unwound = true;
                      throw;
                    }
                  },
                  [&](TObject*, const std::exception&, bool&) { ++reported; }),
            nullptr);
  ASSERT_TRUE(WaitUntil([&] { return waiting.load(); }));
  const auto start = steady_clock::now();
  pool.reset();
  EXPECT_LT(steady_clock::now() - start, seconds(10));
  EXPECT_TRUE(unwound.load());
  EXPECT_EQ(reported.load(), 0) << "the stop is not a job failure";
  EXPECT_EQ(epilogs.load(), 1);
  EXPECT_TRUE(TestApplication().Exceptions().empty());
}

TEST_F(KtThreadPoolTest, StoppingAPoolEndsBusyAndIdleWorkers) {
  auto pool = MakePool(3);
  TGate busy;
  TGate quick;
  quick.Open = true;
  ASSERT_NE(Start(*pool, busy.Job()), nullptr);
  ASSERT_NE(Start(*pool, busy.Job()), nullptr);
  ASSERT_NE(Start(*pool, quick.Job()), nullptr);
  ASSERT_TRUE(WaitUntil([&] { return busy.Entered.load() == 2 && quick.Left.load() == 1; }));
  EXPECT_EQ(KtHostThreadCount(), FHostThreadsBefore + 3);
  pool->Clear();
  EXPECT_EQ(KtHostThreadCount(), FHostThreadsBefore) << "Clear waits for every worker";
  EXPECT_EQ(busy.Left.load(), 2) << "busy jobs see Terminated and return";
  TKtHostThread* none = nullptr;
  EXPECT_FALSE(pool->Acquire(none, "AfterClear"));
}

TEST_F(KtThreadPoolTest, WorkerThatCannotBeWaitedForIsMarkedDeadAndStillStopped) {
  KtSetCanWait(false);
  auto pool = MakePool(1);
  TGate gate;
  TKtHostThread* worker = Start(*pool, gate.Job());
  ASSERT_NE(worker, nullptr);
  ASSERT_TRUE(WaitUntil([&] { return gate.Entered.load() == 1; }));
  pool.reset();
  KtSetCanWait(true);
  EXPECT_EQ(gate.Left.load(), 1) << "its job saw Terminated before the pool went";
  EXPECT_EQ(KtHostThreadCount(), FHostThreadsBefore);
}

TEST_F(KtThreadPoolTest, WorkerKeepsItsHostThreadWhenTheUnitEndsAndStartsAgain) {
  auto pool = MakePool(1);
  std::atomic<int> ran{0};
  TKtHostThread* worker = Start(*pool, [&](TObject*, const std::shared_ptr<IKtParams>&) { ++ran; });
  ASSERT_NE(worker, nullptr);
  ASSERT_TRUE(WaitUntil([&] { return ran.load() == 1; }));
  KtThreadsFinish();
  KtThreadsStart();
  std::atomic<TKtHostThread*> own{nullptr};
  std::atomic<bool> sawTerminated{false};
  // Like the device link's loop, the job polls its own host thread; it gives up after a
  // wide margin only so that a worker that never sees Terminated fails instead of hanging.
  const auto polls = [&](TObject*, const std::shared_ptr<IKtParams>&) {
    TKtHostThread* host = CurrentHostThread();
    own = host;
    const auto giveUp = steady_clock::now() + seconds(10);
    while (!host->Terminated() && steady_clock::now() < giveUp) std::this_thread::sleep_for(milliseconds(1));
    sawTerminated = host->Terminated();
  };
  ASSERT_EQ(Start(*pool, polls), worker) << "the idle worker is reused";
  ASSERT_TRUE(WaitUntil([&] { return own.load() != nullptr; }));
  EXPECT_EQ(own.load(), worker);
  pool.reset();
  EXPECT_TRUE(sawTerminated.load()) << "stopping the worker ended the job that polls it";
}

TEST_F(KtThreadPoolTest, RunningJobKeepsItsHostThreadWhenTheUnitEndsAndStartsAgain) {
  auto pool = MakePool(1);
  std::atomic<bool> restarted{false};
  std::atomic<TKtHostThread*> afterRestart{nullptr};
  std::atomic<bool> sawTerminated{false};
  // The job asks for its host thread on every round, as code deep inside a job does; it
  // gives up after a wide margin only so that a job that never sees Terminated fails
  // instead of hanging.
  const auto polls = [&](TObject*, const std::shared_ptr<IKtParams>&) {
    const auto giveUp = steady_clock::now() + seconds(10);
    TKtHostThread* host = CurrentHostThread();
    while (!host->Terminated() && steady_clock::now() < giveUp) {
      std::this_thread::sleep_for(milliseconds(1));
      host = CurrentHostThread();
      if (restarted.load() && afterRestart.load() == nullptr) afterRestart = host;
    }
    sawTerminated = host->Terminated();
  };
  TKtHostThread* worker = Start(*pool, polls);
  ASSERT_NE(worker, nullptr);
  ASSERT_TRUE(WaitUntil([&] { return worker->JobCount() == 1; }));
  KtThreadsFinish();
  KtThreadsStart();
  restarted = true;
  ASSERT_TRUE(WaitUntil([&] { return afterRestart.load() != nullptr; }));
  EXPECT_EQ(afterRestart.load(), worker) << "the job still sees its own worker";
  pool.reset();
  EXPECT_TRUE(sawTerminated.load()) << "stopping the worker ended the job that polls it";
}

TEST_F(KtThreadPoolTest, PoolIsClearedWhenItsOwnerGoes) {
  auto owner = std::make_unique<TComponent>(nullptr);
  TComponentPtr<TKtCustomThreadPool> pool(new TKtCustomThreadPool(owner.get()));
  TGate gate;
  gate.Open = true;
  ASSERT_NE(Start(*pool, gate.Job()), nullptr);
  ASSERT_TRUE(WaitUntil([&] { return gate.Left.load() == 1; }));
  pool.release();  // the owner frees it
  TComponent::Free(owner.release());
}

TEST_F(KtThreadPoolTest, WorkerLogsItsLoopAndResultProxiesTheirSerials) {
  TKtDebugLogViewer viewer(TestAnnouncementName());
  ASSERT_GT(viewer.Announce(), 0);
  auto pool = MakePool(1);
  std::atomic<int> serial{0};
  ASSERT_NE(Start(*pool,
                  [&](TObject* Sender, const std::shared_ptr<IKtParams>&) {
                    const auto proxy = ResultProxy(static_cast<TKtHostThread*>(Sender));
                    serial = std::dynamic_pointer_cast<TKtParams>(proxy)->Serial();
                  }),
            nullptr);
  ASSERT_TRUE(WaitUntil([&] { return serial.load() > 0; }));
  pool.reset();
  const std::string created = "Create TKtResultProxy SN = " + std::to_string(serial.load()) + "|";
  std::string received;
  EXPECT_TRUE(WaitUntil([&] {
    received = viewer.Poll(5);
    return received.find("HostThread Execute Poll terminated|") != std::string::npos;
  }));
  const size_t started = received.find("HostThread Execute Poll initiated|");
  const size_t proxy = received.find(created);
  const size_t ended = received.find("HostThread Execute Poll terminated|");
  ASSERT_NE(started, std::string::npos) << received;
  ASSERT_NE(proxy, std::string::npos) << received;
  EXPECT_LT(started, proxy);
  EXPECT_LT(proxy, ended);
}

TEST_F(KtThreadPoolTest, FanoutOutsideItsRangeIsRefused) {
  auto pool = MakePool(1);
  EXPECT_THROW(pool->SetFanout(0), Exception);
  EXPECT_THROW(pool->SetFanout(21), Exception);
  EXPECT_EQ(pool->Fanout(), 1);
}

TEST_F(KtThreadPoolTest, FailedJobWithAWaitingCallerRaisesCalleeErrorThere) {
  auto pool = MakePool(1);
  pool->SetExceptionHandler([](TObject*, const std::exception&, bool& Handled) { Handled = true; });
  TKtHostThread* worker = nullptr;
  ASSERT_TRUE(pool->Acquire(worker, "Callee"));
  worker->Execute(
      {}, [](TObject*, const std::exception&, bool& Handled) { Handled = true; },
      [](TObject* Sender, const std::shared_ptr<IKtParams>&) {
        ResultProxy(static_cast<TKtHostThread*>(Sender));
        throw Exception("callee failed");
      },
      {});
  worker->Release();
  try {
    WaitFor(10000);
    FAIL() << "the caller's wait must end with the callee's failure";
  } catch (const EKtThreadCalleeError& e) {
    EXPECT_EQ(e.Message(), "Execution of ThreadedAction Failed");
  }
}

TEST(KtWaitTest, WaitForZeroReturnsAtOnce) {
  const auto start = steady_clock::now();
  WaitFor(0);
  EXPECT_LT(steady_clock::now() - start, milliseconds(100));
}

TEST(KtWaitTest, WaitForPumpsMessagesAndWaitsOutItsTime) {
  std::atomic<int> delivered{0};
  TMessageWindow window([&](uint32_t, WPARAM, LPARAM) -> LRESULT {
    ++delivered;
    return 0;
  });
  std::thread poster([&] { PostMessage(window.Handle(), WM_USER, 0, 0); });
  poster.join();
  const auto start = steady_clock::now();
  WaitFor(300);
  const auto waited = steady_clock::now() - start;
  EXPECT_EQ(delivered.load(), 1) << "the wait dispatches the messages that arrive";
  EXPECT_GE(waited, milliseconds(300)) << "a message does not end the wait";
}

TEST(KtWaitTest, WaitForOnAThreadWithoutMessagesTimesOut) {
  std::atomic<int64_t> waitedMs{-1};
  std::thread t([&] {
    const auto start = steady_clock::now();
    WaitFor(50);
    waitedMs = duration_cast<milliseconds>(steady_clock::now() - start).count();
  });
  t.join();
  EXPECT_GE(waitedMs.load(), 50);
  EXPECT_LT(waitedMs.load(), 10000);
}

TEST(KtWaitTest, SignalApcEndsTheWaitAndASecondOneIsReported) {
  std::atomic<TKtHostThread*> waiter{nullptr};
  std::atomic<int64_t> waitedMs{-1};
  std::thread t([&] {
    waiter = CurrentHostThread();
    const auto start = steady_clock::now();
    WaitFor(30000);
    waitedMs = duration_cast<milliseconds>(steady_clock::now() - start).count();
  });
  ASSERT_TRUE(WaitUntil([&] { return waiter.load() != nullptr; }));
  ASSERT_TRUE(QueueSignalAPC(waiter.load()));
  t.join();
  EXPECT_GE(waitedMs.load(), 0);
  EXPECT_LT(waitedMs.load(), 10000);

  std::string raised;
  std::thread twice([&] {
    TKtHostThread* self = CurrentHostThread();
    QueueSignalAPC(self);
    QueueSignalAPC(self);
    try {
      WaitFor(10000);
    } catch (const EKtThreadUnhandledAPC& e) {
      raised = e.Message();
    }
  });
  twice.join();
  EXPECT_EQ(raised, "Previous APC not handled");
}

TEST(KtWaitTest, ApcWithoutHandlerIsUnexpected) {
  std::string raised;
  std::thread t([&] {
    CurrentHostThread()->QueueAPC([](uintptr_t) {}, 0);
    try {
      WaitFor(10000);
    } catch (const EKtThread& e) {
      raised = e.Message();
    }
  });
  t.join();
  EXPECT_EQ(raised, "Unexpected APC");
}

TEST(KtResultProxyTest, SignalledProxyReturnsAtOnceAndSignalWakesTheWaiter) {
  auto proxy = std::make_shared<TKtResultProxy>();
  proxy->Signal(nullptr);
  const auto start = steady_clock::now();
  proxy->WaitFor(10000);
  EXPECT_LT(steady_clock::now() - start, milliseconds(1000));

  auto pending = std::make_shared<TKtResultProxy>();
  std::atomic<TKtHostThread*> waiter{nullptr};
  std::atomic<bool> done{false};
  std::thread t([&] {
    waiter = CurrentHostThread();
    pending->WaitFor(30000);
    done = true;
  });
  ASSERT_TRUE(WaitUntil([&] { return waiter.load() != nullptr; }));
  pending->Signal(waiter.load());
  EXPECT_TRUE(WaitUntil([&] { return done.load(); }));
  t.join();
  EXPECT_TRUE(pending->Signalled());
}

TEST(KtAdoptionTest, FourthThreadIsAdoptedBesideThreeLiveOnesAndEndedOnesArePurged) {
  std::atomic<int> adopted{0};
  std::atomic<bool> release{false};
  std::vector<std::thread> threads;
  for (int i = 0; i < 4; ++i) {
    threads.emplace_back([&] {
      CurrentHostThread();
      ++adopted;
      while (!release.load()) std::this_thread::sleep_for(milliseconds(1));
    });
  }
  ASSERT_TRUE(WaitUntil([&] { return adopted.load() == 4; }));
  const int withFour = AdoptedThreadCount();
  EXPECT_GE(withFour, 4) << "live entries stay, so the register may hold more than 3";
  release = true;
  for (auto& t : threads) t.join();
  std::thread late([] { CurrentHostThread(); });
  late.join();
  EXPECT_LE(AdoptedThreadCount(), withFour - 3) << "ended threads are purged at the next adoption";
  EXPECT_EQ(CurrentHostThread(), CurrentHostThread()) << "a thread is adopted once";
}

TEST(KtThreadLockTest, BothVariantsAreReentrant) {
  TKtThreadLock2000 section;
  TKtThreadLock98 mutex;
  for (TKtThreadLock* lock : {static_cast<TKtThreadLock*>(&section), static_cast<TKtThreadLock*>(&mutex)}) {
    lock->Lock();
    EXPECT_TRUE(lock->TryLock());
    std::atomic<bool> otherGot{true};
    std::thread other([&] {
      otherGot = lock->TryLock();
      if (otherGot) lock->Unlock();
    });
    other.join();
    EXPECT_FALSE(otherGot.load());
    lock->Unlock();
    lock->Unlock();
    std::thread after([&] {
      otherGot = lock->TryLock();
      if (otherGot) lock->Unlock();
    });
    after.join();
    EXPECT_TRUE(otherGot.load());
  }
}
}  // namespace
