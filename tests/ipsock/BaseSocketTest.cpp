#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "ipsock/IpBaseSocket.h"
#include "ipsock/IpExceptions.h"
#include "ipsock/IpWinSockAccess.h"
#include "platform/SocketLibrary.h"
#include "tests/ipsock/SocketTestSupport.h"
#include "tests/support/WaitUntil.h"

namespace {
struct TStatus {
  TSocket Socket;
  TIpStatusType Event;
  TIpConnRec Connection;
};

// A minimal socket control: a window that hands the socket's events to the one socket
// whose handle they name, and a record of every status report.
class TTestOwner : public TIpSocketOwner {
public:
  explicit TTestOwner(int32_t Type = WS_SOCK_STREAM)
      : FType(Type), FWindow([this](uint32_t Msg, WPARAM WParam, LPARAM LParam) {
          if (Msg == IpSocketEventMessage) Dispatch(WParam, static_cast<int32_t>(LParam & 0xFFFF),
                                                    static_cast<int32_t>(LParam >> 16));
          return LRESULT{0};
        }) {}

  HWND SocketWindow() const override { return FWindow.Handle(); }
  int32_t SocketType() const override { return FType; }
  void DoStatus(TSocket Socket, TIpStatusType Event, const TIpConnRec& Connection) override {
    Statuses.push_back({Socket, Event, Connection});
  }
  // Every name stands for 127.0.0.1 here.
  uint32_t LookupName(const std::string& Host) override {
    LookedUp.push_back(Host);
    return LoopbackAddress();
  }

  TIpBaseSocket* Socket = nullptr;
  std::vector<TStatus> Statuses;
  std::vector<TSocketEvent> Events;
  std::vector<TSocketEvent> Unclaimed;
  std::vector<std::string> LookedUp;

private:
  void Dispatch(TSocket Handle, int32_t Event, int32_t Error) {
    Events.push_back({Handle, Event, Error});
    if (Socket == nullptr || Socket->SocketHandle() != Handle) {
      Unclaimed.push_back({Handle, Event, Error});
      return;
    }
    if (Error != 0) return;
    if (Event == FD_CONNECT) Socket->ConnectEvent();
    if (Event == FD_CLOSE) Socket->CloseEvent();
  }

  int32_t FType;
  TMessageWindow FWindow;
};

TSockAddrIn LoopbackTo(uint16_t Port) {
  TSockAddrIn address = IpAnyAddress();
  address.sin_port = htons(Port);
  address.sin_addr.S_addr = LoopbackAddress();
  return address;
}

uint16_t PeerPortOf(int Fd) {
  sockaddr_in address{};
  socklen_t length = sizeof address;
  ::getpeername(Fd, reinterpret_cast<sockaddr*>(&address), &length);
  return ntohs(address.sin_port);
}

using TOptionCall = std::tuple<int, int, int32_t>;

class BaseSocketTest : public testing::Test {
protected:
  std::unique_ptr<TIpBaseSocket> NewSocket(const TIpBaseInits* Settings = nullptr,
                                           const TIpSocksServerInfo* Socks = nullptr,
                                           TSockAddrIn Local = IpAnyAddress()) {
    auto socket = std::make_unique<TIpBaseSocket>(&Owner, INVALID_SOCKET, Local, Settings, Socks);
    Owner.Socket = socket.get();
    return socket;
  }

  TTestOwner Owner;
  TLoopbackListener Listener;
};
}  // namespace

