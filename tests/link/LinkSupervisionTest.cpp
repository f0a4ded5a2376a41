// When the link connects, retries and reconnects, counted in supervision ticks.
#include <algorithm>
#include <chrono>

#include "tests/link/LinkFixture.h"
#include "tests/support/ScriptedDevice.h"
#include "tests/support/WaitUntil.h"

namespace {
constexpr uint64_t WaitTicks = 301;     // the 301st waiting tick starts an attempt
constexpr uint64_t AttemptTicks = 301;  // the 301st connecting tick withdraws it
}  // namespace

TEST_F(LinkTest, FirstAttemptComesOnThe301stWaitingTickAndIsReportedOnce) {
  TScriptedDevice device("127.60.0.1");
  const auto started = std::chrono::steady_clock::now();
  StartLink("127.60.0.1");
  ASSERT_TRUE(WaitForNotifications(1));
  const auto connectedAfter = std::chrono::steady_clock::now() - started;

  EXPECT_EQ(Notifications[0], (TLinkNotification{1, "Connected to 127.60.0.1"}));
  EXPECT_TRUE(Link->Connected());
  EXPECT_EQ(device.Accepted(), 1);
  const auto waiting = EntryTicks(lsWaiting);
  const auto connecting = EntryTicks(lsConnecting);
  ASSERT_EQ(waiting.size(), 1u);
  ASSERT_EQ(connecting.size(), 1u);
  EXPECT_EQ(connecting[0] - waiting[0], WaitTicks);
  // 301 ticks of at least 10 ms each.
  EXPECT_GE(connectedAfter, std::chrono::milliseconds(3000));
  EXPECT_EQ(EntryTicks(lsConnected).size(), 1u);
}

TEST_F(LinkTest, ARefusingAddressIsTriedEvery603TicksWithoutANotification) {
  StartLink("127.60.0.2");  // nothing listens there
  ASSERT_TRUE(WaitForStateEntries(lsConnecting, 2));
  const auto connecting = EntryTicks(lsConnecting);
  const auto idle = EntryTicks(lsIdle);
  EXPECT_EQ(connecting[1] - connecting[0], WaitTicks + 1 + AttemptTicks);
  // The attempt is withdrawn on its own 301st tick, back to idle.
  const auto withdrawn = std::find_if(idle.begin(), idle.end(), [&](uint64_t Tick) { return Tick > connecting[0]; });
  ASSERT_NE(withdrawn, idle.end());
  EXPECT_EQ(*withdrawn - connecting[0], AttemptTicks);
  EXPECT_FALSE(Link->Connected());
  EXPECT_TRUE(Notifications.empty());
}

TEST_F(LinkTest, APeerCloseIsReportedOnceAndTheRealReconnectFollowsAfterTheLongCycle) {
  TScriptedDevice device("127.60.0.3");
  StartLink("127.60.0.3");
  ASSERT_TRUE(WaitForNotifications(1));
  ASSERT_TRUE(device.DropConnection());
  ASSERT_TRUE(WaitForNotifications(2));
  EXPECT_EQ(Notifications[1], (TLinkNotification{2, "Disconnected"}));
  EXPECT_FALSE(Link->Connected());

  // The first attempt after the close finds the connection still requested and does
  // nothing; once it is withdrawn, the next one reconnects.
  ASSERT_TRUE(WaitForNotifications(3, 40));
  EXPECT_EQ(Notifications[2], (TLinkNotification{1, "Connected to 127.60.0.3"}));
  EXPECT_EQ(device.Accepted(), 2);
  const auto connecting = EntryTicks(lsConnecting);
  const auto waiting = EntryTicks(lsWaiting);
  ASSERT_EQ(connecting.size(), 3u);
  ASSERT_EQ(waiting.size(), 3u);
  EXPECT_EQ(connecting[1] - waiting[1], WaitTicks);
  EXPECT_EQ(connecting[2] - connecting[1], WaitTicks + 1 + AttemptTicks);
  EXPECT_EQ(Notifications.size(), 3u);
}

TEST_F(LinkTest, ANewAddressWhileConnectedMovesTheLinkAfterTheOldConnectionIsWithdrawn) {
  TScriptedDevice first("127.60.0.4");
  TScriptedDevice second("127.60.0.5");
  StartLink("127.60.0.4");
  ASSERT_TRUE(WaitForNotifications(1));

  Link->SetAddress("127.60.0.4");  // the same text changes nothing
  const uint64_t sameTextAt = Link->SupervisionTicks();
  ASSERT_TRUE(WaitUntil([&] { return Link->SupervisionTicks() > sameTextAt + 20; }));
  EXPECT_TRUE(Link->Connected());
  EXPECT_EQ(EntryTicks(lsIdle).size(), 1u);  // Start's only

  Link->SetAddress("127.60.0.5");
  ASSERT_TRUE(WaitUntil([&] { return !Link->Connected(); }));
  EXPECT_TRUE(first.HasConnection());  // not closed by the address change itself
  EXPECT_EQ(Link->Address(), "127.60.0.5");

  ASSERT_TRUE(WaitForNotifications(3, 40));
  EXPECT_EQ(Notifications[1], (TLinkNotification{2, "Disconnected"}));
  EXPECT_EQ(Notifications[2], (TLinkNotification{1, "Connected to 127.60.0.5"}));
  EXPECT_EQ(second.Accepted(), 1);
  EXPECT_EQ(first.Accepted(), 1);
  const auto connecting = EntryTicks(lsConnecting);
  ASSERT_EQ(connecting.size(), 3u);
  EXPECT_EQ(connecting[2] - connecting[1], WaitTicks + 1 + AttemptTicks);
}

TEST_F(LinkTest, AnAddressOver50CharactersIsUsedCutTo50) {
  // A host with a path, so that what is cut never needs a name lookup.
  const std::string longAddress = "127.60.0.6/" + std::string(60, 'x');
  StartLink(longAddress);
  ASSERT_TRUE(WaitUntil([&] { return Link->Host() != TCltSckObj::DefaultAddress; }));
  EXPECT_EQ(Link->Host(), longAddress.substr(0, 50));
  EXPECT_EQ(Link->Address(), longAddress);
}
