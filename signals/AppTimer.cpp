#include "signals/AppTimer.h"

#include <algorithm>
#include <limits>

#include "base/Format.h"
#include "platform/Clock.h"
#include "platform/MessageWindow.h"

namespace {
constexpr int64_t MaxElapsed = std::numeric_limits<int32_t>::max();
constexpr uintptr_t PoolTimerId = 1;

// Milliseconds from LastTick to Now as the tick handler counts them: across the point where
// the count turns negative when read as signed, one less than the plain difference.
uint32_t TickElapsed(uint32_t LastTick, uint32_t Now) {
  if (static_cast<int32_t>(LastTick) > static_cast<int32_t>(Now))
    return (2147483647u - LastTick) + (Now - 2147483648u);
  return Now - LastTick;
}

TComponentPtr<TTimerPool>& DefaultPoolSlot() {
  static TComponentPtr<TTimerPool> pool;
  return pool;
}
}  // namespace

TTimerPool::TTimerPool(TComponent* AOwner)
    : TComponent(AOwner),
      FWindow(std::make_unique<TMessageWindow>(
          [this](uint32_t Msg, WPARAM WParam, LPARAM LParam) { return WindowProc(Msg, WParam, LParam); })) {}

TTimerPool::~TTimerPool() {
  FBaseInterval = 0;
  UpdateTimer();
  FTimers.clear();
  FWindow.reset();
}

intptr_t TTimerPool::WindowProc(uint32_t Msg, uintptr_t, intptr_t) {
  if (Msg == WM_TIMER) {
    try {
      ProcessTick();
    } catch (...) {
      // A handler's failure must not stop the pool's window; the tick counts as handled.
    }
  }
  return 0;
}

int32_t TTimerPool::Add(uint32_t Interval, TTriggerEvent OnTrigger, bool Recurring, bool Enabled) {
  auto record = std::make_unique<TTimerRecord>();
  record->Handle = FNextHandle++;
  record->Interval = Interval;
  record->LastTick = GetTickCount();
  record->OnTrigger = std::move(OnTrigger);
  record->Recurring = Recurring;
  record->Enabled = Enabled;
  const int32_t handle = record->Handle;
  FTimers.push_back(std::move(record));
  RecountActive();
  RecalcInterval();
  UpdateTimer();
  return handle;
}

const TTimerRecord& TTimerPool::Timers(int Index) const {
  if (Index < 0 || Index >= Count()) throw ETimerPoolException(Format("Timer index out of bounds (%d)", Index));
  return *FTimers[static_cast<size_t>(Index)];
}

int TTimerPool::IndexOfHandle(int32_t Handle) const {
  for (size_t i = 0; i < FTimers.size(); ++i)
    if (FTimers[i]->Handle == Handle) return static_cast<int>(i);
  return -1;
}

void TTimerPool::Remove(int32_t Handle) {
  const int index = IndexOfHandle(Handle);
  if (index < 0) return;
  TTimerRecord& record = *FTimers[static_cast<size_t>(index)];
  if (record.State != TTimerRecord::tsIdle) {
    // Its handlers are running; the tick completes the removal when they return.
    record.State = TTimerRecord::tsRemoveRequested;
    return;
  }
  FTimers.erase(FTimers.begin() + index);
  RecountActive();
  RecalcInterval();
  UpdateTimer();
}

void TTimerPool::RemoveAll() {
  // Records whose handlers are running stay until their turn ends, so that the running
  // tick never touches a freed record.
  for (int i = Count() - 1; i >= 0; --i) {
    TTimerRecord& record = *FTimers[static_cast<size_t>(i)];
    if (record.State == TTimerRecord::tsIdle)
      FTimers.erase(FTimers.begin() + i);
    else
      record.State = TTimerRecord::tsRemoveRequested;
  }
  FActiveCount = 0;
  FBaseInterval = 0;
  UpdateTimer();
}

