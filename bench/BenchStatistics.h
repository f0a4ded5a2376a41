#pragma once

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <vector>

// Reports the median and the 99th percentile of Samples, in milliseconds, as counters.
inline void ReportLatency(benchmark::State& State, const std::string& Name,
                          std::vector<std::chrono::nanoseconds> Samples) {
  if (Samples.empty()) return;
  std::sort(Samples.begin(), Samples.end());
  const auto at = [&](double Fraction) {
    const size_t index = std::min(Samples.size() - 1, static_cast<size_t>(Fraction * Samples.size()));
    return std::chrono::duration<double, std::milli>(Samples[index]).count();
  };
  State.counters[Name + "_median_ms"] = at(0.5);
  State.counters[Name + "_p99_ms"] = at(0.99);
}
