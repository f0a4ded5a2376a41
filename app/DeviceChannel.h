#pragma once

#include <cstdint>
#include <string>

#include "base/Exception.h"
#include "link/RxRing.h"

// The connection went while a text was being sent: the run ends as a lost connection, not
// as a text the device could not take.
class EConnectionGone : public Exception {
public:
  using Exception::Exception;
};

// What a programming run needs of the connection to the device: a text goes out, received
// bytes come in through the ring. The window's channel is its device link; tests put a
// channel of their own in its place.
class TDeviceChannel {
public:
  virtual ~TDeviceChannel() = default;

  virtual bool Connected() const = 0;
  // Hands Text to the connection. Raises EConnectionGone when there is no connection (any
  // more), another exception when the connection would not take the text.
  virtual void SendText(const std::string& Text) = 0;
  // The received bytes not yet read; the run consumes from ReadPos.
  virtual RxRing& Received() = 0;
  // Drops every received byte not yet read (and the ring's overflow with them).
  virtual void DiscardReceived() = 0;
  // Moves the bytes that have arrived so far into the ring now rather than later.
  virtual void CollectReceived() = 0;
  // The period of the connection's own timer, which paces the bytes' arrival in the ring.
  virtual void SetTimerInterval(uint16_t Milliseconds) = 0;
};
