#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "platform/MessageQueue.h"

namespace {
// A loop binding that records each drain the queue arranges, in milliseconds from then.
class TRecordingBinding final : public TEventLoopBinding {
public:
  explicit TRecordingBinding(std::vector<int>& Arranged) : FArranged(Arranged) {}
  void ScheduleTimers(int Milliseconds) override { FArranged.push_back(Milliseconds); }

private:
  std::vector<int>& FArranged;
};

struct TArrangementStep {
  std::string Name;
  std::function<void(TMessageQueue&, TMessageWindow&)> Action;
  // Drains arranged by the step; the last one's wait, -1 for none.
  size_t NewArrangements;
  int LastWaitAtLeast;
};
}  // namespace

TEST(MessageQueueTest, TheLoopsDrainIsArrangedAgainOnlyWhenTheNextTimersDueTimeMoves) {
  const auto deliverMessages = [](TMessageQueue& Queue, TMessageWindow& Window) {
    for (int i = 0; i < 50; ++i) {
      PostMessage(Window.Handle(), WM_USER, 0, i);
      Queue.DeliverPending();
    }
  };
  const std::vector<TArrangementStep> steps = {
      {"a timer is set", [](TMessageQueue&, TMessageWindow& W) { W.SetTimer(1, 60'000); }, 1, 50'000},
      {"messages pass, the timer stays", deliverMessages, 0, 0},
      {"an earlier timer is set", [](TMessageQueue&, TMessageWindow& W) { W.SetTimer(2, 30'000); }, 1, 20'000},
      {"the earlier timer is killed", [](TMessageQueue&, TMessageWindow& W) { W.KillTimer(2); }, 1, 20'000},
      // A loop timer may come before the queue's clock finds the timer due: nothing is
      // delivered, and the drain must be arranged again or the timer would never tick.
      {"the arranged drain comes early",
       [](TMessageQueue& Q, TMessageWindow&) {
         Q.ArrangedDrainCame();
         Q.DeliverPending();
       },
       1, 20'000},
      {"the last timer is killed", [](TMessageQueue&, TMessageWindow& W) { W.KillTimer(1); }, 1, -1},
      {"messages pass without timers", deliverMessages, 0, 0},
  };
  // A worker: its queue has no Qt binding of its own, so the recording one stands in.
  std::thread worker([&] {
    const auto queue = TMessageQueue::ForCurrentThread();
    std::vector<int> arranged;
    queue->AttachBinding(new TRecordingBinding(arranged));
    TMessageWindow window([](uint32_t, WPARAM, LPARAM) { return LRESULT{0}; });
    for (const TArrangementStep& step : steps) {
      SCOPED_TRACE(step.Name);
      const size_t before = arranged.size();
      step.Action(*queue, window);
      ASSERT_EQ(arranged.size() - before, step.NewArrangements);
      if (step.NewArrangements == 0) continue;
      if (step.LastWaitAtLeast < 0) {
        EXPECT_EQ(arranged.back(), -1);
      } else {
        EXPECT_GE(arranged.back(), step.LastWaitAtLeast);
      }
    }
  });
  worker.join();
}

TEST(MessageQueueTest, ATimerRemovedByAnEarlierTickOfThePassDoesNotTick) {
  std::thread worker([] {
    const auto queue = TMessageQueue::ForCurrentThread();
    std::vector<WPARAM> ticks;
    std::unique_ptr<TMessageWindow> other;
    TMessageWindow window([&](uint32_t Msg, WPARAM WParam, LPARAM) {
      if (Msg != WM_TIMER) return LRESULT{0};
      ticks.push_back(WParam);
      if (WParam != 1) return LRESULT{0};
      // Both ways a procedure removes timers: killing one, and destroying their window.
      window.KillTimer(2);
      other.reset();
      return LRESULT{0};
    });
    other = std::make_unique<TMessageWindow>([&](uint32_t Msg, WPARAM WParam, LPARAM) {
      if (Msg == WM_TIMER) ticks.push_back(WParam);
      return LRESULT{0};
    });
    window.SetTimer(1, 10);
    window.SetTimer(2, 10);
    other->SetTimer(3, 10);
    // All three due at once, so that one pass finds them together.
    std::this_thread::sleep_for(std::chrono::milliseconds(40));
    queue->DeliverPending();
    EXPECT_EQ(ticks, std::vector<WPARAM>{1});
  });
  worker.join();
}

// The loop of a thread without Qt: each kind of input ends one wait and is delivered in it.
TEST(MessageQueueTest, EachKindOfInputEndsOneWaitAndIsDeliveredInIt) {
  struct TCase {
    const char* Name;
    // Answers the thread it started, if any.
    std::function<std::thread(TMessageWindow&)> Arrange;
    uint32_t Expected;
  };
  const std::vector<TCase> cases = {
      {"a message from another thread",
       [](TMessageWindow& W) {
         std::thread([&W] { PostMessage(W.Handle(), WM_USER, 0, 0); }).join();
         return std::thread();
       },
       WM_USER},
      {"a message posted later from another thread",
       [](TMessageWindow& W) {
         return std::thread([h = W.Handle()] {
           std::this_thread::sleep_for(std::chrono::milliseconds(20));
           PostMessage(h, WM_USER, 0, 0);
         });
       },
       WM_USER},
      {"a timer",
       [](TMessageWindow& W) {
         W.SetTimer(1, 10);
         return std::thread();
       },
       WM_TIMER},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    std::thread worker([&] {
      std::vector<uint32_t> received;
      TMessageWindow window([&](uint32_t Msg, WPARAM, LPARAM) {
        received.push_back(Msg);
        return LRESULT{0};
      });
      std::thread poster = c.Arrange(window);
      // A minute's longest wait: only the input can end the wait this soon.
      const auto queue = TMessageQueue::ForCurrentThread();
      EXPECT_EQ(queue->WaitAndDeliver(60'000), 1);
      EXPECT_EQ(received, std::vector<uint32_t>{c.Expected});
      if (poster.joinable()) poster.join();
    });
    worker.join();
  }
}

TEST(MessageQueueTest, AWaitWithNothingToDeliverEndsAfterTheLongestWait) {
  std::thread worker([] {
    const auto queue = TMessageQueue::ForCurrentThread();
    EXPECT_EQ(queue->WaitAndDeliver(10), 0);
  });
  worker.join();
}

// A pass learns without the queue's lock whether anything is left: what a procedure posts
// during a pass waits for the next one and keeps the queue's descriptor readable, and the
// messages of a destroyed window are pending no more.
TEST(MessageQueueTest, WhatIsLeftAfterAPassKeepsTheQueueAwakeUntilDeliveredOrDropped) {
  std::thread worker([] {
    const auto queue = TMessageQueue::ForCurrentThread();
    std::vector<LPARAM> seen;
    std::unique_ptr<TMessageWindow> window;
    window = std::make_unique<TMessageWindow>([&](uint32_t, WPARAM, LPARAM LParam) {
      seen.push_back(LParam);
      if (LParam == 0) PostMessage(window->Handle(), WM_USER, 0, 1);
      return LRESULT{0};
    });
    ASSERT_TRUE(PostMessage(window->Handle(), WM_USER, 0, 0));
    EXPECT_EQ(queue->WaitAndDeliver(60'000), 1);
    EXPECT_EQ(seen, std::vector<LPARAM>{0});
    EXPECT_TRUE(queue->HasPending());
    // Readable: the next wait ends at once, whatever its length.
    EXPECT_EQ(queue->WaitAndDeliver(60'000), 1);
    EXPECT_EQ(seen, (std::vector<LPARAM>{0, 1}));
    EXPECT_FALSE(queue->HasPending());

    std::thread([h = window->Handle()] {
      for (LPARAM i = 2; i < 5; ++i) PostMessage(h, WM_USER, 0, i);
    }).join();
    EXPECT_TRUE(queue->HasPending());
    window.reset();
    EXPECT_FALSE(queue->HasPending());
    EXPECT_EQ(queue->DeliverPending(), 0);
    EXPECT_EQ(seen.size(), 2u);
  });
  worker.join();
}
