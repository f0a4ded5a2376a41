// How fast bytes cross the device link at the run's timer interval of 10 ms: from the
// device's write to the window's receive ring, and from SendText to the device's read.
#include <benchmark/benchmark.h>

#include <atomic>
#include <chrono>

#include "base/Component.h"
#include "bench/BenchFramework.h"
#include "bench/BenchStatistics.h"
#include "link/AppClSk.h"
#include "platform/MessageWindow.h"
#include "tests/support/ScriptedDevice.h"

namespace {
using TClock = std::chrono::steady_clock;
constexpr int Samples = 300;

template <class Condition>
bool PumpUntil(Condition Done, std::chrono::seconds Limit = std::chrono::seconds(30)) {
  const auto deadline = TClock::now() + Limit;
  while (!Done()) {
    if (TClock::now() > deadline) return false;
    ProcessMessages();
  }
  return true;
}

void BM_LinkLatency(benchmark::State& State) {
  Framework();
  TScriptedDevice device("127.62.0.1");
  std::atomic<int64_t> deviceRead{0};
  device.SetScript([&](TScriptedDevice&, std::string& Pending) {
    deviceRead.store(TClock::now().time_since_epoch().count());
    Pending.clear();
  });
  RxRing ring;
  TComponentPtr<TKtNotifier> notifier(new TKtNotifier(nullptr));
  TComponentPtr<TCltSckObj> link(new TCltSckObj(notifier.get(), &ring));
  link->Start();
  link->SetAddress("127.62.0.1");
  if (!PumpUntil([&] { return link->Connected(); })) {
    State.SkipWithError("no connection");
    return;
  }
  link->SetTimerInterval(10);
  std::vector<std::chrono::nanoseconds> toRing;
  std::vector<std::chrono::nanoseconds> toDevice;
  for (auto _ : State) {
    for (int i = 0; i < Samples; ++i) {
      const int32_t before = ring.WritePos;
      const auto written = TClock::now();
      device.Send("x");
      PumpUntil([&] { return ring.WritePos != before; });
      toRing.push_back(TClock::now() - written);

      deviceRead.store(0);
      const auto sent = TClock::now();
      link->SendText("y");
      PumpUntil([&] { return deviceRead.load() != 0; });
      toDevice.push_back(TClock::duration(deviceRead.load()) - sent.time_since_epoch());
    }
  }
  ReportLatency(State, "peer_to_ring", toRing);
  ReportLatency(State, "send_to_peer", toDevice);
}
BENCHMARK(BM_LinkLatency)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();
}  // namespace
