#pragma once

#include <cstdint>

#include "platform/SocketLibrary.h"

enum TIpStatusType { stConnect, stDisconnect, stProgress, stError };
enum TIpSockProtocol { spTcp, spUdp };

// The message that carries socket events to the owner's window.
constexpr uint32_t IpSocketEventMessage = 4753;
// The events a base socket registers: connect and close.
constexpr int32_t IpBaseSocketEvents = FD_CONNECT | FD_CLOSE;

// The connection as handed to status handlers: addresses in network order, ports in host
// order.
#pragma pack(push, 1)
struct TIpConnRec {
  uint32_t RemoteAddress;
  uint16_t RemotePort;
  uint32_t LocalAddress;
  uint16_t LocalPort;
};
#pragma pack(pop)
static_assert(sizeof(TIpConnRec) == 12);

// Byte counters of a connection: filtered received, payload sent, raw received, raw sent,
// then the same four again (both sets count together).
struct TIpSockStatRec {
  uint32_t BytesReceived;
  uint32_t BytesSent;
  uint32_t RawBytesReceived;
  uint32_t RawBytesSent;
  uint32_t TotalBytesReceived;
  uint32_t TotalBytesSent;
  uint32_t TotalRawBytesReceived;
  uint32_t TotalRawBytesSent;
};
static_assert(sizeof(TIpSockStatRec) == 32);

// Family 2, every other byte 0.
constexpr TSockAddrIn IpAnyAddress() { return TSockAddrIn{WS_AF_INET, 0, {0}, {}}; }
