#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <arpa/inet.h>

#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "base/Format.h"
#include "ipsock/IpExceptions.h"
#include "tests/ipsock/ClientFixture.h"
#include "tests/support/TestApplication.h"
#include "tests/support/WaitUntil.h"

using testing::HasSubstr;

namespace {
std::string ExceptionText(const std::function<void()>& Action) {
  try {
    Action();
  } catch (const std::exception& error) {
    return error.what();
  }
  return "(nothing raised)";
}
}  // namespace

TEST_F(ClientTest, ConnectsAndReportsOnTheCreatingThread) {
  TPeer peer(ConnectPeer());
  ASSERT_EQ(Recorder.StatusCount(stConnect), 1u);
  const TStatusReport report = Recorder.Statuses().front();
  EXPECT_EQ(report.Thread, std::this_thread::get_id());
  EXPECT_EQ(report.Socket, Client->SocketHandle());
  // The record is packed: its fields are compared as copies.
  EXPECT_EQ(uint32_t{report.Connection.RemoteAddress}, LoopbackAddress());
  EXPECT_EQ(uint16_t{report.Connection.RemotePort}, Listener.Port());
  EXPECT_EQ(uint32_t{report.Connection.LocalAddress}, LoopbackAddress());
  EXPECT_NE(uint16_t{report.Connection.LocalPort}, 0);
  EXPECT_TRUE(Client->Connected());
}

TEST_F(ClientTest, SendsStringsAtOnceWhenTheSocketAcceptsThem) {
  TPeer peer(ConnectPeer());
  EXPECT_EQ(Client->SendString("hello\r\n", false), 0u);
  EXPECT_EQ(Client->SendString("world", false), 0u);
  std::string received;
  ASSERT_TRUE(ReceiveWhilePumping(peer.Fd(), received, 12));
  EXPECT_EQ(received, "hello\r\nworld");
  const TIpSockStatRec stats = Client->DataSocket()->GetStats();
  EXPECT_EQ(stats.BytesSent, 12u);
  EXPECT_EQ(stats.RawBytesSent, 12u);
  EXPECT_EQ(stats.TotalBytesSent, 12u);
  EXPECT_TRUE(Recorder.ItemsSent().empty());
}

TEST_F(ClientTest, StreamModeDeliversEveryByteInOrderWithOneProgressPerPeriod) {
  TPeer peer(ConnectStreamPeer(0));
  const std::string sent = PatternBytes(300000);
  std::thread writer([&] { SendAll(peer.Fd(), sent); });
  ASSERT_TRUE(WaitUntil([&] { return Stream.Size() >= static_cast<int64_t>(sent.size()); }));
  writer.join();
  EXPECT_TRUE(StreamText() == sent) << "bytes lost, duplicated or reordered";

  // The timer is driven by hand: one progress for a period with activity, none without.
  Client->WndProc(WM_TIMER, TIpSockControl::ControlTimerId, 0);
  Client->WndProc(WM_TIMER, TIpSockControl::ControlTimerId, 0);
  ASSERT_EQ(Recorder.StatusCount(stProgress), 1u);
  const TStatusReport progress = Recorder.Statuses().back();
  EXPECT_EQ(progress.Stats.BytesReceived, sent.size());
  EXPECT_EQ(progress.Stats.RawBytesReceived, sent.size());
  EXPECT_EQ(progress.Thread, std::this_thread::get_id());

  SendAll(peer.Fd(), "more");
  ASSERT_TRUE(WaitUntil([&] { return Stream.Size() == static_cast<int64_t>(sent.size() + 4); }));
  Client->WndProc(WM_TIMER, TIpSockControl::ControlTimerId, 0);
  EXPECT_EQ(Recorder.StatusCount(stProgress), 2u);
}

