#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "ipsock/IpExceptions.h"
#include "platform/MessageWindow.h"
#include "tests/ipsock/ClientFixture.h"
#include "tests/support/TestApplication.h"
#include "tests/support/WaitUntil.h"

// How a connection ends: the peer's reset or close right after a reply, the owner's own
// close from another thread at the moment the peer closes, and a close while connecting.

using testing::HasSubstr;

namespace {
constexpr uint16_t DevicePort = 4001;

// The statuses of one socket, in the order they were raised.
std::vector<TIpStatusType> EventsOf(const std::vector<TStatusReport>& Reports, TSocket Socket) {
  std::vector<TIpStatusType> events;
  for (const TStatusReport& report : Reports)
    if (report.Socket == Socket) events.push_back(report.Event);
  return events;
}

// The progress that must precede the close carries the bytes of the last period.
void ExpectLastProgressBeforeTheClose(const std::vector<TStatusReport>& Reports, TSocket Socket, uint32_t Bytes) {
  const std::vector<TIpStatusType> expected{stConnect, stProgress, stDisconnect};
  EXPECT_EQ(EventsOf(Reports, Socket), expected);
  for (const TStatusReport& report : Reports) {
    if (report.Socket == Socket && report.Event == stProgress) {
      EXPECT_EQ(report.Stats.BytesReceived, Bytes);
    }
  }
}

class ResetAfterReplyTest : public ClientTest {
protected:
  ResetAfterReplyTest() : ClientTest("127.10.1.1", DevicePort) {}
};

class CloseAfterReplyTest : public ClientTest {
protected:
  CloseAfterReplyTest() : ClientTest("127.10.2.1", DevicePort) {}
};

class DisconnectMeetsPeerCloseTest : public ClientTest {
protected:
  DisconnectMeetsPeerCloseTest() : ClientTest("127.10.3.1", DevicePort) {}
};

// Whether the thread is blocked (on a lock, here) rather than running.
bool ThreadIsWaiting(pid_t Thread) {
  std::ifstream stat("/proc/self/task/" + std::to_string(Thread) + "/stat");
  std::string fields;
  std::getline(stat, fields);
  // The state follows the parenthesised command name.
  const size_t end = fields.rfind(')');
  return end != std::string::npos && end + 2 < fields.size() && fields[end + 2] == 'S';
}

class ConnectMeetsTheFreeTest : public ClientTest {
protected:
  ConnectMeetsTheFreeTest() : ClientTest("127.10.3.2", DevicePort) {}
};

// Reached with a connect that the listener never answers: its one slot stays taken.
class ConnectUnderWayTest : public testing::Test {
protected:
  ConnectUnderWayTest() {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(DevicePort);
    ::inet_pton(AF_INET, "127.10.4.1", &address.sin_addr);
    if (::connect(Occupant.Fd(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0)
      ADD_FAILURE() << "cannot take the listener's slot";
  }

  TLoopbackListener Listener{"127.10.4.1", DevicePort, 0};
  TPeer Occupant{::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0)};
  TComponentPtr<TIpClient> Client{new TIpClient(nullptr)};
  TClientRecorder Recorder{*Client};
};
}  // namespace

TEST_F(ResetAfterReplyTest, EveryResetIsAnErrorOnTheCloseAndTheReplyStillArrives) {
  // As a Master that acknowledges and drops the connection at once; the timer never runs,
  // so only the close can hand the reply on.
  constexpr int Cycles = 40;
  Client->SockInits().SetReceiveMode(rmStream);
  Client->SetTimerInterval(0);
  for (int cycle = 0; cycle < Cycles; ++cycle) {
    SCOPED_TRACE("cycle " + std::to_string(cycle));
    Stream.Clear();
    TPeer peer(ConnectPeer());
    Client->SetReceiveStream(&Stream);
    const TSocket socket = Client->SocketHandle();
    SendAll(peer.Fd(), "OK\r");
    CloseAbortively(peer.Release());
    ASSERT_TRUE(WaitUntil([&] { return Recorder.StatusCount(stDisconnect) == static_cast<size_t>(cycle + 1); }));
    EXPECT_EQ(StreamText(), "OK\r");
    ExpectLastProgressBeforeTheClose(Recorder.Statuses(), socket, 3);
  }
  const std::vector<TErrorReport> errors = Recorder.Errors();
  int resets = 0;
  for (const TErrorReport& error : errors) {
    EXPECT_EQ(error.Code, WSAECONNRESET);
    EXPECT_THAT(error.Text, HasSubstr("on API 'Fd_Close'"));
    resets += error.Code == WSAECONNRESET ? 1 : 0;
  }
  EXPECT_EQ(resets, Cycles) << "resets reported as orderly closes";
}

TEST_F(CloseAfterReplyTest, TheLastBytesReachTheOwnerBeforeEitherSideCloses) {
  TPeer peer(ConnectStreamPeer(0));
  TSocket socket = Client->SocketHandle();
  SendAll(peer.Fd(), "ACK\r");
  peer.Close();
  ASSERT_TRUE(WaitUntil([&] { return Recorder.StatusCount(stDisconnect) == 1; }));
  EXPECT_EQ(StreamText(), "ACK\r");
  ExpectLastProgressBeforeTheClose(Recorder.Statuses(), socket, 4);
  EXPECT_TRUE(Recorder.Errors().empty()) << "an orderly close is no error";

  // The owner closes, too, right after the bytes came in.
  Stream.Clear();
  peer = TPeer(ConnectStreamPeer(0));
  socket = Client->SocketHandle();
  SendAll(peer.Fd(), "0123456789");
  ASSERT_TRUE(WaitUntil([&] { return Stream.Size() == 10; }));
  Client->Disconnect();
  ExpectLastProgressBeforeTheClose(Recorder.Statuses(), socket, 10);
}

TEST_F(DisconnectMeetsPeerCloseTest, NeitherThreadHearsOfAMissingSocket) {
  // The owner's thread runs the peer's close while another thread disconnects, as the
  // device link does when it gives up on a connection.
  constexpr int Cycles = 400;
  std::atomic<int> go{-1};
  std::atomic<int> finished{-1};
  std::atomic<bool> stop{false};
  std::vector<std::string> disconnectFailures;
  std::thread closer([&] {
    for (int cycle = 0; cycle < Cycles && !stop; ++cycle) {
      while (go.load() != cycle && !stop) std::this_thread::yield();
      // A varying head start, so the two closes meet at every point of their paths.
      for (std::atomic<int> spin = 0; spin < (cycle % 40) * 50; ++spin) {
      }
      try {
        Client->Disconnect();
      } catch (const std::exception& error) {
        disconnectFailures.push_back(error.what());
      }
      finished = cycle;
    }
  });
  for (int cycle = 0; cycle < Cycles; ++cycle) {
    TPeer peer(ConnectPeer());
    go = cycle;
    peer.Close();
    if (!WaitUntil([&] { return finished.load() == cycle && !Client->DataSocket(); })) {
      ADD_FAILURE() << "cycle " << cycle << " did not end";
      break;
    }
    // Whatever the loser of the two had queued runs before the next cycle.
    ProcessMessages();
  }
  stop = true;
  closer.join();
  EXPECT_TRUE(disconnectFailures.empty()) << disconnectFailures.front();
  EXPECT_TRUE(TestApplication().Exceptions().empty()) << TestApplication().Exceptions().front();
  EXPECT_EQ(Recorder.StatusCount(stDisconnect), static_cast<size_t>(Cycles));
}

TEST_F(ConnectMeetsTheFreeTest, AConnectFromAnotherThreadReplacesASocketTheOwnerFreesMeanwhile) {
  TPeer peer(ConnectPeer());
  // Closed as after its last item, with the free still to come on the owner's thread.
  const std::shared_ptr<TIpDataSocket> closed = Client->DataSocket();
  closed->CloseSocket();
  // The other thread's Connect finds the closed socket and waits for its lock; meanwhile
  // the owner's thread frees it.
  closed->Lock();
  std::atomic<pid_t> connectorThread{0};
  std::string connectFailure;
  std::thread connector([&] {
    connectorThread = ::gettid();
    try {
      if (Client->Connect(Listener.AddressText()) == INVALID_SOCKET) connectFailure = "no connection started";
    } catch (const std::exception& error) {
      connectFailure = error.what();
    }
  });
  const bool waiting = WaitUntil([&] { return connectorThread != 0 && ThreadIsWaiting(connectorThread); });
  Client->WndProc(IpFreeSocketMessage, closed->SocketHandle(), 0);
  closed->Unlock();
  connector.join();
  ASSERT_TRUE(waiting);
  ASSERT_EQ(connectFailure, "");
  peer = TPeer(Listener.Accept());
  EXPECT_TRUE(WaitUntilWritable()) << "the new connection was not made";
  EXPECT_NE(Client->SocketHandle(), closed->SocketHandle());
}

TEST_F(ConnectUnderWayTest, ClosingItEndsItsEvents) {
  constexpr int Cycles = 200;
  TSocket closed = INVALID_SOCKET;
  for (int cycle = 0; cycle < Cycles; ++cycle) {
    closed = Client->Connect(Listener.AddressText());
    ASSERT_NE(closed, INVALID_SOCKET);
    ASSERT_FALSE(Client->Connected());
    Client->Disconnect();
    ProcessMessages();
  }
  // A notice that was already on its way when its socket closed goes nowhere either.
  PostMessage(Client->WindowHandle(), IpSocketEventMessage, closed,
              static_cast<LPARAM>(FD_CONNECT | (WSAECONNREFUSED << 16)));
  // Nothing that was under way may still report: wait a while for what must not come.
  WaitUntil([] { return false; }, std::chrono::milliseconds(200));
  const std::vector<TErrorReport> errors = Recorder.Errors();
  EXPECT_TRUE(errors.empty()) << errors.size() << " late errors, the first: " << errors.front().Text;
  EXPECT_EQ(Recorder.StatusCount(stConnect), 0u);
}
