#pragma once

#include "app/Timer.h"
#include "platform/MessageWindow.h"

// Runs a timer control on a real timer of a hidden window of the calling thread, following
// its interval and enabled state, as the window's view does.
class TWindowTick {
public:
  explicit TWindowTick(TTimer& Timer);
  ~TWindowTick();
  TWindowTick(const TWindowTick&) = delete;
  TWindowTick& operator=(const TWindowTick&) = delete;

private:
  void Follow();

  TTimer& FTimer;
  TMessageWindow FWindow;
};