TEST_F(ClientTest, TheTimerRaisesProgressByItself) {
  TPeer peer(ConnectStreamPeer(20));
  SendAll(peer.Fd(), "abc");
  ASSERT_TRUE(WaitUntil([&] { return Recorder.StatusCount(stProgress) == 1; }));
  EXPECT_EQ(Stream.Size(), 3);
}

TEST_F(ClientTest, DisconnectReportsTheCloseBeforeItReturns) {
  TPeer peer(ConnectPeer());
  Client->Disconnect();
  EXPECT_EQ(Recorder.StatusCount(stDisconnect), 1u);
  EXPECT_EQ(Client->DataSocket(), nullptr);
  EXPECT_EQ(Client->SocketHandle(), INVALID_SOCKET);
  EXPECT_FALSE(Client->Connected());
  std::string received;
  EXPECT_TRUE(WaitUntil([&] { return !ReadAvailable(peer.Fd(), received); })) << "the peer saw no end";
  // Nothing more arrives for the freed socket.
  WaitUntil([] { return false; }, std::chrono::milliseconds(50));
  EXPECT_EQ(Recorder.StatusCount(stDisconnect), 1u);
}

TEST_F(ClientTest, PeerCloseReportsTheCloseAndFreesTheSocket) {
  TPeer peer(ConnectPeer());
  peer.Close();
  ASSERT_TRUE(WaitUntil([&] { return Recorder.StatusCount(stDisconnect) == 1; }));
  EXPECT_EQ(Client->DataSocket(), nullptr);
  EXPECT_TRUE(Recorder.Errors().empty());
}

TEST_F(ClientTest, PeerResetReportsTheErrorAndTheClose) {
  TPeer peer(ConnectPeer());
  CloseAbortively(peer.Release());
  ASSERT_TRUE(WaitUntil([&] { return Recorder.StatusCount(stDisconnect) == 1; }));
  const std::vector<TErrorReport> errors = Recorder.Errors();
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_EQ(errors[0].Code, WSAECONNRESET);
  EXPECT_THAT(errors[0].Text, HasSubstr("(10054)"));
  EXPECT_EQ(Client->DataSocket(), nullptr);
}

TEST_F(ClientTest, ConnectWhileConnectedIsRefused) {
  TPeer peer(ConnectPeer());
  const TSocket handle = Client->SocketHandle();
  EXPECT_THAT(ExceptionText([&] { Client->Connect(LoopbackText(Listener.Port())); }),
              HasSubstr("Socket is already connected"));
  EXPECT_EQ(Client->SocketHandle(), handle);
  EXPECT_TRUE(Client->Connected());
}

TEST_F(ClientTest, OperationsWithoutADataSocketAreRefused) {
  TMemoryStream stream;
  EXPECT_EQ(ExceptionText([&] { Client->SendString("x", false); }), "Socket not assigned");
  EXPECT_EQ(ExceptionText([&] { Client->SetReceiveStream(&stream); }), "Socket not assigned");
  EXPECT_EQ(ExceptionText([&] { Client->SetSendBufferSize(16384); }), "Socket not assigned");
  EXPECT_THROW(Client->SendString("x", false), EIpNoSocketError);
  EXPECT_EQ(Client->SocketHandle(), INVALID_SOCKET);
  EXPECT_FALSE(Client->Connected());
  Client->Disconnect();
  EXPECT_TRUE(Recorder.Statuses().empty());
}

TEST_F(ClientTest, RefusedConnectionIsReportedAndALaterConnectWorks) {
  const TSocket first = Client->Connect(LoopbackText(ClosedLoopbackPort()));
  ASSERT_NE(first, INVALID_SOCKET);
  ASSERT_TRUE(WaitUntil([&] { return !Recorder.Errors().empty(); }));
  const std::vector<TErrorReport> errors = Recorder.Errors();
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_EQ(errors[0].Socket, first);
  EXPECT_EQ(errors[0].Code, WSAECONNREFUSED);
  EXPECT_EQ(errors[0].Text, "WinSock Error (10061): Connection refused, on API 'Fd_Connect'");
  EXPECT_NE(Client->DataSocket(), nullptr) << "a failed attempt keeps its socket";
  EXPECT_FALSE(Client->Connected());

  TPeer peer(ConnectPeer());
  EXPECT_EQ(Client->SocketHandle(), first) << "the unconnected socket is reused";
  EXPECT_EQ(Recorder.StatusCount(stConnect), 1u);
}

