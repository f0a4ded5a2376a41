#include <gtest/gtest.h>

#include <sys/socket.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "base/Format.h"
#include "tests/ipsock/ClientFixture.h"
#include "tests/support/TestApplication.h"
#include "tests/support/WaitUntil.h"

namespace {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
// The sanitizers keep freed memory back on purpose; resident size says nothing there.
constexpr bool MeasuresMemory = false;
#else
constexpr bool MeasuresMemory = true;
#endif

void ConnectAndDisconnect(TIpClient& Client, TLoopbackListener& Listener) {
  ASSERT_NE(Client.Connect(LoopbackText(Listener.Port())), INVALID_SOCKET);
  TPeer peer(Listener.Accept());
  ASSERT_GE(peer.Fd(), 0);
  ASSERT_TRUE(WaitUntil([&] { return Client.Connected(); }));
  Client.Disconnect();
  ASSERT_FALSE(Client.HasSocket());
}
}  // namespace

TEST_F(ClientTest, ThousandConnectionsLeaveNoDescriptorOrMemoryBehind) {
  for (int i = 0; i < 50; ++i) ASSERT_NO_FATAL_FAILURE(ConnectAndDisconnect(*Client, Listener));
  ProcessMessages();
  const int descriptors = OpenDescriptorCount();
  const long resident = ResidentKilobytes();
  for (int i = 0; i < 1000; ++i) ASSERT_NO_FATAL_FAILURE(ConnectAndDisconnect(*Client, Listener)) << "cycle " << i;
  ProcessMessages();
  // A call still under way may hold a closed socket's descriptor for a moment.
  EXPECT_TRUE(WaitUntil([&] { return OpenDescriptorCount() <= descriptors; }))
      << OpenDescriptorCount() << " descriptors open, " << descriptors << " before";
  EXPECT_EQ(Recorder.StatusCount(stConnect), 1050u);
  EXPECT_EQ(Recorder.StatusCount(stDisconnect), 1050u);
  if (MeasuresMemory) {
    EXPECT_LT(ResidentKilobytes() - resident, 2048) << "resident memory grew";
  }
}

TEST_F(ClientTest, ASecondThreadSendsWhileTheOwnerThreadReceives) {
  TPeer peer(ConnectStreamPeer(10));

  const std::string incoming = PatternBytes(2000000);
  std::string outgoing;
  for (int i = 0; i < 3000; ++i) outgoing += Format("message %d\r\n", i);
  std::atomic<bool> failed{false};
  std::thread writer([&] { SendAll(peer.Fd(), incoming); });
  std::thread sender([&] {
    size_t from = 0;
    while (from < outgoing.size()) {
      const size_t end = outgoing.find('\n', from) + 1;
      try {
        Client->SendString(outgoing.substr(from, end - from), false);
      } catch (...) {
        failed = true;
      }
      from = end;
    }
  });
  std::string received;
  const bool complete = WaitUntil([&] {
    ReadAvailable(peer.Fd(), received);
    return received.size() >= outgoing.size() && Stream.Size() >= static_cast<int64_t>(incoming.size());
  });
  sender.join();
  writer.join();
  ASSERT_TRUE(complete) << received.size() << " of " << outgoing.size() << " sent, " << Stream.Size() << " of "
                        << incoming.size() << " received";
  EXPECT_FALSE(failed);
  EXPECT_TRUE(received == outgoing) << "sent bytes lost, duplicated or reordered";
  EXPECT_TRUE(StreamText() == incoming)
      << "received bytes lost, duplicated or reordered";
  EXPECT_GE(Recorder.StatusCount(stProgress), 1u);
  Client->Disconnect();
}

TEST_F(ClientTest, AnotherThreadConnectsAndDisconnectsWhileTheOwnerTicks) {
  // As the device link does: its loop thread opens and closes while the owner thread runs
  // the socket events and a fast timer that reports the traffic.
  constexpr int Cycles = 200;
  Client->SockInits().SetReceiveMode(rmStream);
  Client->SetTimerInterval(1);
  std::atomic<bool> done{false};
  std::atomic<int> failedCycle{-1};
  std::thread cycler([&] {
    for (int i = 0; i < Cycles && failedCycle < 0; ++i) {
      if (Client->Connect(LoopbackText(Listener.Port())) == INVALID_SOCKET) failedCycle = i;
      TPeer peer(Listener.Accept());
      if (peer.Fd() < 0 || ::send(peer.Fd(), "x", 1, MSG_NOSIGNAL) != 1) failedCycle = i;
      if (!WaitUntil([&] { return Client->Connected(); })) failedCycle = i;
      Client->Disconnect();
    }
    done = true;
  });
  const bool finished = WaitUntil([&] { return done.load(); }, std::chrono::seconds(60));
  cycler.join();
  ASSERT_TRUE(finished);
  EXPECT_EQ(failedCycle, -1);
  EXPECT_EQ(Recorder.StatusCount(stConnect), static_cast<size_t>(Cycles));
  EXPECT_EQ(Recorder.StatusCount(stDisconnect), static_cast<size_t>(Cycles));
  EXPECT_TRUE(TestApplication().Exceptions().empty()) << TestApplication().Exceptions().front();
  EXPECT_EQ(Client->TimerInterval(), 1u) << "a failing tick stopped the timer";
  Client->SetTimerInterval(0);
}
