#pragma once

#include <cstdint>
#include <string>

#include "ipsock/IpTypes.h"
#include "platform/MessageWindow.h"

// What a socket needs from the control that owns it: the window its events go to, the
// socket type of new sockets, the status handler and a blocking name lookup.
class TIpSocketOwner {
public:
  virtual ~TIpSocketOwner() = default;

  virtual HWND SocketWindow() const = 0;
  // 1 stream, 2 datagram.
  virtual int32_t SocketType() const = 0;
  virtual void DoStatus(TSocket Socket, TIpStatusType Event, const TIpConnRec& Connection) = 0;
  // The host's first IPv4 address in network order; raises EIpWinSockError when none.
  virtual uint32_t LookupName(const std::string& Host) = 0;
};
