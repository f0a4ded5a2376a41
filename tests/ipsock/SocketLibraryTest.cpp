#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <linux/capability.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <thread>

#include "platform/SocketErrorMap.h"
#include "platform/SocketLibrary.h"
#include "tests/ipsock/SocketTestSupport.h"
#include "tests/support/WaitUntil.h"

namespace {
// The shim as the engine sees it: the newer library file, bound by name.
class SocketLibraryTest : public testing::Test {
protected:
  void SetUp() override {
    Library = LoadSocketLibrary(WinSock2LibraryFile);
    ASSERT_NE(Library, 0u);
    TWSAData data{};
    ASSERT_EQ(Proc<TWSAStartupProc>("WSAStartup")(0x0202, &data), 0);
  }
  void TearDown() override {
    for (TSocket s : Opened) Proc<TCloseSocketProc>("closesocket")(s);
    FreeSocketLibrary(Library);
  }

  template <class P>
  P Proc(const char* Name) {
    return reinterpret_cast<P>(GetSocketProcAddress(Library, Name));
  }
  TSocket NewSocket(int Type = WS_SOCK_STREAM) {
    const TSocket s = Proc<TSocketProc>("socket")(WS_AF_INET, Type, 0);
    EXPECT_NE(s, INVALID_SOCKET);
    Opened.push_back(s);
    return s;
  }
  int LastError() { return Proc<TWSAGetLastErrorProc>("WSAGetLastError")(); }
  TSockAddrIn LoopbackTo(uint16_t Port) {
    TSockAddrIn address{};
    address.sin_family = WS_AF_INET;
    address.sin_port = Proc<THtonsProc>("htons")(Port);
    address.sin_addr.S_addr = LoopbackAddress();
    return address;
  }
  int Connect(TSocket S, uint16_t Port) {
    const TSockAddrIn address = LoopbackTo(Port);
    return Proc<TConnectProc>("connect")(S, &address, sizeof address);
  }
  int SetOption(TSocket S, int Level, int Option, int32_t Value) {
    return Proc<TSetSockOptProc>("setsockopt")(S, Level, Option, reinterpret_cast<const char*>(&Value), 4);
  }
  int32_t GetOption(TSocket S, int Level, int Option) {
    int32_t value = -12345;
    int length = 4;
    EXPECT_EQ(Proc<TGetSockOptProc>("getsockopt")(S, Level, Option, reinterpret_cast<char*>(&value), &length), 0);
    return value;
  }
  // An asynchronous socket connected to a fresh peer; the peer's descriptor is returned.
  int ConnectedPair(TEventRecorder& Recorder, TSocket& S, int32_t Mask) {
    S = NewSocket();
    EXPECT_EQ(Proc<TWSAAsyncSelectProc>("WSAAsyncSelect")(S, Recorder.Window(), 4753, Mask), 0);
    Connect(S, Listener.Port());
    const int peer = Listener.Accept();
    EXPECT_GE(peer, 0);
    EXPECT_TRUE(Recorder.WaitFor(FD_CONNECT));
    return peer;
  }

  TLibraryHandle Library = 0;
  std::vector<TSocket> Opened;
  TLoopbackListener Listener;
};

// Waits a short while for something that must not happen; true when it stayed away.
bool StaysAway(const std::function<bool()>& Condition) {
  return !WaitUntil(Condition, std::chrono::milliseconds(200));
}
}  // namespace

TEST(SocketLibraryFiles, PresentedFilesLoadAndOthersDoNot) {
  EXPECT_TRUE(SocketLibraryFileExists(WinSock2LibraryFile));
  EXPECT_TRUE(SocketLibraryFileExists(WinSock1LibraryFile));
  {
    TScopedSocketLibraryFiles onlyOlder({WinSock1LibraryFile});
    EXPECT_FALSE(SocketLibraryFileExists(WinSock2LibraryFile));
    EXPECT_EQ(LoadSocketLibrary(WinSock2LibraryFile), 0u);
    const TLibraryHandle older = LoadSocketLibrary(WinSock1LibraryFile);
    EXPECT_NE(older, 0u);
    FreeSocketLibrary(older);
  }
  EXPECT_TRUE(SocketLibraryFileExists(WinSock2LibraryFile));
  EXPECT_FALSE(SocketLibraryFileExists("ws2_32.DLL "));
}