TEST_F(ClientTest, AddressWithoutPortUsesTheDefaultPort) {
  Client->SetDefaultPort(Listener.Port());
  // A dotted address, and a name that is looked up (alone: a word without a dot before a
  // colon would be read as a scheme).
  for (const std::string host : {"127.0.0.1", "localhost"}) {
    ASSERT_NE(Client->Connect(host), INVALID_SOCKET) << host;
    TPeer peer(Listener.Accept());
    ASSERT_GE(peer.Fd(), 0) << host;
    ASSERT_TRUE(WaitUntil([&] { return Client->Connected(); })) << host;
    EXPECT_EQ(Client->DataSocket()->RemoteName(), host);
    EXPECT_EQ(Client->DataSocket()->RemoteAddress().sin_addr.S_addr, LoopbackAddress()) << host;
    Client->Disconnect();
  }
}

TEST_F(ClientTest, UnusableAddressesStartNothing) {
  EXPECT_EQ(Client->Connect(""), INVALID_SOCKET);
  EXPECT_EQ(Client->Connect("127.0.0.1:99999"), INVALID_SOCKET);
  EXPECT_FALSE(Client->Connected());
  WaitUntil([] { return false; }, std::chrono::milliseconds(50));
  EXPECT_TRUE(Recorder.Errors().empty());
  EXPECT_TRUE(Recorder.Statuses().empty());
}

TEST_F(ClientTest, StatusEventsFilterTheEventButNotTheEventLog) {
  TTemporaryFolder folder;
  Client->EventLog().SetEnabled(true);
  Client->SetStatusEvents({stProgress});
  uint16_t localPort = 0;
  {
    TPeer peer(ConnectPeer());
    localPort = Client->DataSocket()->LocalAddress().sin_port;
    Client->Disconnect();
  }
  EXPECT_TRUE(Recorder.Statuses().empty());
  const std::string local = "127.0.0.1:" + std::to_string(ntohs(localPort));
  const std::string remote = "127.0.0.1:" + std::to_string(Listener.Port());
  const std::string log = ReadWholeFile("event.log");
  EXPECT_THAT(log, HasSubstr(" Connect: Loc: " + local + " Rem: " + remote + "\r\n"));
  EXPECT_THAT(log, HasSubstr(" Close:   Loc: " + local + " Rem: " + remote + "\r\n"));
}

TEST_F(ClientTest, ProtocolCannotChangeWhileASocketExists) {
  EXPECT_EQ(Client->ProtocolName(), "tcp");
  Client->SetSockProtocol(spUdp);
  EXPECT_EQ(Client->ProtocolName(), "udp");
  EXPECT_EQ(Client->SocketType(), WS_SOCK_DGRAM);
  Client->SetSockProtocol(spTcp);
  TPeer peer(ConnectPeer());
  EXPECT_EQ(ExceptionText([&] { Client->SetSockProtocol(spUdp); }), "Cannot set property on an active socket");
  EXPECT_EQ(Client->SockProtocol(), spTcp);
}

TEST_F(ClientTest, ConstructionSetsTheDocumentedDefaults) {
  EXPECT_EQ(Client->TimerInterval(), 500u);
  EXPECT_EQ(Client->StatusEvents(), (TIpStatusTypeSet{stConnect, stDisconnect, stProgress}));
  EXPECT_EQ(Client->DefaultPort(), 0);
  EXPECT_EQ(Client->EventLog().FileName(), "event.log");
  EXPECT_EQ(Client->EventLog().DateTimeFormat(), "yyyy.mm.dd hh:nn:ss");
  EXPECT_TRUE(Client->SocksServer().Address().empty());
  EXPECT_FALSE(Client->HasSocket());
  EXPECT_EQ(Client->WndProc(WM_QUERYENDSESSION, 0, 0), 1);
}

