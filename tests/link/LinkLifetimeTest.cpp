// Starting and stopping the loop: no job outlives its object, and no stop wedges the window.
#include <chrono>
#include <thread>

#include "tests/link/LinkFixture.h"
#include "tests/support/ScriptedDevice.h"
#include "tests/support/WaitUntil.h"
#include "threads/KtHostThread.h"
#include "threads/KtThreadPool.h"

namespace {
// A socket action whose loop only counts its passes until it is told to stop.
class TCountingLoop : public TSckBase {
public:
  TCountingLoop() { StartLoop(); }
  ~TCountingLoop() override { EndLoop(); }
  std::atomic<int> Passes{0};
  // Loops of any such action still inside RunLoop.
  static inline std::atomic<int> Inside{0};

protected:
  void RunLoop(TObject*, const std::shared_ptr<IKtParams>& Params) override {
    ++Inside;
    Greeting = Params->Param(0).AsString();
    while (!CurrentHostThread()->Terminated() && LoopMayRun()) {
      ++Passes;
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    --Inside;
  }

public:
  std::string Greeting;
};

using TClock = std::chrono::steady_clock;
}  // namespace

TEST(SocketActionBase, RunsTheLoopWithTheGreetingAndStopsItOnDestruction) {
  auto action = std::make_unique<TCountingLoop>();
  ASSERT_TRUE(WaitUntil([&] { return action->Passes.load() > 3; }));
  EXPECT_TRUE(action->LoopRunning());
  EXPECT_EQ(action->Greeting, "Hello, World");
  EXPECT_EQ(action->SignalClient().Name(), "Signal");
  EXPECT_EQ(action->TimerPool().Count(), 0);
  action.reset();
}

TEST(SocketActionBase, DestructionRightAfterConstructionWaitsForTheJobOrKeepsItFromRunning) {
  // Freed before the job has started, or between its start and its first pass: a job
  // left running, or a stop request overwritten, hangs or crashes here.
  for (int i = 0; i < 300; ++i) {
    { TCountingLoop action; }
    ASSERT_EQ(TCountingLoop::Inside.load(), 0) << "a loop outlived its object, round " << i;
  }
}

TEST(SocketActionBase, ALoopEndedByItsWorkerStillStopsOnTheMainThread) {
  TKtNotifier notifier(nullptr);
  TCountingLoop action;
  action.SetNotifier(&notifier);
  ASSERT_TRUE(WaitUntil([&] { return action.Passes.load() > 0; }));
  action.ThreadPool()->Clear();  // terminates the worker
  ASSERT_TRUE(WaitUntil([&] { return action.LoopStop() == lpStopped; }));
  EXPECT_FALSE(action.LoopRunning());
  EXPECT_EQ(action.Notifier(), nullptr);
  EXPECT_FALSE(action.Enabled());
}

TEST_F(LinkTest, DestructionEndsWithinASecondInEveryState) {
  TScriptedDevice device("127.60.2.1");
  // Created only.
  StartLink("127.60.2.1");
  auto began = TClock::now();
  DestroyLink();
  EXPECT_LT(TClock::now() - began, std::chrono::seconds(1));

  // Connecting: the device accepts nothing until the link gives up.
  device.SetRejecting(true);
  StartLink("127.60.2.1");
  ASSERT_TRUE(WaitForStateEntries(lsConnecting, 1));
  began = TClock::now();
  DestroyLink();
  EXPECT_LT(TClock::now() - began, std::chrono::seconds(1));

  // Connected.
  device.SetRejecting(false);
  Notifications.clear();
  StartLink("127.60.2.1");
  ASSERT_TRUE(WaitForNotifications(1));
  began = TClock::now();
  DestroyLink();
  EXPECT_LT(TClock::now() - began, std::chrono::seconds(1));
  EXPECT_TRUE(WaitUntil([&] { return !device.HasConnection(); }));
  // Nothing is reported once the link is gone.
  const size_t reported = Notifications.size();
  WaitUntil([] { return false; }, std::chrono::milliseconds(100));
  EXPECT_EQ(Notifications.size(), reported);
}

TEST_F(LinkTest, TheWindowThreadMayStopTheLinkWhileItIsTheOneBeingWaitedFor) {
  TScriptedDevice device("127.60.2.2");
  StartLink("127.60.2.2");
  ASSERT_TRUE(WaitForNotifications(1));
  // The closing sequence: Close, then wait on this thread, pumping, until it is down.
  Link->Close();
  ASSERT_TRUE(WaitUntil([&] { return !Link->Connected(); }, std::chrono::seconds(4)));
  const auto began = TClock::now();
  DestroyLink();
  EXPECT_LT(TClock::now() - began, std::chrono::seconds(1));
}
