// Records per second of a Master run of 2000 records against a device that answers at
// once, with the window's tick on a real 10 ms timer, as a ratio to one record per tick.
#include <benchmark/benchmark.h>

#include <atomic>
#include <chrono>
#include <memory>

#include <QCoreApplication>

#include "app/WindowTick.h"
#include "app/ZelmirtPgmForm.h"
#include "bench/BenchFramework.h"
#include "tests/support/TempFolder.h"
#include "tests/support/ZelmirtScript.h"

namespace {
using TClock = std::chrono::steady_clock;
constexpr int Records = 2000;
constexpr double TickBound = 100.0;  // records per second at one record per 10 ms tick

template <class Condition>
bool RunEventsUntil(Condition Done, std::chrono::seconds Limit) {
  const auto deadline = TClock::now() + Limit;
  while (!Done()) {
    if (TClock::now() > deadline) return false;
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
  }
  return true;
}

void BM_MasterRunRecordsPerSecond(benchmark::State& State) {
  Framework();
  TTempFolder folder;
  const std::string file = folder.WriteFile("master.hex", ProgramText(Records));

  TScriptedDevice device("127.62.0.2");
  // When the first and the last program record reached the device.
  std::atomic<int> seen{0};
  std::atomic<int64_t> first{0};
  std::atomic<int64_t> last{0};
  TZelmirtScript answer({});
  device.SetScript([&](TScriptedDevice& Device, std::string& Pending) {
    if (Pending.rfind(":10", 0) == 0 && Pending.size() >= 43) {
      const int64_t now = TClock::now().time_since_epoch().count();
      if (++seen == 1) first.store(now);
      last.store(now);
    }
    answer(Device, Pending);
  });

  TZelmirt_PgmForm form(folder.File("zelmirt-programmer.INI"));
  TWindowTick tick(form.PgmTimer);
  form.ledtMasterIP.SetText("127.62.0.2");
  form.lbledtMaster.SetText(file);
  form.cbMaster.SetChecked(true);
  form.FormShow();
  if (!RunEventsUntil([&] { return form.btnProgram.Enabled(); }, std::chrono::seconds(30))) {
    State.SkipWithError("no connection");
    return;
  }
  for (auto _ : State) {
    form.btnProgram.Click();
    RunEventsUntil([&] { return !form.pbProgram.Visible(); }, std::chrono::seconds(120));
  }
  if (form.ProgramMemo.Lines().empty() || form.ProgramMemo.Lines().back() != "Zelmirt Restarted") {
    State.SkipWithError("the run failed");
    return;
  }
  const double seconds = std::chrono::duration<double>(TClock::duration(last.load() - first.load())).count();
  const double rate = (seen.load() - 1) / seconds;
  State.counters["records_per_s"] = rate;
  State.counters["ratio_to_tick_bound"] = rate / TickBound;
}
BENCHMARK(BM_MasterRunRecordsPerSecond)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();
}  // namespace
