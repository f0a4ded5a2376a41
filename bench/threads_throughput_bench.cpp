// Notifications per second from one worker under qsDispose and qsWait, and the queue's
// push/pop rate.
#include <benchmark/benchmark.h>

#include <atomic>
#include <thread>

#include "bench/BenchFramework.h"
#include "platform/MessageWindow.h"
#include "threads/KtNotifierThread.h"
#include "threads/KtThreads.h"

namespace {
constexpr int Burst = 2000;

// One worker sends a burst; the main thread pumps until the producer is done and every
// notification that was not dropped has been delivered.
void SendBurst(benchmark::State& State, TKtNotifyQueueStrategy Strategy) {
  Framework();
  TComponentPtr<TKtNotifier> notifier(new TKtNotifier(nullptr));
  notifier->SetQueueStrategy(Strategy);
  int delivered = 0;
  notifier->SetOnNotify([&](TObject*, const std::shared_ptr<IKtNotifyParams>&) { ++delivered; });
  int64_t total = 0;
  for (auto _ : State) {
    delivered = 0;
    const int droppedBefore = notifier->Dropped();
    std::atomic<bool> done{false};
    std::thread producer([&] {
      for (int i = 0; i < Burst; ++i) notifier->Notify(notifier.get(), "", {i});
      done = true;
    });
    while (!done.load() || delivered + notifier->Dropped() - droppedBefore < Burst) ProcessMessages();
    producer.join();
    total += Burst;
  }
  State.counters["notifications/s"] = benchmark::Counter(static_cast<double>(total), benchmark::Counter::kIsRate);
}

void BM_NotifyDispose(benchmark::State& State) { SendBurst(State, qsDispose); }
BENCHMARK(BM_NotifyDispose)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();

void BM_NotifyWait(benchmark::State& State) { SendBurst(State, qsWait); }
BENCHMARK(BM_NotifyWait)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();

void BM_QueuePushPop(benchmark::State& State) {
  // The item type of the notification queues, in a queue the notifier thread does not serve.
  TKtQueue<TNotificationItem> queue(TNotificationItemQueue::CapacityStep);
  TNotificationItem item;
  for (auto _ : State) {
    for (int i = 0; i < 100; ++i) queue.Enqueue(item);
    for (int i = 0; i < 100; ++i) benchmark::DoNotOptimize(queue.Pop());
  }
  State.SetItemsProcessed(State.iterations() * 200);
}
BENCHMARK(BM_QueuePushPop);
}  // namespace
