#include <gtest/gtest.h>
#include <poll.h>

#include <QCoreApplication>
#include <atomic>
#include <chrono>
#include <memory>
#include <numeric>
#include <set>
#include <thread>
#include <vector>

#include "base/Exception.h"
#include "platform/MessageWindow.h"
#include "tests/platform/WorkerWindow.h"
#include "tests/support/TestApplication.h"
#include "tests/support/WaitUntil.h"

namespace {
struct TDelivery {
  uint32_t Msg;
  WPARAM WParam;
  LPARAM LParam;
  std::thread::id Thread;
};

// A window on the calling thread that records what it receives.
class TRecordingWindow {
public:
  TRecordingWindow()
      : Window([this](uint32_t Msg, WPARAM WParam, LPARAM LParam) {
          Deliveries.push_back({Msg, WParam, LParam, std::this_thread::get_id()});
          return LRESULT{0};
        }) {}

  size_t Count(uint32_t Msg, WPARAM WParam) const {
    size_t count = 0;
    for (const TDelivery& d : Deliveries) count += d.Msg == Msg && d.WParam == WParam;
    return count;
  }

  std::vector<TDelivery> Deliveries;
  TMessageWindow Window;
};

bool Readable(int Descriptor) { return WaitReadable(Descriptor, std::chrono::milliseconds(0)); }
}  // namespace

TEST(MessageWindowTest, KeepsEachPostersOrderAndDeliversEverythingOnTheOwnerThread) {
  constexpr int Posters = 4;
  constexpr int PerPoster = 2000;
  TRecordingWindow recorder;
  std::vector<std::thread> posters;
  std::atomic<int> refused{0};
  for (int p = 0; p < Posters; ++p)
    posters.emplace_back([&, p] {
      for (int i = 0; i < PerPoster; ++i)
        if (!PostMessage(recorder.Window.Handle(), WM_USER, static_cast<WPARAM>(p), i)) ++refused;
    });
  ASSERT_TRUE(WaitUntil([&] { return recorder.Deliveries.size() >= size_t{Posters * PerPoster}; }));
  for (std::thread& poster : posters) poster.join();
  EXPECT_EQ(refused, 0);
  EXPECT_EQ(recorder.Deliveries.size(), size_t{Posters * PerPoster});

  std::vector<std::vector<LPARAM>> byPoster(Posters);
  for (const TDelivery& d : recorder.Deliveries) {
    EXPECT_EQ(d.Thread, std::this_thread::get_id());
    ASSERT_LT(d.WParam, size_t{Posters});
    byPoster[d.WParam].push_back(d.LParam);
  }
  std::vector<LPARAM> expected(PerPoster);
  std::iota(expected.begin(), expected.end(), 0);
  for (int p = 0; p < Posters; ++p) EXPECT_EQ(byPoster[p], expected) << "poster " << p;
}

TEST(MessageWindowTest, AWorkersWindowReceivesOnTheWorkerOnly) {
  std::atomic<int> received{0};
  std::atomic<std::thread::id> deliveredOn{};
  TWorkerWindow worker([&](uint32_t, WPARAM, LPARAM) {
    deliveredOn = std::this_thread::get_id();
    ++received;
    return LRESULT{0};
  });
  for (int i = 0; i < 100; ++i) ASSERT_TRUE(PostMessage(worker.Handle(), WM_USER + 1, 0, i));
  // Pumping here must not deliver the worker's messages.
  ASSERT_TRUE(WaitUntil([&] { return received == 100; }));
  EXPECT_EQ(deliveredOn.load(), worker.ThreadId());
}

TEST(MessageWindowTest, TheQtEventLoopAloneDeliversMessagesAndTimers) {
  TRecordingWindow recorder;
  ASSERT_TRUE(recorder.Window.SetTimer(3, 10));
  std::thread poster([&] { PostMessage(recorder.Window.Handle(), WM_USER, 1, 2); });
  poster.join();
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while ((recorder.Count(WM_USER, 1) == 0 || recorder.Count(WM_TIMER, 3) < 2) &&
         std::chrono::steady_clock::now() < deadline)
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
  EXPECT_EQ(recorder.Count(WM_USER, 1), 1u);
  EXPECT_GE(recorder.Count(WM_TIMER, 3), 2u);
}

