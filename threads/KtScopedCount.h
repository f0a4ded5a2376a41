#pragma once

#include <atomic>

// Counts one in an interlocked counter for as long as it lives, on every way out.
class TKtScopedCount {
public:
  explicit TKtScopedCount(std::atomic<int>& Count) : FCount(Count) { ++FCount; }
  ~TKtScopedCount() { --FCount; }
  TKtScopedCount(const TKtScopedCount&) = delete;
  TKtScopedCount& operator=(const TKtScopedCount&) = delete;

private:
  std::atomic<int>& FCount;
};
