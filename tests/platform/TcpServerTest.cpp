#include <gtest/gtest.h>

#include <csignal>
#include <string>

#include "platform/Readiness.h"
#include "platform/TcpServer.h"
#include "platform/TcpStream.h"
#include "platform/TerminationSignal.h"

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

TEST(TcpServerTest, AcceptsExchangesAndSeesThePeerClose) {
  TTcpServerSocket server("127.50.1.1", Port, true);
  EXPECT_EQ(server.Name(), "127.50.1.1:4001");
  EXPECT_EQ(server.Accept(), nullptr);  // none waiting: no block

  TReadinessWait wait;
  wait.Add(server, TReadinessWait::riRead);
  EXPECT_FALSE(wait.Wait(0));
  EXPECT_FALSE(wait.Readable(0));

  TTcpStream client;
  ASSERT_TRUE(client.Connect("127.50.1.1", Port));
  ASSERT_TRUE(wait.Wait(WaitMs));
  EXPECT_TRUE(wait.Readable(0));
  const auto peer = server.Accept();
  ASSERT_NE(peer, nullptr);
  EXPECT_EQ(peer->PeerName().rfind("127.0.0.1:", 0), 0u) << peer->PeerName();

  std::string received;
  EXPECT_EQ(peer->Receive(received), TTcpPeer::TReceiveResult::rrNothing);
  ASSERT_TRUE(client.Send("ENB MASTER BL\n"));
  wait.Clear();
  const size_t peerEntry = wait.Add(*peer, TReadinessWait::riRead | TReadinessWait::riWrite);
  ASSERT_TRUE(wait.Wait(WaitMs));
  EXPECT_TRUE(wait.Writable(peerEntry));
  while (received.size() < 14) {
    wait.Clear();
    wait.Add(*peer, TReadinessWait::riRead);
    ASSERT_TRUE(wait.Wait(WaitMs));
    ASSERT_EQ(peer->Receive(received), TTcpPeer::TReceiveResult::rrData);
  }
  EXPECT_EQ(received, "ENB MASTER BL\n");

  EXPECT_EQ(peer->Send("ACK MASTER BL\r"), 14);
  std::string answer;
  while (answer.size() < 14 && client.Receive(answer, WaitMs)) {
  }
  EXPECT_EQ(answer, "ACK MASTER BL\r");

  client.Close();
  wait.Clear();
  wait.Add(*peer, TReadinessWait::riRead);
  ASSERT_TRUE(wait.Wait(WaitMs));
  EXPECT_EQ(peer->Receive(received), TTcpPeer::TReceiveResult::rrClosed);
  EXPECT_FALSE(peer->Open());
  EXPECT_EQ(peer->Send("late"), -1);
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
  wait.Add(signal, TReadinessWait::riRead);
  EXPECT_FALSE(wait.Wait(0));
  EXPECT_EQ(signal.Take(), 0);
  // raise() aims at this thread, which has the signal blocked.
  ASSERT_EQ(raise(SIGTERM), 0);
  ASSERT_TRUE(wait.Wait(WaitMs));
  EXPECT_TRUE(wait.Readable(0));
  EXPECT_EQ(signal.Take(), SIGTERM);
  EXPECT_EQ(signal.Take(), 0);
  ASSERT_EQ(raise(SIGINT), 0);
  ASSERT_TRUE(wait.Wait(WaitMs));
  // Left untaken: dropped with the object instead of ending the process.
}
}  // namespace