TEST(ClientDebugLog, GetsTheDataAndIsWrittenWhenTheControlGoes) {
  TTemporaryFolder folder;
  TLoopbackListener listener;
  TSocket handle = INVALID_SOCKET;
  {
    TComponentPtr<TIpClient> client(new TIpClient(nullptr));
    client->DebugLog().SetEnabled(true);
    client->SockInits().SetLogOptions({loHighData, loLowData});
    handle = client->Connect(LoopbackText(listener.Port()));
    TPeer peer(listener.Accept());
    ASSERT_TRUE(WaitUntil([&] { return client->Connected() && client->DataSocket()->Writable(); }));
    ASSERT_EQ(client->SendString("hello", false), 0u);
    SendAll(peer.Fd(), "AB\r\n");
    ASSERT_TRUE(WaitUntil([&] { return client->DataSocket()->GetStats().BytesReceived == 4; }));
    EXPECT_FALSE(std::filesystem::exists("debug.log")) << "written only when the control goes";
  }
  const std::string log = ReadWholeFile("debug.log");
  const unsigned socket = static_cast<unsigned>(handle);
  EXPECT_THAT(log, HasSubstr(Format("Write - 5 bytes written to socket %u\r\n", socket)));
  EXPECT_THAT(log, HasSubstr(Format("[%u] Send API: 5 bytes written\r\n", socket)));
  EXPECT_THAT(log, HasSubstr(Format("Read - 4 bytes read from socket %u\r\n", socket)));
  EXPECT_THAT(log, HasSubstr(Format("[%u] Recv API: 4 bytes read\r\n", socket)));
}

TEST_F(ClientTest, TheBroadcastAddressResolves) {
  // No TCP connection reaches the broadcast address; its resolution is what counts here.
  Client->Connect("255.255.255.255:4001");
  ASSERT_NE(Client->DataSocket(), nullptr);
  EXPECT_EQ(Client->DataSocket()->RemoteAddress().sin_addr.S_addr, 0xFFFFFFFFu);
  EXPECT_EQ(Client->DataSocket()->RemoteAddress().sin_port, htons(4001));
}

TEST_F(ClientTest, AttachedWindowsHearOfConnectionChanges) {
  struct TNotice {
    WPARAM Socket;
    LPARAM Change;
  };
  std::vector<TNotice> early;
  std::vector<TNotice> late;
  std::vector<TNotice> none;
  const auto recorder = [](std::vector<TNotice>& Notices) {
    return [&Notices](uint32_t Msg, WPARAM WParam, LPARAM LParam) -> LRESULT {
      if (Msg == IpConnectionChangeMessage) Notices.push_back({WParam, LParam});
      return 0;
    };
  };
  TMessageWindow first(recorder(early));
  TMessageWindow second(recorder(late));
  TMessageWindow detached(recorder(none));
  Client->AttachWindow(first.Handle());
  Client->AttachWindow(detached.Handle());
  Client->DetachWindow(detached.Handle());
  TPeer peer(ConnectPeer());
  const TSocket handle = Client->SocketHandle();
  // Attached while connected: told of the connection at once.
  Client->AttachWindow(second.Handle());
  Client->Disconnect();
  ASSERT_TRUE(WaitUntil([&] { return early.size() == 2 && late.size() == 2; }));
  EXPECT_EQ(early[0].Socket, handle);
  EXPECT_EQ(early[0].Change, IpConnectedNotice);
  EXPECT_EQ(early[1].Change, IpClosedNotice);
  EXPECT_EQ(late[0].Change, IpConnectedNotice);
  EXPECT_EQ(late[1].Change, IpClosedNotice);
  EXPECT_TRUE(none.empty());
}