TEST_F(BaseSocketTest, ConnectReportsTheConnectionAndCloseTheDisconnect) {
  auto socket = NewSocket();
  socket->Connect(LoopbackTo(Listener.Port()), "127.0.0.1:" + std::to_string(Listener.Port()));
  EXPECT_EQ(socket->RemoteName(), "127.0.0.1:" + std::to_string(Listener.Port()));
  const int peer = Listener.Accept();
  ASSERT_GE(peer, 0);
  ASSERT_TRUE(WaitUntil([&] { return !Owner.Statuses.empty(); }));
  EXPECT_TRUE(socket->Connected());
  ASSERT_EQ(Owner.Statuses.size(), 1u);
  const TStatus connected = Owner.Statuses[0];
  EXPECT_EQ(connected.Socket, socket->SocketHandle());
  EXPECT_EQ(connected.Event, stConnect);
  EXPECT_EQ(+connected.Connection.RemoteAddress, LoopbackAddress());
  EXPECT_EQ(+connected.Connection.RemotePort, Listener.Port());
  EXPECT_EQ(+connected.Connection.LocalAddress, LoopbackAddress());
  EXPECT_EQ(+connected.Connection.LocalPort, PeerPortOf(peer));

  socket->CloseSocket();
  ASSERT_EQ(Owner.Statuses.size(), 2u);
  EXPECT_EQ(Owner.Statuses[1].Event, stDisconnect);
  EXPECT_EQ(Owner.Statuses[1].Socket, connected.Socket);
  EXPECT_EQ(+Owner.Statuses[1].Connection.LocalPort, +connected.Connection.LocalPort);
  // The peer sees the end of the stream.
  char byte;
  EXPECT_EQ(::recv(peer, &byte, 1, 0), 0);
  ::close(peer);
}

TEST_F(BaseSocketTest, PeerCloseClearsConnected) {
  auto socket = NewSocket();
  socket->Connect(LoopbackTo(Listener.Port()), "peer");
  const int peer = Listener.Accept();
  ASSERT_TRUE(WaitUntil([&] { return socket->Connected(); }));
  ::close(peer);
  ASSERT_TRUE(WaitUntil([&] { return !socket->Connected(); }));
  EXPECT_EQ(Owner.Events.back(), (TSocketEvent{socket->SocketHandle(), FD_CLOSE, 0}));
}

TEST_F(BaseSocketTest, RefusedConnectArrivesAsAnEventNotAnException) {
  auto socket = NewSocket();
  EXPECT_NO_THROW(socket->Connect(LoopbackTo(ClosedLoopbackPort()), "nobody"));
  ASSERT_TRUE(WaitUntil([&] { return !Owner.Events.empty(); }));
  EXPECT_EQ(Owner.Events[0], (TSocketEvent{socket->SocketHandle(), FD_CONNECT, 10061}));
  EXPECT_FALSE(socket->Connected());
  EXPECT_TRUE(Owner.Statuses.empty());
  // The same socket is used for the next attempt.
  socket->Connect(LoopbackTo(Listener.Port()), "second try");
  const int peer = Listener.Accept();
  ASSERT_TRUE(WaitUntil([&] { return !Owner.Statuses.empty(); }));
  EXPECT_EQ(Owner.Statuses[0].Event, stConnect);
  EXPECT_EQ(+Owner.Statuses[0].Connection.RemotePort, Listener.Port());
  ::close(peer);
}

TEST_F(BaseSocketTest, ConnectThatCannotStartRaises) {
  auto socket = NewSocket();
  socket->Connect(LoopbackTo(Listener.Port()), "first");
  const int peer = Listener.Accept();
  ASSERT_TRUE(WaitUntil([&] { return socket->Connected(); }));
  try {
    socket->Connect(LoopbackTo(Listener.Port()), "again");
    FAIL() << "a second connect was accepted";
  } catch (const EIpWinSockError& e) {
    EXPECT_EQ(e.ErrorCode(), 10056);
    EXPECT_STREQ(e.what(), "WinSock Error (10056): Socket is already connected, on API 'Connect'");
  }
  ::close(peer);
}

