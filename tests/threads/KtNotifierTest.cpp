#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/Apc.h"
#include "tests/support/TestApplication.h"
#include "tests/support/WaitUntil.h"
#include "tests/threads/ThreadsTestEnvironment.h"
#include "threads/KtDebugLogViewer.h"
#include "threads/KtNotifierThread.h"
#include "threads/KtThreads.h"

namespace {
struct TDelivery {
  TObject* Sender;
  int Code;
  std::string Text;
  std::thread::id Thread;
};

// A notifier whose handler records what reaches the main thread.
class KtNotifierTest : public testing::Test {
protected:
  void SetUp() override {
    FNotifier.reset(new TKtNotifier(nullptr));
    FNotifier->SetOnNotify([this](TObject* Sender, const std::shared_ptr<IKtNotifyParams>& Params) {
      const int code = Params->Count() > 0 ? Params->Param(0).AsInteger() : -1;
      FDelivered.push_back({Sender, code, Params->Text(), std::this_thread::get_id()});
    });
  }
  void TearDown() override {
    NotifierThread()->SetPollingPaused(false);
    FNotifier.reset();
  }
  // Runs Body on a new producer thread and waits for it.
  template <class Body>
  void OnProducer(Body&& Run) {
    std::thread producer(std::forward<Body>(Run));
    producer.join();
  }
  bool DeliveredCount(size_t Count) {
    return WaitUntil([&] { return FDelivered.size() >= Count; });
  }