void TTimerPool::RecountActive() {
  FActiveCount = static_cast<int32_t>(
      std::count_if(FTimers.begin(), FTimers.end(), [](const auto& r) { return r->Enabled; }));
}

void TTimerPool::RecalcInterval() {
  const uint32_t now = GetTickCount();
  bool found = false;
  int64_t candidate = 0;
  for (const auto& record : FTimers) {
    if (!record->Enabled) continue;
    const int64_t elapsed = static_cast<int32_t>(now) < static_cast<int32_t>(record->LastTick)
                                ? MaxElapsed
                                : static_cast<int64_t>(now - record->LastTick);
    const int64_t interval = record->Interval;
    const int64_t smallest = std::min(interval, interval - elapsed);
    candidate = found ? std::min(candidate, smallest) : smallest;
    found = true;
  }
  if (!found) {
    FBaseInterval = 0;
    return;
  }
  candidate = std::max<int64_t>(candidate, MinimumInterval);
  // Shrink the candidate until it divides every interval, enabled or not.
  bool divides = false;
  while (!divides && candidate > MinimumInterval) {
    divides = true;
    for (const auto& record : FTimers) {
      const int64_t remainder = record->Interval % candidate;
      if (remainder != 0) {
        candidate -= remainder;
        divides = false;
        break;
      }
    }
  }
  FBaseInterval = static_cast<uint32_t>(std::max<int64_t>(candidate, MinimumInterval));
}

void TTimerPool::UpdateTimer() {
  FWindow->KillTimer(PoolTimerId);
  FTimerRunning = false;
  if (FBaseInterval != 0 && FActiveCount > 0) {
    if (!FWindow->SetTimer(PoolTimerId, FBaseInterval)) throw ENoTimersAvailable();
    FTimerRunning = true;
  }
}

void TTimerPool::ProcessTick() {
  const uint32_t now = GetTickCount();
  for (int index = 0; index < Count(); ++index) {
    TTimerRecord* record = FTimers[static_cast<size_t>(index)].get();
    if (!record->Enabled) continue;
    record->State = TTimerRecord::tsRunning;
    const int32_t handle = record->Handle;
    // The record's turn always ends here, even when a handler raises; the exception then
    // leaves the tick and the remaining records wait for the next one.
    struct TEndOfTurn {
      TTimerPool& Pool;
      TTimerRecord& Record;
      int32_t Handle;
      int& Index;
      ~TEndOfTurn() {
        if (Record.State == TTimerRecord::tsRemoveRequested) {
          Record.State = TTimerRecord::tsIdle;
          --Index;  // the record that moved into this place is visited next
          try {
            Pool.Remove(Handle);
          } catch (...) {
            // Re-arming failed; inside a tick that is discarded like a handler's failure.
          }
        } else {
          Record.State = TTimerRecord::tsIdle;
        }
      }
    } endOfTurn{*this, *record, handle, index};

    const uint32_t elapsed = TickElapsed(record->LastTick, now);
    if (static_cast<int64_t>(elapsed) < static_cast<int64_t>(record->Interval) - EarlyMargin) continue;
    record->LastTick = now;
    record->ElapsedTime = static_cast<int32_t>(std::min<int64_t>(MaxElapsed, int64_t{record->ElapsedTime} + elapsed));
    if (!record->Recurring) Remove(handle);
    const uint32_t interval = record->Interval;
    const int32_t total = record->ElapsedTime;
    if (record->OnTrigger) record->OnTrigger(this, handle, interval, total);
    if (OnAllTriggers) OnAllTriggers(this, handle, interval, total);
  }
}

TTimerPool* DefaultTimerPool() { return DefaultPoolSlot().get(); }

TAppTimerUnit::TAppTimerUnit() {
  if (!DefaultPoolSlot()) DefaultPoolSlot().reset(new TTimerPool(nullptr));
}

TAppTimerUnit::~TAppTimerUnit() {
  TComponentPtr<TTimerPool> pool = std::move(DefaultPoolSlot());
  if (pool) pool->RemoveAll();
}
