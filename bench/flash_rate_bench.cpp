// Programming runs against the simulator on loopback, as zelmirt-flash drives them: records
// per second of a 2000-record Master dump in the default mode and with the fast dump, as
// ratios to the tick bound of 100 records/s; and 8 devices at once against one alone.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "app/ProgrammingRun.h"
#include "base/Format.h"
#include "bench/BenchFramework.h"
#include "platform/MessageLoop.h"
#include "tests/support/TempFolder.h"
#include "tests/support/ZelmirtScript.h"
#include "tests/tools/SimProcess.h"

namespace {
using TClock = std::chrono::steady_clock;
constexpr int Records = 2000;
constexpr double TickBound = 100.0;  // records per second at one record per 10 ms tick
constexpr auto RunLimit = std::chrono::minutes(3);
// zelmirt-flash's longest wait.
constexpr int LongestWaitMs = 50;

std::string ProgramFile(const TTempFolder& Folder) {
  return Folder.WriteFile("master.hex", ProgramText(Records));
}

// One device's run, timed from the dump's first record to its last reply.
struct TTimedRun {
  TTimedRun(const std::string& Address, const std::string& File, bool Fast) {
    TRunRequest request;
    request.Address = Address;
    request.MasterFile = File;
    request.Master = true;
    request.Fast = Fast;
    TRunEvents events;
    events.OnMemoLine = [this](const std::string& Line, bool) {
      if (Line == "Beginning Program Dump ...") DumpStart = TClock::now();
      if (Line == "Zelmirt Master Processor Programmed") DumpEnd = TClock::now();
    };
    Run = std::make_unique<TProgrammingRun>(request, events);
  }
  double RecordsPerSecond() const {
    return Records / std::chrono::duration<double>(DumpEnd - DumpStart).count();
  }

  std::unique_ptr<TProgrammingRun> Run;
  TClock::time_point DumpStart;
  TClock::time_point DumpEnd;
};

// Runs the devices at addresses 127.62.1.<First>... at once; answers each one's records/s,
// or nothing when a run failed.
std::vector<double> RunDevices(int First, int Count, bool Fast, benchmark::State& State) {
  Framework();
  TTempFolder folder;
  const std::string file = ProgramFile(folder);
  QStringList simArguments;
  std::vector<std::string> addresses;
  for (int i = 0; i < Count; ++i) {
    addresses.push_back(Format("127.62.1.%d", First + i));
    simArguments << "--listen" << QString::fromStdString(addresses.back());
  }
  TSimProcess sim(simArguments);
  if (!sim.WaitForOutput(addresses.back() + ":4001 listening")) {
    State.SkipWithError("the simulator did not start");
    return {};
  }
  std::vector<std::unique_ptr<TTimedRun>> runs;
  for (const std::string& address : addresses) runs.push_back(std::make_unique<TTimedRun>(address, file, Fast));
  for (const auto& run : runs) {
    run->Run->Check();
    run->Run->Start();
  }
  const auto deadline = TClock::now() + RunLimit;
  const auto finished = [&] {
    return std::all_of(runs.begin(), runs.end(), [](const auto& Run) { return Run->Run->Finished(); });
  };
  // zelmirt-flash's message loop, which sleeps until an event comes.
  while (!finished() && TClock::now() < deadline) {
    WaitAndDeliverMessages(LongestWaitMs);
    for (const auto& run : runs) run->Run->Service();
  }
  std::vector<double> rates;
  for (const auto& run : runs) {
    if (!run->Run->Finished() || run->Run->Result().Outcome != TRunOutcome::Programmed) {
      State.SkipWithError("a run failed");
      return {};
    }
    rates.push_back(run->RecordsPerSecond());
  }
  return rates;
}

void BM_MasterDumpRate(benchmark::State& State) {
  const bool fast = State.range(0) != 0;
  for (auto _ : State) {
    const std::vector<double> rates = RunDevices(fast ? 2 : 1, 1, fast, State);
    if (rates.empty()) return;
    State.counters["records_per_s"] = rates.front();
    State.counters["ratio_to_tick_bound"] = rates.front() / TickBound;
  }
}
BENCHMARK(BM_MasterDumpRate)->ArgName("fast")->Arg(0)->Arg(1)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

void BM_EightDevicesAgainstOne(benchmark::State& State) {
  for (auto _ : State) {
    const std::vector<double> alone = RunDevices(10, 1, false, State);
    if (alone.empty()) return;
    const std::vector<double> eight = RunDevices(20, 8, false, State);
    if (eight.empty()) return;
    const double slowest = *std::min_element(eight.begin(), eight.end());
    double mean = 0;
    for (const double rate : eight) mean += rate / eight.size();
    State.counters["alone_records_per_s"] = alone.front();
    State.counters["each_of_8_mean_records_per_s"] = mean;
    State.counters["ratio_mean"] = mean / alone.front();
    State.counters["ratio_slowest"] = slowest / alone.front();
  }
}
BENCHMARK(BM_EightDevicesAgainstOne)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();
}  // namespace