TEST_F(BaseSocketTest, StaleMessageForAClosedHandleReachesNoNewerSocket) {
  auto first = NewSocket();
  first->Connect(LoopbackTo(Listener.Port()), "first");
  const int firstPeer = Listener.Accept();
  ASSERT_TRUE(WaitUntil([&] { return first->Connected(); }));
  const TSocket staleHandle = first->SocketHandle();
  first->CloseSocket();
  first.reset();
  auto second = NewSocket();
  second->Connect(LoopbackTo(Listener.Port()), "second");
  const int secondPeer = Listener.Accept();
  ASSERT_TRUE(WaitUntil([&] { return second->Connected(); }));
  EXPECT_NE(second->SocketHandle(), staleHandle);
  // A readiness message of the old socket that was still queued.
  PostMessage(Owner.SocketWindow(), IpSocketEventMessage, staleHandle, FD_CLOSE);
  ASSERT_TRUE(WaitUntil([&] { return !Owner.Unclaimed.empty(); }));
  EXPECT_EQ(Owner.Unclaimed.back().Handle, staleHandle);
  EXPECT_TRUE(second->Connected());
  ::close(firstPeer);
  ::close(secondPeer);
}

TEST_F(BaseSocketTest, StreamOptionsAreSetInOrder) {
  std::vector<TOptionCall> calls;
  TScopedSetSockOptHook hook([&](TSocket, int Level, int Option, int32_t Value) {
    calls.emplace_back(Level, Option, Value);
    return 0;
  });
  TIpBaseInits settings;
  settings.SetSocketOptions({soBroadcast, soKeepAlive, soEchoSent, soTelnet});
  auto socket = NewSocket(&settings);
  const std::vector<TOptionCall> expected{
      {6, 1, 0}, {0xFFFF, 8, -1}, {0xFFFF, 1, 0}, {0xFFFF, 0x10, 0}, {0xFFFF, 4, 0}};
  EXPECT_EQ(calls, expected);
  EXPECT_TRUE(socket->EchoSent());
  EXPECT_TRUE(socket->Telnet());
  EXPECT_FALSE(socket->EchoReceived());
  EXPECT_FALSE(socket->DiscardReceived());
  EXPECT_FALSE(socket->StripHighBit());
  EXPECT_EQ(socket->SocketType(), WS_SOCK_STREAM);
}

TEST_F(BaseSocketTest, DatagramOptionsAreSetInOrder) {
  TTestOwner datagramOwner(WS_SOCK_DGRAM);
  std::vector<TOptionCall> calls;
  TScopedSetSockOptHook hook([&](TSocket, int Level, int Option, int32_t Value) {
    calls.emplace_back(Level, Option, Value);
    return 0;
  });
  TIpBaseInits settings;
  settings.SetSocketOptions({soBroadcast, soNoDelay, soDebug, soReuseAddr, soStripHighBit, soDiscardReceived});
  TIpBaseSocket socket(&datagramOwner, INVALID_SOCKET, IpAnyAddress(), &settings, nullptr);
  const std::vector<TOptionCall> expected{{0xFFFF, 0x20, -1}, {0xFFFF, 1, -1}, {0xFFFF, 0x10, 0}, {0xFFFF, 4, -1}};
  EXPECT_EQ(calls, expected);
  EXPECT_EQ(socket.SocketType(), WS_SOCK_DGRAM);
  EXPECT_TRUE(socket.StripHighBit());
  EXPECT_TRUE(socket.DiscardReceived());
}

TEST_F(BaseSocketTest, RefusedOptionFailsConstructionAndClosesTheHandle) {
  TSocket handle = INVALID_SOCKET;
  TScopedSetSockOptHook hook([&](TSocket S, int, int Option, int32_t) {
    handle = S;
    return Option == WS_SO_KEEPALIVE ? WSAEINVAL : 0;
  });
  TIpBaseInits settings;
  settings.SetSocketOptions({soKeepAlive});
  try {
    NewSocket(&settings);
    FAIL() << "the refused option was not raised";
  } catch (const EIpWinSockError& e) {
    EXPECT_STREQ(e.what(), "WinSock Error (10022): Invalid argument, on API 'SetSockOpt'");
  }
  ASSERT_NE(handle, INVALID_SOCKET);
  EXPECT_EQ(WinSockAccess().closesocket()(handle), SOCKET_ERROR);
  EXPECT_EQ(WinSockAccess().WSAGetLastError()(), WSAENOTSOCK);
}