TEST(SocketLibraryFiles, FunctionsAreFoundByTheirExactNameOnly) {
  const TLibraryHandle library = LoadSocketLibrary(WinSock2LibraryFile);
  for (const char* name : {"bind", "closesocket", "connect", "gethostbyname", "getpeername", "getsockname",
                           "getsockopt", "htons", "inet_addr", "inet_ntoa", "ntohs", "recv", "send", "setsockopt",
                           "shutdown", "socket", "WSAAsyncSelect", "WSACancelAsyncRequest", "WSACleanup",
                           "WSAGetLastError", "WSAStartup"})
    EXPECT_NE(GetSocketProcAddress(library, name), nullptr) << name;
  errno = 0;
  EXPECT_EQ(GetSocketProcAddress(library, "Socket"), nullptr);
  EXPECT_EQ(errno, ENOSYS);
  FreeSocketLibrary(library);
  EXPECT_EQ(GetSocketProcAddress(library, "socket"), nullptr);
  EXPECT_EQ(errno, EBADF);
}

TEST(SocketLibraryFiles, StartupNegotiatesUpToEachLibrarysVersion) {
  const TLibraryHandle newer = LoadSocketLibrary(WinSock2LibraryFile);
  const TLibraryHandle older = LoadSocketLibrary(WinSock1LibraryFile);
  auto startup = [](TLibraryHandle Library, uint16_t Version, TWSAData& Data) {
    return reinterpret_cast<TWSAStartupProc>(GetSocketProcAddress(Library, "WSAStartup"))(Version, &Data);
  };
  TWSAData data{};
  EXPECT_EQ(startup(newer, 0x0202, data), 0);
  EXPECT_EQ(data.wVersion, 0x0202);
  EXPECT_STRNE(data.szDescription, "");
  EXPECT_STREQ(data.szSystemStatus, "Running");
  EXPECT_EQ(startup(newer, 0x0101, data), 0);
  EXPECT_EQ(data.wVersion, 0x0101);
  EXPECT_EQ(startup(older, 0x0202, data), 0);
  EXPECT_EQ(data.wVersion, 0x0101);
  EXPECT_EQ(data.wHighVersion, 0x0101);
  EXPECT_EQ(startup(newer, 0x0001, data), WSAVERNOTSUPPORTED);
  {
    TScopedSocketLibraryFiles failing({WinSock2LibraryFile}, WSAVERNOTSUPPORTED);
    EXPECT_EQ(startup(newer, 0x0202, data), WSAVERNOTSUPPORTED);
  }
  FreeSocketLibrary(newer);
  FreeSocketLibrary(older);
}

TEST_F(SocketLibraryTest, HandlesAreNeverReused) {
  const TSocket first = NewSocket();
  ASSERT_EQ(Proc<TCloseSocketProc>("closesocket")(first), 0);
  Opened.clear();
  const TSocket second = NewSocket();
  EXPECT_NE(second, first);
  EXPECT_EQ(Proc<TCloseSocketProc>("closesocket")(first), SOCKET_ERROR);
  EXPECT_EQ(LastError(), WSAENOTSOCK);
}