  TComponentPtr<TKtNotifier> FNotifier;
  std::vector<TDelivery> FDelivered;  // main thread only
};

TEST_F(KtNotifierTest, NotificationReachesTheMainThreadWithSenderTextAndValues) {
  TObject sender;
  OnProducer([&] { FNotifier->Notify(&sender, "hello", {7, std::string("x")}); });
  ASSERT_TRUE(DeliveredCount(1));
  EXPECT_EQ(FDelivered[0].Sender, &sender);
  EXPECT_EQ(FDelivered[0].Code, 7);
  EXPECT_EQ(FDelivered[0].Text, "hello");
  EXPECT_EQ(FDelivered[0].Thread, std::this_thread::get_id());
  OnProducer([&] { FNotifier->NotifyValues({2, std::string("Disconnected")}); });
  ASSERT_TRUE(DeliveredCount(2));
  EXPECT_EQ(FDelivered[1].Sender, FNotifier.get()) << "NotifyValues sends with the notifier as Sender";
  EXPECT_EQ(FDelivered[1].Code, 2);
}

TEST_F(KtNotifierTest, DefaultStrategyReadsBackAsDisposeAndDepthIsChecked) {
  EXPECT_EQ(FNotifier->QueueStrategy(), qsDispose);
  FNotifier->SetQueueStrategy(qsWait);
  EXPECT_EQ(FNotifier->QueueStrategy(), qsWait);
  FNotifier->SetQueueStrategy(qsDefault);
  EXPECT_EQ(FNotifier->QueueStrategy(), qsDispose);
  EXPECT_EQ(FNotifier->QueueDepth(), 10);
  EXPECT_THROW(FNotifier->SetQueueDepth(0), Exception);
  EXPECT_THROW(FNotifier->SetQueueDepth(501), Exception);
}

TEST_F(KtNotifierTest, DisposeWithDepthOneKeepsOnlyTheNewestUnpostedNotification) {
  FNotifier->SetQueueDepth(1);
  NotifierThread()->SetPollingPaused(true);
  OnProducer([&] {
    FNotifier->Notify(FNotifier.get(), "", {1}, qsDispose);
    FNotifier->Notify(FNotifier.get(), "", {2}, qsDispose);
  });
  EXPECT_EQ(FNotifier->Dropped(), 1);
  NotifierThread()->SetPollingPaused(false);
  ASSERT_TRUE(DeliveredCount(1));
  EXPECT_FALSE(WaitUntil([&] { return FDelivered.size() > 1; }, std::chrono::milliseconds(100)));
  EXPECT_EQ(FDelivered[0].Code, 2);

  // Once the first has been posted, nothing can be dropped: both arrive.
  FDelivered.clear();
  OnProducer([&] {
    FNotifier->Notify(FNotifier.get(), "", {3}, qsDispose);
    WaitUntil([] { return KtNotificationBacklog() > 0; });
    FNotifier->Notify(FNotifier.get(), "", {4}, qsDispose);
  });
  ASSERT_TRUE(DeliveredCount(2));
  EXPECT_EQ(FDelivered[0].Code, 3);
  EXPECT_EQ(FDelivered[1].Code, 4);
  EXPECT_EQ(FNotifier->Dropped(), 1);
}

TEST_F(KtNotifierTest, TwoProducersAreDeliveredAlternatelyEachInItsOrder) {
  NotifierThread()->SetPollingPaused(true);
  TObject first;
  TObject second;
  OnProducer([&] {
    for (int i = 1; i <= 3; ++i) FNotifier->Notify(&first, "", {i});
  });
  OnProducer([&] {
    for (int i = 1; i <= 3; ++i) FNotifier->Notify(&second, "", {i});
  });
  NotifierThread()->SetPollingPaused(false);
  ASSERT_TRUE(DeliveredCount(6));
  for (size_t i = 0; i < 6; ++i) {
    EXPECT_EQ(FDelivered[i].Code, static_cast<int>(i / 2 + 1)) << "position " << i;
    if (i % 2 == 1) {
      EXPECT_NE(FDelivered[i].Sender, FDelivered[i - 1].Sender) << "position " << i;
    }
  }
}

TEST_F(KtNotifierTest, WaitStrategyHoldsTheProducerAtTheDepthAndLosesNothing) {
  FNotifier->SetQueueDepth(2);
  int maxInFlight = 0;
  std::atomic<TKtHostThread*> producerHost{nullptr};
  FNotifier->SetOnNotify([&](TObject*, const std::shared_ptr<IKtNotifyParams>& Params) {
    maxInFlight = std::max(maxInFlight, FNotifier->InFlight(producerHost.load()));
    FDelivered.push_back({nullptr, Params->Param(0).AsInteger(), "", std::this_thread::get_id()});
  });
  std::thread producer([&] {
    producerHost = CurrentHostThread();
    for (int i = 0; i < 20; ++i) FNotifier->Notify(FNotifier.get(), "", {i}, qsWait);
  });
  ASSERT_TRUE(DeliveredCount(20));
  producer.join();
  for (int i = 0; i < 20; ++i) EXPECT_EQ(FDelivered[static_cast<size_t>(i)].Code, i);
  EXPECT_LE(maxInFlight, 2);
  EXPECT_EQ(FNotifier->Dropped(), 0);
}

TEST_F(KtNotifierTest, RaisingHandlerDoesNotBlockLaterNotifications) {
  std::atomic<TKtHostThread*> producerHost{nullptr};
  FNotifier->SetOnNotify([&](TObject*, const std::shared_ptr<IKtNotifyParams>& Params) {
    const int code = Params->Param(0).AsInteger();
    FDelivered.push_back({nullptr, code, "", std::this_thread::get_id()});
    if (code == 1) throw Exception("handler failed");
  });
  OnProducer([&] {
    producerHost = CurrentHostThread();
    for (int i = 1; i <= 3; ++i) FNotifier->Notify(FNotifier.get(), "", {i});
  });
  ASSERT_TRUE(DeliveredCount(3));
  EXPECT_EQ(FDelivered[2].Code, 3);
  EXPECT_EQ(FNotifier->InFlight(producerHost.load()), 0);
  const auto raised = TestApplication().Exceptions();
  ASSERT_EQ(raised.size(), 1u);
  EXPECT_EQ(raised[0], "handler failed");
}

TEST_F(KtNotifierTest, NilSenderIsLoggedAndStillDelivered) {
  TKtDebugLogViewer viewer(TestAnnouncementName());
  ASSERT_GT(viewer.Announce(), 0);
  OnProducer([&] { FNotifier->Notify(nullptr, "anonymous", {5}); });
  ASSERT_TRUE(DeliveredCount(1));
  EXPECT_EQ(FDelivered[0].Sender, nullptr);
  EXPECT_EQ(FDelivered[0].Text, "anonymous");
  EXPECT_TRUE(WaitUntil([&] { return viewer.Poll(5).find("Sender is nil|") != std::string::npos; }));
}

TEST_F(KtNotifierTest, PostedNotificationsOfADestroyedNotifierAreDiscarded) {
  const int backlogBefore = KtNotificationBacklog();
  const int queuesBefore = KtNotificationQueueCount();
  OnProducer([&] {
    for (int i = 0; i < 3; ++i) FNotifier->Notify(FNotifier.get(), "", {i});
  });
  EXPECT_EQ(KtNotificationQueueCount(), queuesBefore + 1);
  // Posted, but not yet delivered: this thread has not pumped its messages.
  std::this_thread::yield();
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (KtNotificationBacklog() < backlogBefore + 3 && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::yield();
  }
  EXPECT_EQ(KtNotificationBacklog(), backlogBefore + 3);
  FNotifier.reset();
  EXPECT_EQ(KtNotificationBacklog(), backlogBefore);
  EXPECT_EQ(KtNotificationQueueCount(), queuesBefore);
  ProcessMessages();
  EXPECT_FALSE(WaitUntil([&] { return !FDelivered.empty(); }, std::chrono::milliseconds(50)));
}

TEST_F(KtNotifierTest, EachProducerThreadGetsAQueueOfItsOwnAfterEarlierOnesEnded) {
  // Ended producers' host threads are purged by later adoptions, and a new host thread may
  // get a freed one's address; its notifications must still go to a queue of its own.
  const int queuesBefore = KtNotificationQueueCount();
  constexpr int Producers = 6;
  for (int i = 0; i < Producers; ++i) {
    OnProducer([&, i] { FNotifier->Notify(FNotifier.get(), "", {i}); });
  }
  EXPECT_EQ(KtNotificationQueueCount(), queuesBefore + Producers);
  ASSERT_TRUE(DeliveredCount(Producers));
  // Queues are served in turn, so the order across producers is the poll's, not the sending one.
  std::vector<int> codes;
  for (const TDelivery& d : FDelivered) codes.push_back(d.Code);
  std::sort(codes.begin(), codes.end());
  EXPECT_EQ(codes, (std::vector<int>{0, 1, 2, 3, 4, 5}));
}

TEST_F(KtNotifierTest, DestroyingTheNotifierReleasesAProducerHeldUnderWait) {
  FNotifier->SetQueueDepth(1);
  std::atomic<int> sent{0};
  std::atomic<bool> backingOff{false};
  THandle producerHandle;
  std::thread producer([&] {
    producerHandle = GetCurrentThreadHandle();
    FNotifier->Notify(FNotifier.get(), "", {1}, qsWait);
    ++sent;
    // Nobody delivers (the main thread does not pump), so this one waits for room.
    FNotifier->Notify(FNotifier.get(), "", {2}, qsWait);
    ++sent;
  });
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (sent.load() < 1 && std::chrono::steady_clock::now() < deadline) std::this_thread::yield();
  ASSERT_EQ(sent.load(), 1);
  // The back-off is the producer's only alertable wait from here on: an APC that runs
  // tells that the producer is inside Notify.
  QueueUserAPC([](uintptr_t Flag) { reinterpret_cast<std::atomic<bool>*>(Flag)->store(true); }, producerHandle,
               reinterpret_cast<uintptr_t>(&backingOff));
  while (!backingOff.load() && std::chrono::steady_clock::now() < deadline) std::this_thread::yield();
  ASSERT_TRUE(backingOff.load());
  FNotifier.reset();
  producer.join();
  EXPECT_EQ(sent.load(), 2) << "the held producer returns once the notifier goes";
  ProcessMessages();
  EXPECT_FALSE(WaitUntil([&] { return !FDelivered.empty(); }, std::chrono::milliseconds(50)));
}

TEST_F(KtNotifierTest, ResultIsDeliveredToItsHandler) {
  std::atomic<int> results{0};
  auto proxy = std::make_shared<TKtResultProxy>();
  OnProducer([&] {
    FNotifier->NotifyResult(FNotifier.get(), proxy, [&](TObject* Sender, const std::shared_ptr<IKtNotifyParams>& P) {
      EXPECT_EQ(Sender, FNotifier.get());
      EXPECT_EQ(std::dynamic_pointer_cast<IKtResultParams>(P), proxy);
      ++results;
    });
  });
  EXPECT_TRUE(WaitUntil([&] { return results.load() == 1; }));
}

TEST(KtPostExceptionTest, ExceptionIsRaisedAgainOnTheMainThread) {
  std::thread worker([] { PostException(std::make_exception_ptr(Exception("raised elsewhere"))); });
  worker.join();
  EXPECT_TRUE(WaitUntil([] {
    const auto raised = TestApplication().Exceptions();
    return raised.size() == 1 && raised[0] == "raised elsewhere";
  }));
}
}  // namespace