TEST_F(BaseSocketTest, AnyAddressIsNotBoundButAGivenOneIs) {
  auto unbound = NewSocket();
  TSockAddrIn name{};
  int length = sizeof name;
  ASSERT_EQ(WinSockAccess().getsockname()(unbound->SocketHandle(), &name, &length), 0);
  EXPECT_EQ(name.sin_port, 0);
  EXPECT_EQ(name.sin_addr.S_addr, 0u);

  auto bound = NewSocket(nullptr, nullptr, LoopbackTo(0));
  length = sizeof name;
  ASSERT_EQ(WinSockAccess().getsockname()(bound->SocketHandle(), &name, &length), 0);
  EXPECT_EQ(name.sin_addr.S_addr, LoopbackAddress());
  EXPECT_NE(name.sin_port, 0);
  EXPECT_EQ(bound->LocalAddress().sin_addr.S_addr, LoopbackAddress());
}

TEST_F(BaseSocketTest, AdoptedHandleKeepsItsTypeAndAddresses) {
  const TSocket handle = WinSockAccess().socket()(WS_AF_INET, WS_SOCK_DGRAM, 0);
  const TSockAddrIn local = LoopbackTo(0);
  ASSERT_EQ(WinSockAccess().bind()(handle, &local, sizeof local), 0);
  TIpBaseSocket socket(&Owner, handle, IpAnyAddress(), nullptr, nullptr);
  EXPECT_EQ(socket.SocketHandle(), handle);
  EXPECT_EQ(socket.SocketType(), WS_SOCK_DGRAM);
  EXPECT_EQ(socket.LocalAddress().sin_addr.S_addr, LoopbackAddress());
  EXPECT_NE(socket.LocalAddress().sin_port, 0);
}

TEST_F(BaseSocketTest, AdoptingSomethingThatIsNoSocketRaises) {
  try {
    TIpBaseSocket socket(&Owner, 999999, IpAnyAddress(), nullptr, nullptr);
    FAIL() << "adopting an unknown handle was accepted";
  } catch (const EIpWinSockError& e) {
    EXPECT_STREQ(e.what(), "WinSock Error (10038): Socket operation on nonsocket, on API 'GetSockOpt'");
  }
}

namespace {
class TNegotiatingSocket : public TIpBaseSocket {
public:
  using TIpBaseSocket::TIpBaseSocket;
  void SocksNegotiate() override { ++Negotiations; }
  int Negotiations = 0;
};
}  // namespace

TEST_F(BaseSocketTest, WithAProxyTheConnectionGoesToTheProxyAndIsNotReportedYet) {
  TIpSocksServerInfo socks;
  socks.SetAddress("127.0.0.1");
  socks.SetPort(Listener.Port());
  TNegotiatingSocket socket(&Owner, INVALID_SOCKET, IpAnyAddress(), nullptr, &socks);
  Owner.Socket = &socket;
  EXPECT_EQ(socket.SocksState(), 1);
  socket.Connect(LoopbackTo(ClosedLoopbackPort()), "behind.proxy");
  const int proxy = Listener.Accept();
  ASSERT_GE(proxy, 0);
  ASSERT_TRUE(WaitUntil([&] { return socket.Negotiations == 1; }));
  EXPECT_EQ(socket.SocksState(), 2);
  EXPECT_TRUE(socket.Connected());
  EXPECT_TRUE(Owner.Statuses.empty());
  EXPECT_TRUE(Owner.LookedUp.empty());
  ::close(proxy);

  // A proxy given by name is found through the owner's lookup.
  socks.SetAddress("proxy.example");
  TNegotiatingSocket named(&Owner, INVALID_SOCKET, IpAnyAddress(), nullptr, &socks);
  Owner.Socket = &named;
  named.Connect(LoopbackTo(ClosedLoopbackPort()), "behind.proxy");
  EXPECT_EQ(Owner.LookedUp, std::vector<std::string>{"proxy.example"});
  const int namedProxy = Listener.Accept();
  ASSERT_GE(namedProxy, 0);
  ASSERT_TRUE(WaitUntil([&] { return named.Negotiations == 1; }));
  EXPECT_EQ(named.RemoteName(), "behind.proxy");
  ::close(namedProxy);
}
