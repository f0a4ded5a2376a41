#include "tests/support/WaitUntil.h"

#include <poll.h>

#include <thread>

#include "platform/MessageWindow.h"

bool WaitUntil(const std::function<bool()>& Condition, std::chrono::milliseconds Timeout) {
  const auto deadline = std::chrono::steady_clock::now() + Timeout;
  while (!Condition()) {
    if (std::chrono::steady_clock::now() >= deadline) return false;
    ProcessMessages();
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

bool WaitReadable(int Descriptor, std::chrono::milliseconds Timeout) {
  pollfd wait{Descriptor, POLLIN, 0};
  return ::poll(&wait, 1, static_cast<int>(Timeout.count())) == 1;
}
