#include "tests/platform/WorkerWindow.h"

#include <poll.h>

#include <future>

TWorkerWindow::TWorkerWindow(TWindowProc Proc, std::function<void(TMessageWindow&)> Setup) {
  std::promise<void> ready;
  auto started = ready.get_future();
  FThread = std::thread([this, &ready, Proc = std::move(Proc), Setup = std::move(Setup)]() mutable {
    TMessageWindow window(std::move(Proc));
    FHandle = window.Handle();
    FQueue = TThreadMessageQueue::Current();
    if (Setup) Setup(window);
    ready.set_value();
    while (!FStop) {
      pollfd wake{FQueue->WakeDescriptor(), POLLIN, 0};
      poll(&wake, 1, FQueue->MillisecondsToNextTimer());
      FQueue->DeliverPending();
    }
  });
  started.wait();
}

TWorkerWindow::~TWorkerWindow() {
  FStop = true;
  FQueue->Wake();
  FThread.join();
}
