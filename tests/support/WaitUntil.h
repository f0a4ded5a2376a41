#pragma once

#include <chrono>
#include <functional>

// Runs the calling thread's messages until Condition holds or Timeout passes; answers
// whether it held. Tests wait with this instead of sleeping.
bool WaitUntil(const std::function<bool()>& Condition,
               std::chrono::milliseconds Timeout = std::chrono::seconds(10));
// Waits without running messages until Descriptor is readable or Timeout passes (zero: a
// look only); answers whether it became readable.
bool WaitReadable(int Descriptor, std::chrono::milliseconds Timeout = std::chrono::seconds(10));
