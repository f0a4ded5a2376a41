#include <gtest/gtest.h>

#include <csignal>
#include <memory>
#include <string>
#include <vector>

#include "base/Format.h"
#include "platform/Readiness.h"
#include "platform/TcpServer.h"
#include "platform/TcpStream.h"
#include "platform/TerminationSignal.h"
#include "tests/support/WaitUntil.h"

namespace {
constexpr int Port = 4001;
constexpr int WaitMs = 10'000;

std::string ErrorOf(const std::string& Address, int ServerPort) {
  try {
    TTcpServerSocket socket(Address, ServerPort, true);
  } catch (const ETcpServerError& e) {
    return e.Message();
  }
  return "(no error)";
}

// The keys of the sources a wait of at most TimeoutMs found ready, with what they were ready for.
std::string ReadyAfterWait(TReadinessWait& Wait, int TimeoutMs) {
  std::string ready;
  for (const TReadinessWait::TReady& source : Wait.Wait(TimeoutMs))
    ready += Format("%s%d:%s%s", ready.empty() ? "" : " ", static_cast<int>(source.Key), source.Readable ? "r" : "",
                    source.Writable ? "w" : "");
  return ready;
}

TEST(TcpServerTest, AcceptsExchangesAndSeesThePeerClose) {
  TTcpServerSocket server("127.50.1.1", Port, true);
  EXPECT_EQ(server.Name(), "127.50.1.1:4001");
  EXPECT_EQ(server.Accept(), nullptr);  // none waiting: no block

  TReadinessWait wait;
  wait.Watch(server, TReadinessWait::riRead, 1);
  EXPECT_EQ(ReadyAfterWait(wait, 0), "");

  TTcpStream client;
  ASSERT_TRUE(client.Connect("127.50.1.1", Port));
  EXPECT_EQ(ReadyAfterWait(wait, WaitMs), "1:r");
  const auto peer = server.Accept();
  ASSERT_NE(peer, nullptr);
  EXPECT_EQ(peer->PeerName().rfind("127.0.0.1:", 0), 0u) << peer->PeerName();
  // Taken: the listener is watched still, and no longer ready.
  EXPECT_EQ(ReadyAfterWait(wait, 0), "");

  std::string received;
  EXPECT_EQ(peer->Receive(received), TTcpPeer::TReceiveResult::rrNothing);
  wait.Watch(*peer, TReadinessWait::riRead | TReadinessWait::riWrite, 2);
  EXPECT_EQ(ReadyAfterWait(wait, WaitMs), "2:w");
  ASSERT_TRUE(client.Send("ENB MASTER BL\n"));
  // Without the write interest the connection is ready only when there is something to read.
  wait.Watch(*peer, TReadinessWait::riRead, 2);
  while (received.size() < 14) {
    ASSERT_EQ(ReadyAfterWait(wait, WaitMs), "2:r");
    ASSERT_EQ(peer->Receive(received), TTcpPeer::TReceiveResult::rrData);
  }
  EXPECT_EQ(received, "ENB MASTER BL\n");
  EXPECT_EQ(ReadyAfterWait(wait, 0), "");

  EXPECT_EQ(peer->Send("ACK MASTER BL\r"), 14);
  std::string answer;
  while (answer.size() < 14 && client.Receive(answer, WaitMs)) {
  }
  EXPECT_EQ(answer, "ACK MASTER BL\r");

  client.Close();
  EXPECT_EQ(ReadyAfterWait(wait, WaitMs), "2:r");
  EXPECT_EQ(peer->Receive(received), TTcpPeer::TReceiveResult::rrClosed);
  EXPECT_FALSE(peer->Open());
  EXPECT_EQ(peer->Send("late"), -1);
  // Closed with its handle, the connection left the wait by itself.
  EXPECT_EQ(ReadyAfterWait(wait, 0), "");
}

// A station's simulator watches many connections; a wait answers the ready ones alone, and an
// unwatched source is no longer answered even when it is ready.
TEST(TcpServerTest, AWaitAnswersOnlyTheReadySourcesAmongManyUntilOneIsUnwatched) {
  constexpr int Count = 40;
  TTcpServerSocket server("127.50.1.4", Port, true);
  TTcpServerSocket deaf("127.50.1.5", Port, false);
  TReadinessWait wait;
  wait.Watch(deaf, TReadinessWait::riRead, 999);  // no handle to watch: never ready
  std::vector<TTcpStream> clients(Count);
  std::vector<std::unique_ptr<TTcpPeer>> peers;
  for (int i = 0; i < Count; ++i) {
    ASSERT_TRUE(clients[i].Connect("127.50.1.4", Port));
    std::unique_ptr<TTcpPeer> peer;
    ASSERT_TRUE(WaitUntil([&] { return (peer = server.Accept()) != nullptr; }));
    wait.Watch(*peer, TReadinessWait::riRead, 100 + i);
    peers.push_back(std::move(peer));
  }
  EXPECT_EQ(ReadyAfterWait(wait, 0), "");
  for (const int i : {3, 17, 39}) ASSERT_TRUE(clients[i].Send("x"));
  std::string ready;
  ASSERT_TRUE(WaitUntil([&] { return (ready = ReadyAfterWait(wait, 0)) == "103:r 117:r 139:r"; })) << ready;
  wait.Unwatch(*peers[17]);
  EXPECT_EQ(ReadyAfterWait(wait, 0), "103:r 139:r");
  // A watched source is watched again under a new key.
  wait.Watch(*peers[3], TReadinessWait::riRead, 7);
  EXPECT_EQ(ReadyAfterWait(wait, 0), "7:r 139:r");
}

TEST(TcpServerTest, ASocketThatDoesNotListenRefusesAndBadAddressesAreNamed) {
  {
    const TTcpServerSocket closed("127.50.1.2", Port, false);
    TTcpStream client;
    EXPECT_FALSE(client.Connect("127.50.1.2", Port));
    EXPECT_EQ(ErrorOf("127.50.1.2", Port), "Cannot listen on 127.50.1.2:4001: bind failed: Address already in use");
  }
  EXPECT_EQ(ErrorOf("127.50.1.2", Port), "(no error)");  // the address is free again
  EXPECT_EQ(ErrorOf("127.50.1.300", Port), "Cannot listen on \"127.50.1.300\" port 4001: not an IPv4 address and port");
  EXPECT_EQ(ErrorOf("127.50.1.3", 70000), "Cannot listen on \"127.50.1.3\" port 70000: not an IPv4 address and port");
  EXPECT_EQ(ErrorOf("192.0.2.1", Port), "Cannot listen on 192.0.2.1:4001: bind failed: Cannot assign requested address");
}

TEST(TerminationSignalTest, ARequestBecomesReadableAndIsTakenOnce) {
  TTerminationSignal signal;
  TReadinessWait wait;
  wait.Watch(signal, TReadinessWait::riRead, 5);
  EXPECT_EQ(ReadyAfterWait(wait, 0), "");
  EXPECT_EQ(signal.Take(), 0);
  // raise() aims at this thread, which has the signal blocked.
  ASSERT_EQ(raise(SIGTERM), 0);
  EXPECT_EQ(ReadyAfterWait(wait, WaitMs), "5:r");
  EXPECT_EQ(signal.Take(), SIGTERM);
  EXPECT_EQ(signal.Take(), 0);
  ASSERT_EQ(raise(SIGINT), 0);
  EXPECT_EQ(ReadyAfterWait(wait, WaitMs), "5:r");
  // Left untaken: dropped with the object instead of ending the process.
}
}  // namespace
