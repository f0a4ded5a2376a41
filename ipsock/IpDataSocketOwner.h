#pragma once

#include <cstdint>
#include <string>

#include "ipsock/IpBaseClasses.h"
#include "ipsock/IpDebugLog.h"
#include "ipsock/IpSocketOwner.h"

// What a data socket needs from its control beyond the base socket's needs: the events it
// raises, the deferred freeing of a socket closed after its last item, and the debug log.
class TIpDataSocketOwner : public TIpSocketOwner {
public:
  virtual void DoError(TSocket Socket, int32_t ErrCode, const std::string& ErrStr) = 0;
  virtual void DoIdleTimeout(TSocket Socket, bool& Reset) = 0;
  virtual void DoItemSent(TSocket Socket, uint32_t Handle, uint32_t Remaining) = 0;
  // Hands a received line on; it reaches the owner's handler later, on the owner's thread.
  virtual void DoReadLine(TSocket Socket, const std::string& Line) = 0;
  // Frees the socket later, on the owner's thread: the socket itself is still running.
  virtual void PostFreeSocket(TSocket Socket) = 0;
  virtual TIpDebugLog& SocketDebugLog() = 0;
  virtual TIpDebugRenderer SocketDebugRenderer() const = 0;
};