TEST_F(SocketLibraryTest, OptionsUseTheEngineNumbers) {
  const TSocket stream = NewSocket();
  const TSocket datagram = NewSocket(WS_SOCK_DGRAM);
  EXPECT_EQ(GetOption(stream, WS_SOL_SOCKET, WS_SO_TYPE), WS_SOCK_STREAM);
  EXPECT_EQ(GetOption(datagram, WS_SOL_SOCKET, WS_SO_TYPE), WS_SOCK_DGRAM);
  for (auto [level, option] : {std::pair{WS_SOL_SOCKET, WS_SO_KEEPALIVE}, std::pair{WS_IPPROTO_TCP, WS_TCP_NODELAY},
                               std::pair{WS_SOL_SOCKET, WS_SO_REUSEADDR}, std::pair{WS_SOL_SOCKET, WS_SO_DONTROUTE}}) {
    ASSERT_EQ(SetOption(stream, level, option, -1), 0) << option;
    EXPECT_NE(GetOption(stream, level, option), 0) << option;
    ASSERT_EQ(SetOption(stream, level, option, 0), 0) << option;
    EXPECT_EQ(GetOption(stream, level, option), 0) << option;
  }
  ASSERT_EQ(SetOption(datagram, WS_SOL_SOCKET, WS_SO_BROADCAST, -1), 0);
  EXPECT_NE(GetOption(datagram, WS_SOL_SOCKET, WS_SO_BROADCAST), 0);
  ASSERT_EQ(SetOption(stream, WS_SOL_SOCKET, WS_SO_SNDBUF, 16384), 0);
  EXPECT_GE(GetOption(stream, WS_SOL_SOCKET, WS_SO_SNDBUF), 16384);
  EXPECT_EQ(SetOption(stream, WS_SOL_SOCKET, 0x7777, -1), SOCKET_ERROR);
  EXPECT_EQ(LastError(), WSAENOPROTOOPT);
  EXPECT_EQ(Proc<TSetSockOptProc>("setsockopt")(stream, WS_SOL_SOCKET, WS_SO_KEEPALIVE, "", 2), SOCKET_ERROR);
  EXPECT_EQ(LastError(), WSAEFAULT);
}

TEST_F(SocketLibraryTest, SetSockOptHookSeesAndCanRefuseCalls) {
  const TSocket s = NewSocket();
  std::vector<std::tuple<int, int, int32_t>> seen;
  TScopedSetSockOptHook hook([&](TSocket, int Level, int Option, int32_t Value) {
    seen.emplace_back(Level, Option, Value);
    return Option == WS_SO_SNDBUF ? WSAEINVAL : 0;
  });
  EXPECT_EQ(SetOption(s, WS_SOL_SOCKET, WS_SO_KEEPALIVE, -1), 0);
  EXPECT_EQ(SetOption(s, WS_SOL_SOCKET, WS_SO_SNDBUF, 8192), SOCKET_ERROR);
  EXPECT_EQ(LastError(), WSAEINVAL);
  EXPECT_EQ(seen, (std::vector<std::tuple<int, int, int32_t>>{{WS_SOL_SOCKET, WS_SO_KEEPALIVE, -1},
                                                              {WS_SOL_SOCKET, WS_SO_SNDBUF, 8192}}));
}

TEST_F(SocketLibraryTest, ErrorsAreWinSockCodes) {
  const TSocket s = NewSocket();
  char buffer[4];
  EXPECT_EQ(Proc<TRecvProc>("recv")(s, buffer, 4, 0), SOCKET_ERROR);
  EXPECT_EQ(LastError(), WSAENOTCONN);
  EXPECT_EQ(Proc<TSocketProc>("socket")(23, WS_SOCK_STREAM, 0), INVALID_SOCKET);
  EXPECT_EQ(LastError(), WSAEAFNOSUPPORT);
  // A blocking socket reports a refused connect at once.
  EXPECT_EQ(Connect(s, ClosedLoopbackPort()), SOCKET_ERROR);
  EXPECT_EQ(LastError(), WSAECONNREFUSED);
  // The last error belongs to the thread that failed.
  std::thread([&] { EXPECT_EQ(LastError(), 0); }).join();
  EXPECT_EQ(Proc<TWSACancelAsyncRequestProc>("WSACancelAsyncRequest")(1), SOCKET_ERROR);
}

TEST_F(SocketLibraryTest, AddressesAndNames) {
  EXPECT_EQ(Proc<TInetAddrProc>("inet_addr")("127.0.0.1"), LoopbackAddress());
  EXPECT_EQ(Proc<TInetAddrProc>("inet_addr")("not an address"), WS_INADDR_NONE);
  EXPECT_STREQ(Proc<TInetNtoaProc>("inet_ntoa")(TInAddr{LoopbackAddress()}), "127.0.0.1");
  EXPECT_EQ(Proc<THtonsProc>("htons")(0x1234), Proc<TNtohsProc>("ntohs")(0x1234));
  EXPECT_EQ(Proc<THtonsProc>("htons")(0x1234), 0x3412);
  const THostEnt* host = Proc<TGetHostByNameProc>("gethostbyname")("localhost");
  ASSERT_NE(host, nullptr);
  EXPECT_EQ(host->h_length, 4);
  ASSERT_NE(host->h_addr_list[0], nullptr);
  uint32_t first;
  std::memcpy(&first, host->h_addr_list[0], 4);
  EXPECT_EQ(first, LoopbackAddress());
}