TEST(MessageWindowTest, SendCallsTheProcedureAtOnce) {
  TMessageWindow window([](uint32_t Msg, WPARAM WParam, LPARAM LParam) {
    if (Msg == WM_USER + 9) throw Exception("refused");
    return static_cast<LRESULT>(Msg + WParam + static_cast<WPARAM>(LParam));
  });
  EXPECT_EQ(window.Send(WM_USER, 2, 3), LRESULT{WM_USER + 5});
  EXPECT_EQ(window.Send(WM_USER + 9, 0, 0), 0);
  EXPECT_EQ(TestApplication().Exceptions(), std::vector<std::string>{"refused"});
}

TEST(MessageWindowTest, HandlesAreNeverReused) {
  std::set<HWND> seen;
  for (int i = 0; i < 50; ++i) {
    TMessageWindow window([](uint32_t, WPARAM, LPARAM) { return LRESULT{0}; });
    EXPECT_NE(window.Handle(), HWND{0});
    EXPECT_TRUE(seen.insert(window.Handle()).second) << window.Handle();
  }
}

TEST(MessageWindowTest, TimersTickRepeatedlyUntilKilled) {
  TRecordingWindow recorder;
  ASSERT_TRUE(recorder.Window.SetTimer(7, 10));
  ASSERT_TRUE(recorder.Window.SetTimer(8, 10));
  ASSERT_TRUE(WaitUntil([&] { return recorder.Count(WM_TIMER, 7) >= 3; }));
  recorder.Window.KillTimer(7);
  const size_t killedAt = recorder.Count(WM_TIMER, 7);
  const size_t otherAt = recorder.Count(WM_TIMER, 8);
  // The other timer keeps going; the killed one has stopped meanwhile.
  ASSERT_TRUE(WaitUntil([&] { return recorder.Count(WM_TIMER, 8) >= otherAt + 5; }));
  EXPECT_EQ(recorder.Count(WM_TIMER, 7), killedAt);
  for (const TDelivery& d : recorder.Deliveries) {
    EXPECT_EQ(d.Msg, WM_TIMER);
    EXPECT_EQ(d.LParam, 0);
  }
  recorder.Window.KillTimer(8);
}

