#pragma once

#include <cstdint>

// The receive ring the window owns and lends to the device link: the link appends at
// WritePos, the window consumes from ReadPos; both advance modulo the ring's size. It holds
// at most Size - 1 unread bytes (equal positions mean empty): the link drops what would
// overwrite an unread byte and says so in Overflowed, which a reset clears.
struct RxRing {
  static constexpr int32_t Size = 4096;
  int32_t ReadPos = 0;
  int32_t WritePos = 0;
  bool Overflowed = false;
  uint8_t Data[Size] = {};
};
