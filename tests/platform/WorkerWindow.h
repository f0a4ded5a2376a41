#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <thread>

#include "platform/MessageWindow.h"

// A thread without a Qt event loop that owns one message window and runs its messages the
// way a worker's wait does: it sleeps on the queue's wake descriptor until a message or
// the next timer is due.
class TWorkerWindow {
public:
  // Setup runs on the worker once its window exists (e.g. to set timers).
  explicit TWorkerWindow(TWindowProc Proc, std::function<void(TMessageWindow&)> Setup = {});
  ~TWorkerWindow();
  TWorkerWindow(const TWorkerWindow&) = delete;
  TWorkerWindow& operator=(const TWorkerWindow&) = delete;

  HWND Handle() const { return FHandle; }
  std::thread::id ThreadId() const { return FThread.get_id(); }

private:
  std::atomic<bool> FStop{false};
  HWND FHandle = 0;
  std::shared_ptr<TThreadMessageQueue> FQueue;
  std::thread FThread;
};
