#pragma once

#include <functional>

// A periodic timer control. The view runs a real timer with the interval while Enabled and
// calls Tick on each expiry; tests call Tick themselves.
class TTimer {
public:
  unsigned Interval() const { return FInterval; }
  void SetInterval(unsigned Milliseconds);
  bool Enabled() const { return FEnabled; }
  void SetEnabled(bool Value);

  std::function<void()> OnTimer;
  // One expiry: runs OnTimer while enabled.
  void Tick();

  // The view's hook: runs after the interval or the enabled state changed.
  void SetOnChange(std::function<void()> Handler) { FOnChange = std::move(Handler); }

private:
  void Changed();

  unsigned FInterval = 1000;
  bool FEnabled = true;
  std::function<void()> FOnChange;
};