TEST_F(SocketLibraryTest, ConnectIsReportedOnceThenOneWriteEvent) {
  TEventRecorder recorder;
  const TSocket s = NewSocket();
  ASSERT_EQ(Proc<TWSAAsyncSelectProc>("WSAAsyncSelect")(s, recorder.Window(), 4753, FD_READ | FD_WRITE | FD_CONNECT | FD_CLOSE), 0);
  const int result = Connect(s, Listener.Port());
  EXPECT_TRUE(result == 0 || LastError() == WSAEWOULDBLOCK);
  const int peer = Listener.Accept();
  ASSERT_GE(peer, 0);
  ASSERT_TRUE(recorder.WaitFor(FD_WRITE));
  const std::vector<TSocketEvent> expected{{s, FD_CONNECT, 0}, {s, FD_WRITE, 0}};
  EXPECT_EQ(recorder.Events(), expected);
  EXPECT_TRUE(StaysAway([&] { return recorder.Events().size() > 2; }));
  ::close(peer);
}

TEST_F(SocketLibraryTest, RefusedConnectArrivesAsTheConnectEvent) {
  TEventRecorder recorder;
  const TSocket s = NewSocket();
  ASSERT_EQ(Proc<TWSAAsyncSelectProc>("WSAAsyncSelect")(s, recorder.Window(), 4753, FD_CONNECT | FD_CLOSE), 0);
  EXPECT_EQ(Connect(s, ClosedLoopbackPort()), SOCKET_ERROR);
  EXPECT_EQ(LastError(), WSAEWOULDBLOCK);
  ASSERT_TRUE(recorder.WaitFor(FD_CONNECT));
  EXPECT_EQ(recorder.Events().front(), (TSocketEvent{s, FD_CONNECT, WSAECONNREFUSED}));
}

TEST_F(SocketLibraryTest, ReadIsPostedOnceAndReArmedByRecv) {
  TEventRecorder recorder;
  TSocket s;
  const int peer = ConnectedPair(recorder, s, FD_READ | FD_CONNECT | FD_CLOSE);
  SendAll(peer, "ab");
  ASSERT_TRUE(recorder.WaitFor(FD_READ));
  SendAll(peer, "cd");
  EXPECT_TRUE(StaysAway([&] { return recorder.Count(FD_READ) > 1; }));
  char buffer[8];
  EXPECT_EQ(Proc<TRecvProc>("recv")(s, buffer, 1, 0), 1);
  // Data is left, so the re-armed read comes again.
  ASSERT_TRUE(recorder.WaitFor(FD_READ, 2));
  EXPECT_EQ(Proc<TRecvProc>("recv")(s, buffer, sizeof buffer, 0), 3);
  EXPECT_EQ(std::string(buffer, 3), "bcd");
  EXPECT_EQ(Proc<TRecvProc>("recv")(s, buffer, sizeof buffer, 0), SOCKET_ERROR);
  EXPECT_EQ(LastError(), WSAEWOULDBLOCK);
  ::close(peer);
}

