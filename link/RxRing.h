#pragma once

#include <cstdint>

// The receive ring the window owns and lends to the device link: the link appends at
// WritePos, the window consumes from ReadPos; both advance modulo the ring's size.
struct RxRing {
  static constexpr int32_t Size = 4096;
  int32_t ReadPos = 0;
  int32_t WritePos = 0;
  uint8_t Data[Size] = {};
};
