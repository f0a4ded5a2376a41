// Latency from a host thread's Execute to its job running, and from Notify on a worker to
// OnNotify on the main thread.
#include <benchmark/benchmark.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "bench/BenchFramework.h"
#include "platform/MessageWindow.h"
#include "threads/KtThreads.h"

namespace {
using TClock = std::chrono::steady_clock;

void BM_ExecuteToJobStart(benchmark::State& State) {
  Framework();
  TComponentPtr<TKtCustomThreadPool> pool(new TKtCustomThreadPool(nullptr));
  std::atomic<int64_t> startedNs{0};
  for (auto _ : State) {
    TKtHostThread* worker = nullptr;
    while (!pool->Acquire(worker, "Bench")) std::this_thread::yield();
    startedNs = 0;
    const auto handedOver = TClock::now();
    worker->Execute({}, {},
                    [&](TObject*, const std::shared_ptr<IKtParams>&) {
                      startedNs = (TClock::now() - handedOver).count();
                    },
                    {});
    worker->Release();
    while (startedNs.load() == 0) std::this_thread::yield();
    State.SetIterationTime(static_cast<double>(startedNs.load()) / 1e9);
  }
}
BENCHMARK(BM_ExecuteToJobStart)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(50);

void BM_NotifyToOnNotify(benchmark::State& State) {
  Framework();
  TComponentPtr<TKtNotifier> notifier(new TKtNotifier(nullptr));
  int64_t sentNs = 0;
  int64_t deliveredNs = 0;
  notifier->SetOnNotify([&](TObject*, const std::shared_ptr<IKtNotifyParams>&) {
    deliveredNs = TClock::now().time_since_epoch().count();
  });
  for (auto _ : State) {
    deliveredNs = 0;
    std::thread producer([&] {
      sentNs = TClock::now().time_since_epoch().count();
      notifier->Notify(notifier.get(), "", {1});
    });
    producer.join();
    while (deliveredNs == 0) ProcessMessages();
    State.SetIterationTime(static_cast<double>(deliveredNs - sentNs) / 1e9);
  }
}
BENCHMARK(BM_NotifyToOnNotify)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(50);
}  // namespace
