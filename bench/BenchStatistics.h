#pragma once

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <vector>

// The median of Values (the upper one of an even count).
inline double Median(std::vector<double> Values) {
  std::sort(Values.begin(), Values.end());
  return Values[Values.size() / 2];
}

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
