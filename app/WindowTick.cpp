#include "app/WindowTick.h"

namespace {
constexpr uintptr_t TickTimerId = 1;
}

TWindowTick::TWindowTick(TTimer& Timer)
    : FTimer(Timer), FWindow([this](uint32_t Msg, WPARAM, LPARAM) {
        if (Msg == WM_TIMER) FTimer.Tick();
        return LRESULT{0};
      }) {
  FTimer.SetOnChange([this] { Follow(); });
  Follow();
}

TWindowTick::~TWindowTick() { FTimer.SetOnChange({}); }

void TWindowTick::Follow() {
  if (FTimer.Enabled())
    FWindow.SetTimer(TickTimerId, FTimer.Interval());
  else
    FWindow.KillTimer(TickTimerId);
}
