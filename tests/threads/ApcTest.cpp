#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "base/Exception.h"
#include "platform/Apc.h"
#include "platform/MessageWindow.h"
#include "tests/support/WaitUntil.h"

namespace {
using namespace std::chrono;

std::atomic<int> ApcRuns{0};
void CountApc(uintptr_t Data) { ApcRuns += static_cast<int>(Data); }
void RaiseApc(uintptr_t) { throw Exception("raised in APC"); }

milliseconds Since(steady_clock::time_point Start) {
  return duration_cast<milliseconds>(steady_clock::now() - Start);
}

// A thread that publishes its handle and then runs Body.
template <class Body>
std::thread StartThread(THandle& Handle, std::atomic<bool>& Ready, Body&& Run) {
  return std::thread([&Handle, &Ready, Run] {
    Handle = GetCurrentThreadHandle();
    Ready = true;
    Run();
  });
}

class ApcTest : public testing::Test {
protected:
  void SetUp() override { ApcRuns = 0; }
};

TEST_F(ApcTest, AlertableSleepRunsQueuedApcsAndReportsThem) {
  ASSERT_TRUE(QueueUserAPC(CountApc, GetCurrentThreadHandle(), 2));
  ASSERT_TRUE(QueueUserAPC(CountApc, GetCurrentThreadHandle(), 3));
  EXPECT_EQ(ApcRuns.load(), 0) << "an APC runs only inside an alertable wait";
  EXPECT_EQ(SleepEx(100, false), 0u) << "a non-alertable sleep must not run APCs";
  EXPECT_EQ(ApcRuns.load(), 0);
  const auto start = steady_clock::now();
  EXPECT_EQ(SleepEx(5000, true), WAIT_IO_COMPLETION);
  EXPECT_LT(Since(start), milliseconds(1000));
  EXPECT_EQ(ApcRuns.load(), 5);
}

TEST_F(ApcTest, AlertableSleepWithoutApcSleepsItsTime) {
  const auto start = steady_clock::now();
  EXPECT_EQ(SleepEx(30, true), 0u);
  EXPECT_GE(Since(start), milliseconds(30));
}

TEST_F(ApcTest, ApcFromAnotherThreadWakesASleepingWorker) {
  THandle worker;
  std::atomic<bool> ready{false};
  std::atomic<uint32_t> result{0};
  std::atomic<int64_t> sleptMs{0};
  std::thread t = StartThread(worker, ready, [&] {
    const auto start = steady_clock::now();
    result = SleepEx(20000, true);
    sleptMs = Since(start).count();
  });
  ASSERT_TRUE(WaitUntil([&] { return ready.load(); }));
  ASSERT_TRUE(QueueUserAPC(CountApc, worker, 1));
  t.join();
  EXPECT_EQ(result.load(), WAIT_IO_COMPLETION);
  EXPECT_LT(sleptMs.load(), 10000);
  EXPECT_EQ(ApcRuns.load(), 1);
}

TEST_F(ApcTest, AnApcThatRaisesLeavesTheWaitAndKeepsTheRestQueued) {
  ASSERT_TRUE(QueueUserAPC(RaiseApc, GetCurrentThreadHandle(), 0));
  ASSERT_TRUE(QueueUserAPC(CountApc, GetCurrentThreadHandle(), 1));
  EXPECT_THROW(SleepEx(1000, true), Exception);
  EXPECT_EQ(ApcRuns.load(), 0);
  EXPECT_EQ(SleepEx(1000, true), WAIT_IO_COMPLETION);
  EXPECT_EQ(ApcRuns.load(), 1);
}

TEST_F(ApcTest, EndedThreadRefusesApcsAndNoneIsRefused) {
  THandle worker;
  std::atomic<bool> ready{false};
  std::thread t = StartThread(worker, ready, [] {});
  t.join();
  ASSERT_TRUE(worker);
  EXPECT_TRUE(worker->Ended());
  EXPECT_FALSE(QueueUserAPC(CountApc, worker, 1));
  EXPECT_FALSE(QueueUserAPC(CountApc, THandle(), 1));
}

TEST_F(ApcTest, PumpingWaitOnTheMainThreadAnswersMessageApcAndTimeout) {
  std::atomic<int> delivered{0};
  TMessageWindow window([&](uint32_t, WPARAM, LPARAM) -> LRESULT {
    ++delivered;
    return 0;
  });
  // Drain what earlier tests left readable.
  ProcessMessages();

  const auto start = steady_clock::now();
  EXPECT_EQ(MsgWaitForInputEx(40, true), WAIT_TIMEOUT);
  EXPECT_GE(Since(start), milliseconds(40));

  std::thread poster([&] { PostMessage(window.Handle(), WM_USER, 0, 0); });
  poster.join();
  EXPECT_EQ(MsgWaitForInputEx(10000, true), WAIT_OBJECT_0);
  ProcessMessages();
  EXPECT_EQ(delivered.load(), 1);

  const THandle self = GetCurrentThreadHandle();
  std::thread queuer([&] { QueueUserAPC(CountApc, self, 1); });
  queuer.join();
  EXPECT_EQ(MsgWaitForInputEx(10000, true), WAIT_IO_COMPLETION);
  EXPECT_EQ(ApcRuns.load(), 1);
}

TEST_F(ApcTest, PumpingWaitOnAWorkerReturnsOnApcOrTimeout) {
  THandle worker;
  std::atomic<bool> ready{false};
  std::atomic<bool> go{false};
  std::atomic<uint32_t> first{0};
  std::atomic<uint32_t> second{0};
  std::thread t = StartThread(worker, ready, [&] {
    first = MsgWaitForInputEx(10, true);
    go = true;
    second = MsgWaitForInputEx(20000, true);
  });
  ASSERT_TRUE(WaitUntil([&] { return go.load(); }));
  ASSERT_TRUE(QueueUserAPC(CountApc, worker, 1));
  t.join();
  EXPECT_EQ(first.load(), WAIT_TIMEOUT);
  EXPECT_EQ(second.load(), WAIT_IO_COMPLETION);
}
TEST_F(ApcTest, PumpingWaitOnAWorkerWithAWindowAnswersMessageApcAndTimeout) {
  // A worker thread with a message queue of its own but no Qt event loop.
  THandle worker;
  HWND window = 0;
  std::atomic<bool> ready{false};
  std::atomic<bool> posted{false};
  std::atomic<bool> apcQueued{false};
  std::atomic<int> delivered{0};
  std::atomic<uint32_t> timedOut{0};
  std::atomic<uint32_t> onMessage{0};
  std::atomic<uint32_t> onApc{0};
  std::thread t([&] {
    TMessageWindow own([&](uint32_t, WPARAM, LPARAM) -> LRESULT {
      ++delivered;
      return 0;
    });
    window = own.Handle();
    worker = GetCurrentThreadHandle();
    timedOut = MsgWaitForInputEx(10, true);
    ready = true;
    while (!posted.load()) std::this_thread::yield();
    onMessage = MsgWaitForInputEx(20000, true);
    ProcessMessages();
    while (!apcQueued.load()) std::this_thread::yield();
    onApc = MsgWaitForInputEx(20000, true);
  });
  ASSERT_TRUE(WaitUntil([&] { return ready.load(); }));
  ASSERT_TRUE(PostMessage(window, WM_USER, 0, 0));
  posted = true;
  ASSERT_TRUE(WaitUntil([&] { return delivered.load() == 1; }));
  ASSERT_TRUE(QueueUserAPC(CountApc, worker, 1));
  apcQueued = true;
  t.join();
  EXPECT_EQ(timedOut.load(), WAIT_TIMEOUT);
  EXPECT_EQ(onMessage.load(), WAIT_OBJECT_0);
  EXPECT_EQ(onApc.load(), WAIT_IO_COMPLETION);
  EXPECT_EQ(ApcRuns.load(), 1);
}
}  // namespace
