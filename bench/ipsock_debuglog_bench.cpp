#include <benchmark/benchmark.h>

#include <array>
#include <cstdint>

#include "ipsock/IpDebugLog.h"

// Recording one data entry of 64 bytes into an enabled ring that is always full, so every
// entry also discards the oldest ones: the steady state of a long-running connection.
static void BM_DebugLogAddEntry64(benchmark::State& State) {
  TIpDebugLog log(nullptr);
  log.SetEnabled(true);
  std::array<uint8_t, 64> data{};
  for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(i);
  for (auto _ : State) log.AddDataEntry(nullptr, 7, IpRecvDataEntry, data.data(), data.size());
  State.SetItemsProcessed(State.iterations());
  State.SetBytesProcessed(State.iterations() * static_cast<int64_t>(data.size()));
}
BENCHMARK(BM_DebugLogAddEntry64);

// Entries that wrap round the end of a ring that is not a multiple of the entry size.
static void BM_DebugLogAddEntry64Wrapping(benchmark::State& State) {
  TIpDebugLog log(nullptr);
  log.SetBufferSize(65531);
  log.SetEnabled(true);
  std::array<uint8_t, 64> data{};
  for (auto _ : State) log.AddDataEntry(nullptr, 7, IpRecvDataEntry, data.data(), data.size());
  State.SetItemsProcessed(State.iterations());
}
BENCHMARK(BM_DebugLogAddEntry64Wrapping);
