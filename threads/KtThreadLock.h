#pragma once

#include <memory>
#include <mutex>

#include "base/Object.h"

// The re-entrant lock a worker holds while busy: its holder may take it again and releases
// it once for each time it took it.
class TKtThreadLock : public TObject {
public:
  virtual void Lock() = 0;
  virtual void Unlock() = 0;
  virtual bool TryLock() = 0;
};

// The critical-section variant, the one this platform uses.
class TKtThreadLock2000 : public TKtThreadLock {
public:
  void Lock() override { FSection.lock(); }
  void Unlock() override { FSection.unlock(); }
  bool TryLock() override { return FSection.try_lock(); }

private:
  std::recursive_mutex FSection;
};

// The mutex variant.
class TKtThreadLock98 : public TKtThreadLock {
public:
  void Lock() override;
  void Unlock() override { FMutex.unlock(); }
  bool TryLock() override { return FMutex.try_lock(); }

private:
  std::recursive_timed_mutex FMutex;
};

// The lock a host thread gets.
std::unique_ptr<TKtThreadLock> CreateThreadLock();
