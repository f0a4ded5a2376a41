#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <thread>

#include "base/Thread.h"

namespace {
class TLoopingThread : public TThread {
public:
  ~TLoopingThread() override { TerminateAndWait(); }
  std::atomic<int> Rounds{0};

protected:
  void Execute() override {
    while (!Terminated()) {
      ++Rounds;
      std::this_thread::yield();
    }
  }
};

class TSelfFreeing : public TThread {
public:
  explicit TSelfFreeing(std::atomic<bool>& Destroyed) : FDestroyed(Destroyed) { SetFreeOnTerminate(true); }
  ~TSelfFreeing() override { FDestroyed.store(true); }

protected:
  void Execute() override {}

private:
  std::atomic<bool>& FDestroyed;
};
}  // namespace

TEST(Thread, CreatedSuspendedRunsAfterStartAndStopsOnTerminate) {
  auto thread = std::make_unique<TLoopingThread>();
  EXPECT_FALSE(thread->Started());
  EXPECT_EQ(thread->Rounds.load(), 0);
  thread->Start();
  while (thread->Rounds.load() == 0) std::this_thread::yield();
  EXPECT_NE(thread->ThreadID(), std::thread::id());
  thread->Terminate();
  thread->WaitFor();
  EXPECT_TRUE(thread->Finished());
  // A still-running thread is stopped by its destructor.
  auto running = std::make_unique<TLoopingThread>();
  running->Start();
  running.reset();
}

TEST(Thread, FreeOnTerminateDeletesItselfWhenDone) {
  std::atomic<bool> destroyed{false};
  auto* thread = new TSelfFreeing(destroyed);
  thread->Start();
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (!destroyed.load() && std::chrono::steady_clock::now() < deadline) std::this_thread::yield();
  EXPECT_TRUE(destroyed.load());
}
