#include <gtest/gtest.h>

#include <memory>
#include <stdexcept>
#include <thread>

#include "tests/ipsock/ClientFixture.h"
#include "tests/support/TestApplication.h"
#include "tests/support/WaitUntil.h"

namespace {
// A client whose tick count the test moves, with its timer driven by hand.
class ClientTimerTest : public ClientTest {
protected:
  ClientTimerTest() { Client->SetTimerInterval(0); }

  void Tick(int64_t Milliseconds) {
    Clock.Milliseconds += Milliseconds;
    Client->WndProc(WM_TIMER, TIpSockControl::ControlTimerId, 0);
  }

  TManualClock Clock;
  TScopedClockSource Installed{Clock};
};
}  // namespace

TEST_F(ClientTimerTest, SettingTheSameIntervalDoesNotRestartTheTimer) {
  Clock.Milliseconds = 1000;
  Client->SetTimerInterval(200);
  EXPECT_EQ(Client->LastTimerTick(), 1000u);
  Clock.Milliseconds = 5000;
  Client->SetTimerInterval(200);
  EXPECT_EQ(Client->LastTimerTick(), 1000u);
  Client->SetTimerInterval(300);
  EXPECT_EQ(Client->LastTimerTick(), 5000u);
  EXPECT_EQ(Client->TimerInterval(), 300u);
  Client->SetTimerInterval(0);
}

TEST_F(ClientTimerTest, IdleTimeoutComesOnTheThirdTickAndAgainUntilReset) {
  Client->SockInits().SetIdleTimeout(1000);
  TPeer peer(ConnectPeer());
  Client->SetTimerInterval(500);
  Client->SetTimerInterval(0);  // LastTimerTick now counts from here
  Tick(500);
  Tick(500);
  EXPECT_EQ(Recorder.IdleTimeouts(), 0) << "1000 ms idle is not beyond the time-out";
  Tick(500);
  EXPECT_EQ(Recorder.IdleTimeouts(), 1);
  Tick(500);
  EXPECT_EQ(Recorder.IdleTimeouts(), 2);
  Recorder.SetIdleReset(true);
  Tick(500);
  EXPECT_EQ(Recorder.IdleTimeouts(), 3);
  Tick(500);
  Tick(500);
  EXPECT_EQ(Recorder.IdleTimeouts(), 3) << "the reset restarts the count";
  Tick(500);
  EXPECT_EQ(Recorder.IdleTimeouts(), 4);
}

TEST_F(ClientTimerTest, TrafficRestartsTheIdleCount) {
  Client->SockInits().SetIdleTimeout(1000);
  TPeer peer(ConnectPeer());
  Client->SetTimerInterval(500);
  Client->SetTimerInterval(0);
  Tick(500);
  Tick(500);
  EXPECT_EQ(Client->SendString("x", false), 0u);
  EXPECT_EQ(Client->DataSocket()->IdleTime(), 0u);
  Tick(500);
  EXPECT_EQ(Recorder.IdleTimeouts(), 0);
}

TEST_F(ClientTimerTest, ElapsedTimeSurvivesTheTickCountWrapping) {
  TPeer peer(ConnectPeer());
  Clock.Milliseconds = 4294967000;
  Client->SetTimerInterval(500);
  Client->SetTimerInterval(0);
  const uint32_t before = Client->DataSocket()->IdleTime();
  Clock.Milliseconds = 4294967296 + 500;
  Client->WndProc(WM_TIMER, TIpSockControl::ControlTimerId, 0);
  EXPECT_EQ(Client->DataSocket()->IdleTime() - before, 4294967295u - 4294967000u + 500u);
  EXPECT_EQ(Client->LastTimerTick(), 500u);
}

TEST_F(ClientTimerTest, AFailingTimerPathStopsTheTimer) {
  Client->SockInits().SetReceiveMode(rmStream);
  TPeer peer(ConnectPeer());
  Client->OnStatus.Set([](TObject*, TSocket, TIpStatusType, const TIpConnRec&, const TIpSockStatRec&) {
    throw std::runtime_error("handler failed");
  });
  Client->SetTimerInterval(500);
  SendAll(peer.Fd(), "abc");
  ASSERT_TRUE(WaitUntil([&] { return Client->DataSocket()->GetStats().BytesReceived == 3; }));
  Tick(500);
  EXPECT_EQ(Client->TimerInterval(), 0u);
  ASSERT_EQ(TestApplication().Exceptions().size(), 1u);
  EXPECT_EQ(TestApplication().Exceptions()[0], "handler failed");
}

TEST_F(ClientTimerTest, ATickForASocketThatAnotherThreadClosedReportsNothing) {
  Client->SockInits().SetReceiveMode(rmStream);
  Client->SockInits().SetIdleTimeout(1);
  TPeer peer(ConnectPeer());
  SendAll(peer.Fd(), "abc");
  ASSERT_TRUE(WaitUntil([&] { return Client->DataSocket()->GetStats().BytesReceived == 3; }));
  // The tick has found the socket when the other thread's Disconnect closes and frees it.
  const std::shared_ptr<TIpDataSocket> found = Client->DataSocket();
  std::thread([&] { Client->Disconnect(); }).join();
  // The close itself handed the bytes on; the late tick adds nothing.
  ASSERT_EQ(Recorder.StatusCount(stProgress), 1u);
  EXPECT_NO_THROW(found->TimerEvent(500));
  EXPECT_EQ(Recorder.StatusCount(stProgress), 1u);
  EXPECT_EQ(Recorder.IdleTimeouts(), 0);
  EXPECT_EQ(Recorder.StatusCount(stDisconnect), 1u);
}