// A reply wakes the thread of the socket's window, and nobody else: that thread takes the
// readiness and posts the event to itself. A posted read is not posted again until recv
// re-arms it, and a re-arm with nothing left to read leaves the thread asleep.
TEST_F(SocketLibraryTest, OnlyTheWindowsThreadWakesForAReplyAndOnlyOnceUntilRecv) {
  std::thread([&] {
    const auto queue = TThreadMessageQueue::Current();
    TEventRecorder recorder;
    TSocket s;
    const int peer = ConnectedPair(recorder, s, FD_READ | FD_CONNECT | FD_CLOSE);
    const auto asleep = [&] { return !WaitReadable(queue->WakeDescriptor(), std::chrono::milliseconds(0)); };
    char buffer[4];
    for (size_t round = 1; round <= 20; ++round) {
      ASSERT_TRUE(asleep()) << "round " << round;
      SendAll(peer, "ab");
      ASSERT_TRUE(WaitReadable(queue->WakeDescriptor())) << "round " << round;
      EXPECT_EQ(queue->DeliverPending(), 1);
      ASSERT_EQ(recorder.Count(FD_READ), 2 * round - 1);
      // While the read waits for its recv, unread data wakes the thread once more at most,
      // for a pass that posts nothing.
      if (!asleep()) {
        EXPECT_EQ(queue->DeliverPending(), 0) << "round " << round;
      }
      EXPECT_TRUE(asleep()) << "round " << round;
      ASSERT_EQ(Proc<TRecvProc>("recv")(s, buffer, 1, 0), 1);
      // One byte left: the re-armed read comes again, in one pass.
      ASSERT_TRUE(WaitReadable(queue->WakeDescriptor())) << "round " << round;
      EXPECT_EQ(queue->DeliverPending(), 1);
      ASSERT_EQ(recorder.Count(FD_READ), 2 * round);
      ASSERT_EQ(Proc<TRecvProc>("recv")(s, buffer, sizeof buffer, 0), 1);
    }
    EXPECT_TRUE(asleep());
    ::close(peer);
    ASSERT_TRUE(recorder.WaitFor(FD_CLOSE));
  }).join();
}

TEST_F(SocketLibraryTest, OrderlyCloseOfThePeerIsACloseWithoutError) {
  TEventRecorder recorder;
  TSocket s;
  const int peer = ConnectedPair(recorder, s, FD_READ | FD_CONNECT | FD_CLOSE);
  SendAll(peer, "x");
  ::close(peer);
  ASSERT_TRUE(recorder.WaitFor(FD_READ));
  char buffer[4];
  EXPECT_EQ(Proc<TRecvProc>("recv")(s, buffer, sizeof buffer, 0), 1);
  ASSERT_TRUE(recorder.WaitFor(FD_CLOSE));
  EXPECT_EQ(recorder.Events().back(), (TSocketEvent{s, FD_CLOSE, 0}));
}

TEST_F(SocketLibraryTest, AbortiveCloseOfThePeerIsAReset) {
  TEventRecorder recorder;
  TSocket s;
  const int peer = ConnectedPair(recorder, s, FD_CONNECT | FD_CLOSE);
  CloseAbortively(peer);
  ASSERT_TRUE(recorder.WaitFor(FD_CLOSE));
  EXPECT_EQ(recorder.Events().back(), (TSocketEvent{s, FD_CLOSE, WSAECONNRESET}));
  // The close event has already taken the pending error; every later send still tells the
  // truth about the connection rather than blaming a shutdown that never happened.
  for (int attempt = 0; attempt < 3; ++attempt) {
    EXPECT_EQ(Proc<TSendProc>("send")(s, "x", 1, 0), SOCKET_ERROR);
    EXPECT_EQ(LastError(), WSAECONNRESET) << "attempt " << attempt;
  }
}

TEST_F(SocketLibraryTest, AResetThatACallTookIsStillReportedWithTheClose) {
  TEventRecorder recorder;
  TSocket s;
  const int peer = ConnectedPair(recorder, s, FD_READ | FD_CONNECT | FD_CLOSE);
  SendAll(peer, "x");
  CloseAbortively(peer);
  ASSERT_TRUE(recorder.WaitFor(FD_READ));
  // The system reports the reset to the first call that asks and then only the end of the
  // stream; read is not re-armed yet, so nothing else can ask before this send.
  EXPECT_EQ(Proc<TSendProc>("send")(s, "y", 1, 0), SOCKET_ERROR);
  EXPECT_EQ(LastError(), WSAECONNRESET);
  char buffer[4];
  ASSERT_EQ(Proc<TRecvProc>("recv")(s, buffer, sizeof buffer, 0), 1);
  ASSERT_TRUE(recorder.WaitFor(FD_CLOSE));
  EXPECT_EQ(recorder.Events().back(), (TSocketEvent{s, FD_CLOSE, WSAECONNRESET}));
}

