#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "base/Component.h"
#include "base/Exception.h"

class TMessageWindow;

// A timer fired: the pool, the timer's handle, its interval and the milliseconds it has
// accumulated over its triggers, this one included.
using TTriggerEvent =
    std::function<void(TObject* Sender, int32_t Handle, uint32_t Interval, int32_t ElapsedTime)>;

class ETimerPoolException : public Exception {
public:
  using Exception::Exception;
};

class ENoTimersAvailable : public ETimerPoolException {
public:
  ENoTimersAvailable() : ETimerPoolException("No Window's timers are available") {}
};

// One logical timer of a pool.
struct TTimerRecord {
  enum TState : uint32_t { tsIdle = 0, tsRunning = 1, tsRemoveRequested = 2 };

  int32_t Handle = 0;
  int32_t ElapsedTime = 0;  // saturates at 2147483647
  uint32_t Interval = 0;
  uint32_t LastTick = 0;
  TTriggerEvent OnTrigger;
  bool Enabled = false;
  bool Recurring = true;
  uint32_t State = tsIdle;
};

// Serves any number of logical timers from one window timer on the creating thread, at a
// base interval that divides their intervals and is never below 55 ms.
class TTimerPool : public TComponent {
public:
  static constexpr uint32_t MinimumInterval = 55;
  // A timer fires up to this many milliseconds early.
  static constexpr uint32_t EarlyMargin = 27;

  explicit TTimerPool(TComponent* AOwner);
  ~TTimerPool() override;

  // Adds a timer whose interval starts now; answers its handle.
  int32_t Add(uint32_t Interval, TTriggerEvent OnTrigger, bool Recurring = true, bool Enabled = true);
  void Remove(int32_t Handle);
  void RemoveAll();
  int IndexOfHandle(int32_t Handle) const;
  int Count() const { return static_cast<int>(FTimers.size()); }
  const TTimerRecord& Timers(int Index) const;

  void RecalcInterval();
  void UpdateTimer();
  virtual void ProcessTick();

  uint32_t BaseInterval() const { return FBaseInterval; }
  int32_t ActiveCount() const { return FActiveCount; }
  bool TimerRunning() const { return FTimerRunning; }
  std::string About() const { return "v4.06"; }
  void SetAbout(const std::string&) {}

  TTriggerEvent OnAllTriggers;

private:
  void RecountActive();
  intptr_t WindowProc(uint32_t Msg, uintptr_t WParam, intptr_t LParam);

  std::vector<std::unique_ptr<TTimerRecord>> FTimers;
  std::unique_ptr<TMessageWindow> FWindow;
  uint32_t FBaseInterval = 0;
  int32_t FActiveCount = 0;
  int32_t FNextHandle = 1;
  bool FTimerRunning = false;
};

// The process-wide pool; exists between the start and the end of the timer unit.
TTimerPool* DefaultTimerPool();

// Start and end of the timer unit: creates the default pool on the calling thread and, when
// it goes, clears and frees it.
class TAppTimerUnit {
public:
  TAppTimerUnit();
  ~TAppTimerUnit();
  TAppTimerUnit(const TAppTimerUnit&) = delete;
  TAppTimerUnit& operator=(const TAppTimerUnit&) = delete;
};
