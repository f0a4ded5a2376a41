#include "app/Timer.h"

void TTimer::SetInterval(unsigned Milliseconds) {
  if (FInterval == Milliseconds) return;
  FInterval = Milliseconds;
  Changed();
}

void TTimer::SetEnabled(bool Value) {
  if (FEnabled == Value) return;
  FEnabled = Value;
  Changed();
}

void TTimer::Tick() {
  if (FEnabled && OnTimer) OnTimer();
}

void TTimer::Changed() {
  if (FOnChange) FOnChange();
}