TEST(MessageWindowTest, SettingAnExistingTimerRestartsItWithTheNewPeriod) {
  TRecordingWindow recorder;
  ASSERT_TRUE(recorder.Window.SetTimer(1, 60'000));
  EXPECT_FALSE(WaitUntil([&] { return recorder.Count(WM_TIMER, 1) > 0; }, std::chrono::milliseconds(50)));
  ASSERT_TRUE(recorder.Window.SetTimer(1, 10));
  EXPECT_TRUE(WaitUntil([&] { return recorder.Count(WM_TIMER, 1) >= 2; }, std::chrono::seconds(5)));
}

TEST(MessageWindowTest, AWorkerWithoutQtLoopGetsTimerTicksThroughItsWaits) {
  std::atomic<int> ticks{0};
  TWorkerWindow worker(
      [&](uint32_t Msg, WPARAM WParam, LPARAM) {
        if (Msg == WM_TIMER && WParam == 5) ++ticks;
        return LRESULT{0};
      },
      [](TMessageWindow& Window) { Window.SetTimer(5, 10); });
  EXPECT_TRUE(WaitUntil([&] { return ticks >= 3; }));
}

TEST(MessageWindowTest, DestroyingAWindowDropsItsMessagesAndRunsTheirDiscard) {
  int delivered = 0;
  int discarded = 0;
  auto owned = std::make_shared<int>(42);
  std::weak_ptr<int> watch = owned;
  HWND handle;
  {
    TMessageWindow window([&](uint32_t, WPARAM, LPARAM) {
      ++delivered;
      return LRESULT{0};
    });
    handle = window.Handle();
    for (int i = 0; i < 5; ++i) ASSERT_TRUE(PostMessage(handle, WM_USER, 0, i, [&discarded] { ++discarded; }));
    ASSERT_TRUE(PostMessage(handle, WM_USER, 0, 0, [data = std::move(owned)] { EXPECT_EQ(*data, 42); }));
  }
  EXPECT_EQ(discarded, 5);
  EXPECT_TRUE(watch.expired()) << "the data carried by a dropped message was not released";

  // A dead handle refuses at once and discards on the spot.
  EXPECT_FALSE(PostMessage(handle, WM_USER, 0, 0, [&discarded] { ++discarded; }));
  EXPECT_EQ(discarded, 6);
  ProcessMessages();
  EXPECT_EQ(delivered, 0);
}

TEST(MessageWindowTest, ADeliveredMessageReleasesItsDiscardWithoutRunningIt) {
  int discarded = 0;
  int delivered = 0;
  auto owned = std::make_shared<int>(1);
  std::weak_ptr<int> watch = owned;
  TMessageWindow window([&](uint32_t, WPARAM, LPARAM) {
    ++delivered;
    return LRESULT{0};
  });
  ASSERT_TRUE(PostMessage(window.Handle(), WM_USER, 0, 0, [&discarded, data = std::move(owned)] { ++discarded; }));
  ASSERT_TRUE(WaitUntil([&] { return delivered == 1; }));
  EXPECT_EQ(discarded, 0);
  EXPECT_TRUE(watch.expired());
}

TEST(MessageWindowTest, AnExceptionInTheProcedureIsReportedAndDeliveryGoesOn) {
  std::vector<LPARAM> seen;
  TMessageWindow window([&](uint32_t, WPARAM, LPARAM LParam) -> LRESULT {
    seen.push_back(LParam);
    if (LParam == 1) throw Exception("bad message 1");
    if (LParam == 2) throw 2;
    return 0;
  });
  for (LPARAM i = 0; i < 5; ++i) ASSERT_TRUE(PostMessage(window.Handle(), WM_USER, 0, i));
  ASSERT_TRUE(WaitUntil([&] { return seen.size() == 5; }));
  EXPECT_EQ(seen, (std::vector<LPARAM>{0, 1, 2, 3, 4}));
  EXPECT_EQ(TestApplication().Exceptions(), (std::vector<std::string>{"bad message 1", "Unknown exception"}));
}

TEST(MessageWindowTest, AnExceptionInATimerTickIsReportedAndTheTimerGoesOn) {
  int ticks = 0;
  TMessageWindow window([&](uint32_t Msg, WPARAM, LPARAM) -> LRESULT {
    if (Msg == WM_TIMER && ++ticks <= 2) throw Exception("tick failed");
    return 0;
  });
  window.SetTimer(1, 10);
  ASSERT_TRUE(WaitUntil([&] { return ticks >= 4; }));
  EXPECT_EQ(TestApplication().Exceptions(), (std::vector<std::string>{"tick failed", "tick failed"}));
}

TEST(MessageWindowTest, AProcedureMayDestroyItsOwnWindow) {
  std::unique_ptr<TMessageWindow> window;
  int delivered = 0;
  int discarded = 0;
  window = std::make_unique<TMessageWindow>([&](uint32_t, WPARAM, LPARAM) {
    ++delivered;
    window.reset();
    return LRESULT{0};
  });
  const HWND handle = window->Handle();
  window->SetTimer(1, 10);
  for (int i = 0; i < 3; ++i) ASSERT_TRUE(PostMessage(handle, WM_USER, 0, i, [&] { ++discarded; }));
  ASSERT_TRUE(WaitUntil([&] { return window == nullptr; }));
  EXPECT_EQ(delivered, 1);
  EXPECT_EQ(discarded, 2);
  EXPECT_FALSE(PostMessage(handle, WM_USER, 0, 0));
}

TEST(MessageWindowTest, AProcedureMayDestroyAnotherWindowWithPendingMessagesAndTimers) {
  int otherDelivered = 0;
  int otherDiscarded = 0;
  auto other = std::make_unique<TMessageWindow>([&](uint32_t, WPARAM, LPARAM) {
    ++otherDelivered;
    return LRESULT{0};
  });
  other->SetTimer(1, 10);
  TMessageWindow killer([&](uint32_t, WPARAM, LPARAM) {
    other.reset();
    return LRESULT{0};
  });
  const HWND otherHandle = other->Handle();
  ASSERT_TRUE(PostMessage(killer.Handle(), WM_USER, 0, 0));
  for (int i = 0; i < 3; ++i) ASSERT_TRUE(PostMessage(otherHandle, WM_USER, 0, i, [&] { ++otherDiscarded; }));
  ASSERT_TRUE(WaitUntil([&] { return other == nullptr; }));
  EXPECT_EQ(otherDiscarded, 3);
  // A tick of the destroyed window's timer would reach freed memory (ASan) or count here.
  TRecordingWindow witness;
  witness.Window.SetTimer(2, 10);
  ASSERT_TRUE(WaitUntil([&] { return witness.Count(WM_TIMER, 2) >= 3; }));
  EXPECT_EQ(otherDelivered, 0);
}

TEST(MessageWindowTest, AProcedureMayPumpMessagesReentrantly) {
  std::vector<LPARAM> seen;
  TMessageWindow window([&](uint32_t, WPARAM, LPARAM LParam) {
    seen.push_back(LParam);
    if (LParam == 0) {
      PostMessage(window.Handle(), WM_USER, 0, 99);
      ProcessMessages();
    }
    return LRESULT{0};
  });
  for (LPARAM i = 0; i < 4; ++i) ASSERT_TRUE(PostMessage(window.Handle(), WM_USER, 0, i));
  ASSERT_TRUE(WaitUntil([&] { return seen.size() == 5; }));
  EXPECT_EQ(seen, (std::vector<LPARAM>{0, 1, 2, 3, 99}));
}

TEST(MessageWindowTest, TheQueueWakesItsThreadAndCountsDeliveries) {
  std::thread worker([] {
    EXPECT_EQ(TThreadMessageQueue::CurrentIfAny(), nullptr);
    ProcessMessages();  // no queue: nothing, and none is created
    EXPECT_EQ(TThreadMessageQueue::CurrentIfAny(), nullptr);

    const auto queue = TThreadMessageQueue::Current();
    EXPECT_EQ(TThreadMessageQueue::CurrentIfAny(), queue);
    EXPECT_FALSE(Readable(queue->WakeDescriptor()));
    EXPECT_FALSE(queue->HasPending());
    EXPECT_EQ(queue->MillisecondsToNextTimer(), -1);

    queue->Wake();
    EXPECT_TRUE(Readable(queue->WakeDescriptor()));
    EXPECT_FALSE(queue->HasPending());
    EXPECT_EQ(queue->DeliverPending(), 0);
    EXPECT_FALSE(Readable(queue->WakeDescriptor()));

    int delivered = 0;
    TMessageWindow window([&](uint32_t, WPARAM, LPARAM) {
      ++delivered;
      return LRESULT{0};
    });
    std::thread poster([&] {
      PostMessage(window.Handle(), WM_USER, 0, 0);
      PostMessage(window.Handle(), WM_USER, 0, 1);
    });
    poster.join();
    EXPECT_TRUE(Readable(queue->WakeDescriptor()));
    EXPECT_TRUE(queue->HasPending());
    EXPECT_EQ(queue->DeliverPending(), 2);
    EXPECT_EQ(delivered, 2);
    EXPECT_FALSE(queue->HasPending());

    window.SetTimer(4, 40);
    const int wait = queue->MillisecondsToNextTimer();
    EXPECT_GT(wait, 0);
    EXPECT_LE(wait, 40);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (delivered < 3 && std::chrono::steady_clock::now() < deadline) {
      pollfd wake{queue->WakeDescriptor(), POLLIN, 0};
      poll(&wake, 1, queue->MillisecondsToNextTimer());
      queue->DeliverPending();
    }
    EXPECT_EQ(delivered, 3);
  });
  worker.join();
}