TEST_F(SocketLibraryTest, ShuttingDownAConnectUnderWayIsRefusedAndLeavesItAlone) {
  // A listener whose one slot is taken leaves the next connect unanswered.
  TLoopbackListener full("127.10.5.1", 4001, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(full.Port());
  ::inet_pton(AF_INET, "127.10.5.1", &address.sin_addr);
  const int occupant = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  ASSERT_EQ(::connect(occupant, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
  TEventRecorder recorder;
  const TSocket s = NewSocket();
  ASSERT_EQ(Proc<TWSAAsyncSelectProc>("WSAAsyncSelect")(s, recorder.Window(), 4753, FD_READ | FD_WRITE | FD_CONNECT | FD_CLOSE), 0);
  TSockAddrIn target{};
  target.sin_family = WS_AF_INET;
  target.sin_port = address.sin_port;
  target.sin_addr.S_addr = address.sin_addr.s_addr;
  ASSERT_EQ(Proc<TConnectProc>("connect")(s, &target, sizeof target), SOCKET_ERROR);
  ASSERT_EQ(LastError(), WSAEWOULDBLOCK);
  EXPECT_EQ(Proc<TShutdownProc>("shutdown")(s, WS_SD_SEND), SOCKET_ERROR);
  EXPECT_EQ(LastError(), WSAENOTCONN);
  // The system would have aborted the connect and reported a reset for it.
  EXPECT_TRUE(StaysAway([&] { return !recorder.Events().empty(); }));
  ::close(occupant);
}

TEST_F(SocketLibraryTest, SendThatWouldBlockReArmsWrite) {
  TEventRecorder recorder;
  TSocket s;
  const int peer = ConnectedPair(recorder, s, FD_WRITE | FD_CONNECT | FD_CLOSE);
  ASSERT_TRUE(recorder.WaitFor(FD_WRITE));
  const std::string chunk(65536, 'z');
  size_t queued = 0;
  for (int i = 0; i < 10000; ++i) {
    const int sent = Proc<TSendProc>("send")(s, chunk.data(), static_cast<int>(chunk.size()), 0);
    if (sent == SOCKET_ERROR) break;
    queued += static_cast<size_t>(sent);
  }
  ASSERT_EQ(LastError(), WSAEWOULDBLOCK);
  EXPECT_EQ(recorder.Count(FD_WRITE), 1u);
  std::vector<char> sink(65536);
  size_t drained = 0;
  while (drained < queued) {
    const ssize_t got = ::recv(peer, sink.data(), sink.size(), 0);
    ASSERT_GT(got, 0);
    drained += static_cast<size_t>(got);
  }
  EXPECT_TRUE(recorder.WaitFor(FD_WRITE, 2));
  ::close(peer);
}

TEST_F(SocketLibraryTest, ClosingEndsTheRegistration) {
  TEventRecorder recorder;
  TSocket s;
  const int peer = ConnectedPair(recorder, s, FD_READ | FD_CONNECT | FD_CLOSE);
  ASSERT_EQ(Proc<TCloseSocketProc>("closesocket")(s), 0);
  Opened.clear();
  const size_t before = recorder.Events().size();
  SendAll(peer, "late");
  ::close(peer);
  EXPECT_TRUE(StaysAway([&] { return recorder.Events().size() > before; }));
}

TEST_F(SocketLibraryTest, RegistrationFromAnotherThreadIsServed) {
  TEventRecorder recorder;
  const TSocket s = NewSocket();
  std::thread([&] {
    EXPECT_EQ(Proc<TWSAAsyncSelectProc>("WSAAsyncSelect")(s, recorder.Window(), 4753, FD_CONNECT | FD_CLOSE), 0);
    Connect(s, Listener.Port());
  }).join();
  const int peer = Listener.Accept();
  ASSERT_TRUE(recorder.WaitFor(FD_CONNECT));
  EXPECT_EQ(recorder.Events().front(), (TSocketEvent{s, FD_CONNECT, 0}));
  ::close(peer);
}

TEST_F(SocketLibraryTest, SelectNeedsAWindowAndAnOpenHandle) {
  const TSocket s = NewSocket();
  EXPECT_EQ(Proc<TWSAAsyncSelectProc>("WSAAsyncSelect")(s, 0, 4753, FD_CONNECT), SOCKET_ERROR);
  EXPECT_EQ(LastError(), WSAEINVAL);
  EXPECT_EQ(Proc<TWSAAsyncSelectProc>("WSAAsyncSelect")(s + 1000, 1, 4753, FD_CONNECT), SOCKET_ERROR);
  EXPECT_EQ(LastError(), WSAENOTSOCK);
}

TEST_F(SocketLibraryTest, ASocketWhoseConnectWasRefusedCanConnectAgain) {
  TEventRecorder recorder;
  const TSocket s = NewSocket();
  ASSERT_EQ(Proc<TWSAAsyncSelectProc>("WSAAsyncSelect")(s, recorder.Window(), 4753, FD_CONNECT | FD_CLOSE), 0);
  Connect(s, ClosedLoopbackPort());
  ASSERT_TRUE(recorder.WaitFor(FD_CONNECT));
  Connect(s, Listener.Port());
  const int peer = Listener.Accept();
  ASSERT_GE(peer, 0);
  ASSERT_TRUE(recorder.WaitFor(FD_CONNECT, 2));
  EXPECT_EQ(recorder.Events().back(), (TSocketEvent{s, FD_CONNECT, 0}));
  ::close(peer);
}

TEST_F(SocketLibraryTest, ShutdownAndTheNamesOfBothEnds) {
  TEventRecorder recorder;
  TSocket s;
  const int peer = ConnectedPair(recorder, s, FD_CONNECT | FD_CLOSE);
  TSockAddrIn remote{};
  int length = sizeof remote;
  ASSERT_EQ(Proc<TGetPeerNameProc>("getpeername")(s, &remote, &length), 0);
  EXPECT_EQ(remote.sin_family, WS_AF_INET);
  EXPECT_EQ(Proc<TNtohsProc>("ntohs")(remote.sin_port), Listener.Port());
  EXPECT_EQ(remote.sin_addr.S_addr, LoopbackAddress());
  TSockAddrIn local{};
  length = 8;
  EXPECT_EQ(Proc<TGetSockNameProc>("getsockname")(s, &local, &length), SOCKET_ERROR);
  EXPECT_EQ(LastError(), WSAEFAULT);
  ASSERT_EQ(Proc<TShutdownProc>("shutdown")(s, WS_SD_SEND), 0);
  char byte;
  EXPECT_EQ(::recv(peer, &byte, 1, 0), 0);
  EXPECT_EQ(Proc<TSendProc>("send")(s, "x", 1, 0), SOCKET_ERROR);
  EXPECT_EQ(LastError(), WSAESHUTDOWN);
  EXPECT_EQ(Proc<TShutdownProc>("shutdown")(s, 7), SOCKET_ERROR);
  EXPECT_EQ(LastError(), WSAEINVAL);
  ::close(peer);
}

TEST_F(SocketLibraryTest, OutOfBandDataIsPostedAndReArmedByRecv) {
  TEventRecorder recorder;
  TSocket s;
  const int peer = ConnectedPair(recorder, s, FD_READ | FD_OOB | FD_CONNECT | FD_CLOSE);
  ASSERT_EQ(::send(peer, "!", 1, MSG_OOB), 1);
  ASSERT_TRUE(recorder.WaitFor(FD_OOB));
  char byte = 0;
  EXPECT_EQ(Proc<TRecvProc>("recv")(s, &byte, 1, MSG_OOB), 1);
  EXPECT_EQ(byte, '!');
  ASSERT_EQ(::send(peer, "?", 1, MSG_OOB), 1);
  EXPECT_TRUE(recorder.WaitFor(FD_OOB, 2));
  ::close(peer);
}

TEST_F(SocketLibraryTest, DatagramsArePostedAsReads) {
  TEventRecorder recorder;
  const TSocket s = NewSocket(WS_SOCK_DGRAM);
  const TSockAddrIn local = LoopbackTo(0);
  ASSERT_EQ(Proc<TBindProc>("bind")(s, &local, sizeof local), 0);
  TSockAddrIn bound{};
  int length = sizeof bound;
  ASSERT_EQ(Proc<TGetSockNameProc>("getsockname")(s, &bound, &length), 0);
  ASSERT_EQ(Proc<TWSAAsyncSelectProc>("WSAAsyncSelect")(s, recorder.Window(), 4753, FD_READ | FD_WRITE), 0);
  // A bound datagram socket may send at once.
  ASSERT_TRUE(recorder.WaitFor(FD_WRITE));
  const int sender = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  sockaddr_in target{};
  target.sin_family = AF_INET;
  target.sin_port = bound.sin_port;
  target.sin_addr.s_addr = bound.sin_addr.S_addr;
  ASSERT_EQ(::sendto(sender, "one", 3, 0, reinterpret_cast<const sockaddr*>(&target), sizeof target), 3);
  ASSERT_TRUE(recorder.WaitFor(FD_READ));
  char buffer[8];
  EXPECT_EQ(Proc<TRecvProc>("recv")(s, buffer, sizeof buffer, 0), 3);
  EXPECT_EQ(std::string(buffer, 3), "one");
  ::close(sender);
}

// Every code of the engine's error-text table that a POSIX call can bring about has an errno
// that maps to it; the rest are start-up, resolver or quality-of-service codes.
TEST(SocketErrorMap, EveryPosixReachableCodeOfTheTextTableIsMapped) {
  std::vector<int> reachable = {10004, 10009, 10013, 10014, 10022, 10024, 10103};
  for (int code = 10035; code <= 10071; ++code)
    if (code != 10067) reachable.push_back(code);  // no process limit error on this system
  for (int code : reachable) {
    bool mapped = false;
    for (int error = 1; error < 256 && !mapped; ++error) mapped = WinSockErrorFromErrno(error) == code;
    EXPECT_TRUE(mapped) << code;
  }
  EXPECT_EQ(WinSockErrorFromErrno(ECONNREFUSED), WSAECONNREFUSED);
  EXPECT_EQ(WinSockErrorFromErrno(ECONNRESET), WSAECONNRESET);
  EXPECT_EQ(WinSockErrorFromErrno(EAGAIN), WSAEWOULDBLOCK);
  EXPECT_EQ(WinSockErrorFromErrno(EINPROGRESS), WSAEINPROGRESS);
  EXPECT_EQ(WinSockErrorFromErrno(ENOTCONN), WSAENOTCONN);
  EXPECT_EQ(WinSockErrorFromErrno(0), WSASYSCALLFAILURE);
  EXPECT_EQ(WinSockErrorFromErrno(EIO), WSASYSCALLFAILURE);
  EXPECT_EQ(WinSockErrorFromResolver(EAI_NONAME), WSAHOST_NOT_FOUND);
  EXPECT_EQ(WinSockErrorFromResolver(EAI_AGAIN), WSATRY_AGAIN);
  EXPECT_EQ(WinSockErrorFromResolver(EAI_NODATA), WSANO_DATA);
  EXPECT_EQ(WinSockErrorFromResolver(EAI_FAIL), WSANO_RECOVERY);
}

namespace {
// Takes the network administration privilege from the calling thread only.
bool DropNetworkAdministration() {
  __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
  __user_cap_data_struct data[_LINUX_CAPABILITY_U32S_3]{};
  if (::syscall(SYS_capget, &header, data) != 0) return false;
  data[CAP_TO_INDEX(CAP_NET_ADMIN)].effective &= ~CAP_TO_MASK(CAP_NET_ADMIN);
  return ::syscall(SYS_capset, &header, data) == 0;
}
}  // namespace

TEST_F(SocketLibraryTest, TheDebugOptionNeedsNoPrivilege) {
  const TSocket s = NewSocket();
  bool refusedBySystem = false;
  int result = 0;
  int error = 0;
  std::thread([&] {
    DropNetworkAdministration();
    const int probe = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const int on = 1;
    refusedBySystem = ::setsockopt(probe, SOL_SOCKET, SO_DEBUG, &on, sizeof on) != 0 && errno == EACCES;
    ::close(probe);
    result = SetOption(s, WS_SOL_SOCKET, WS_SO_DEBUG, -1);
    error = LastError();
  }).join();
  if (!refusedBySystem) GTEST_SKIP() << "this system does not refuse the debug option here";
  EXPECT_EQ(result, 0) << "error " << error;
}
