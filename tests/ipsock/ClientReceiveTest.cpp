#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "tests/ipsock/ClientFixture.h"
#include "tests/support/WaitUntil.h"

namespace {
using TStrings = std::vector<std::string>;

// A connected client in rmAny mode with the given receive options, so that every byte that
// survives them shows as a line.
class ClientReceiveTest : public ClientTest {
protected:
  void Open(TIpSockOptionSet Options) {
    Client->SetTimerInterval(0);
    Client->SockInits().SetReceiveMode(rmAny);
    Client->SockInits().SetSocketOptions(Options);
    Peer = TPeer(ConnectPeer());
  }
  bool WaitForRawReceived(uint32_t Count) {
    return WaitUntil([&] { return Client->DataSocket()->GetStats().RawBytesReceived >= Count; });
  }
  void Tick() { Client->WndProc(WM_TIMER, TIpSockControl::ControlTimerId, 0); }

  TPeer Peer;
};
}  // namespace

TEST_F(ClientReceiveTest, StripHighBitClearsBitSevenOfEveryByte) {
  Open({soStripHighBit});
  SendAll(Peer.Fd(), "\xC1\x42\xFF");
  ASSERT_TRUE(WaitUntil([&] { return !Recorder.Lines().empty(); }));
  EXPECT_EQ(Recorder.Lines(), (TStrings{"AB\x7F"}));
}

TEST_F(ClientReceiveTest, EchoSendsTheBytesBackAsProtocolBytes) {
  Open({soEchoReceived});
  SendAll(Peer.Fd(), "ping");
  std::string echoed;
  ASSERT_TRUE(ReceiveWhilePumping(Peer.Fd(), echoed, 4));
  EXPECT_EQ(echoed, "ping");
  ASSERT_TRUE(WaitUntil([&] { return !Recorder.Lines().empty(); }));
  EXPECT_EQ(Recorder.Lines(), (TStrings{"ping"}));
  const TIpSockStatRec stats = Client->DataSocket()->GetStats();
  EXPECT_EQ(stats.RawBytesSent, 4u);
  EXPECT_EQ(stats.BytesSent, 0u) << "echoed bytes are not payload";
  EXPECT_EQ(stats.BytesReceived, 4u);
}

TEST_F(ClientReceiveTest, DiscardedBytesAreCountedRawAndStillMeanProgress) {
  Open({soDiscardReceived});
  SendAll(Peer.Fd(), "abc");
  ASSERT_TRUE(WaitForRawReceived(3));
  Tick();
  ASSERT_EQ(Recorder.StatusCount(stProgress), 1u);
  const TIpSockStatRec stats = Recorder.Statuses().back().Stats;
  EXPECT_EQ(stats.RawBytesReceived, 3u);
  EXPECT_EQ(stats.TotalRawBytesReceived, 3u);
  EXPECT_EQ(stats.BytesReceived, 0u);
  EXPECT_EQ(stats.TotalBytesReceived, 0u);
  EXPECT_TRUE(Recorder.Lines().empty());
}

TEST_F(ClientTest, BytesThatCameBeforeTheStreamReachItWhenItIsGiven) {
  Client->SockInits().SetReceiveMode(rmStream);
  TPeer peer(ConnectPeer());
  // Far more than the receive buffer holds: reading stops once it is full.
  const std::string sent = PatternBytes(100000);
  std::thread writer([&] { SendAll(peer.Fd(), sent); });
  const bool full = WaitUntil([&] {
    return Client->DataSocket()->GetStats().BytesReceived == static_cast<uint32_t>(TIpDataSocket::RxBufferSize);
  });
  Client->SetReceiveStream(&Stream);
  const bool complete = WaitUntil([&] { return Stream.Size() >= static_cast<int64_t>(sent.size()); });
  // A writer stuck on a client that stopped reading is released by the reset.
  Client->Disconnect();
  writer.join();
  ASSERT_TRUE(full) << "the buffer never filled";
  ASSERT_TRUE(complete) << Stream.Size() << " of " << sent.size() << " bytes reached the stream";
  EXPECT_TRUE(StreamText() == sent) << "bytes lost, duplicated or reordered";
}
