#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <mutex>
#include <utility>
#include <vector>

#include "base/MemoryStream.h"
#include "ipsock/IpExceptions.h"
#include "platform/SocketLibrary.h"
#include "tests/ipsock/ClientFixture.h"
#include "tests/support/WaitUntil.h"

namespace {
// Every send-buffer size the engine asks the system for, answered with one error.
class TSendBufferRequests {
public:
  explicit TSendBufferRequests(int Answer)
      : FHook([this, Answer](TSocket, int Level, int Option, int32_t Value) {
          if (Level != WS_SOL_SOCKET || Option != WS_SO_SNDBUF) return 0;
          std::lock_guard<std::mutex> guard(FLock);
          FSizes.push_back(Value);
          return Answer;
        }) {}
  std::vector<int32_t> Take() {
    std::lock_guard<std::mutex> guard(FLock);
    return std::exchange(FSizes, {});
  }

private:
  std::mutex FLock;
  std::vector<int32_t> FSizes;
  TScopedSetSockOptHook FHook;
};
}  // namespace

TEST_F(ClientTest, QueuedItemsGetHandlesInOrderAndFinishThroughWriteReady) {
  // The peer reads nothing until everything is queued: far more than both ends buffer.
  TPeer peer(ConnectPeer());
  std::string sent;
  std::vector<uint32_t> handles;
  for (int i = 0; i < 60; ++i) {
    const std::string text = PatternBytes(65536, static_cast<size_t>(i));
    sent += text;
    handles.push_back(Client->SendString(text, false));
  }
  std::vector<uint32_t> queued;
  for (const uint32_t handle : handles) {
    if (!queued.empty()) {
      EXPECT_NE(handle, 0u) << "nothing overtakes a queued item";
    }
    if (handle != 0) queued.push_back(handle);
  }
  ASSERT_GE(queued.size(), 3u) << "the peer took everything; nothing had to wait";
  for (size_t i = 0; i < queued.size(); ++i) EXPECT_EQ(queued[i], i + 1);
  EXPECT_TRUE(Recorder.ItemsSent().empty());

  std::string received;
  ASSERT_TRUE(ReceiveWhilePumping(peer.Fd(), received, sent.size()))
      << received.size() << " of " << sent.size() << ", queued " << Client->DataSocket()->QueuedItems() << " writable "
      << Client->DataSocket()->Writable() << " sent reports " << Recorder.ItemsSent().size();
  ASSERT_TRUE(WaitUntil([&] { return Recorder.ItemsSent().size() == queued.size(); }));
  EXPECT_TRUE(received == sent) << "bytes lost, duplicated or reordered";
  const std::vector<TItemSentReport> reports = Recorder.ItemsSent();
  for (size_t i = 0; i < reports.size(); ++i) {
    EXPECT_EQ(reports[i].Handle, queued[i]);
    EXPECT_EQ(reports[i].Remaining, queued.size() - i - 1);
  }
  EXPECT_EQ(Client->DataSocket()->QueuedItems(), 0u);
  EXPECT_EQ(Client->DataSocket()->GetStats().BytesSent, sent.size());
}

TEST_F(ClientTest, StreamItemsGoOutChunkByChunk) {
  TPeer peer(ConnectPeer());
  const std::shared_ptr<TIpDataSocket> socket = Client->DataSocket();
  TMemoryStream odd;
  const std::string oddBytes = PatternBytes(10000);
  odd.Write(oddBytes.data(), static_cast<int64_t>(oddBytes.size()));
  odd.SetPosition(0);
  TMemoryStream whole;
  const std::string wholeBytes = PatternBytes(3 * TIpDataSocket::StreamChunkSize, 5);
  whole.Write(wholeBytes.data(), static_cast<int64_t>(wholeBytes.size()));
  whole.SetPosition(0);
  socket->PutData(nullptr, 0, false, false, false, &odd);
  socket->PutData(nullptr, 0, false, false, false, &whole);
  std::string received;
  ASSERT_TRUE(ReceiveWhilePumping(peer.Fd(), received, oddBytes.size() + wholeBytes.size()));
  ASSERT_TRUE(WaitUntil([&] { return socket->QueuedItems() == 0; }));
  EXPECT_TRUE(received == oddBytes + wholeBytes);
  EXPECT_EQ(socket->GetStats().BytesSent, oddBytes.size() + wholeBytes.size());
}

TEST_F(ClientTest, CloseAfterSendingClosesOnceTheTextIsOut) {
  TPeer peer(ConnectPeer());
  EXPECT_EQ(Client->SendString("bye\r\n", true), 0u);
  EXPECT_EQ(Recorder.StatusCount(stDisconnect), 1u);
  std::string received;
  ASSERT_TRUE(WaitUntil([&] { return !ReadAvailable(peer.Fd(), received); }));
  EXPECT_EQ(received, "bye\r\n");
  EXPECT_TRUE(WaitUntil([&] { return Client->DataSocket() == nullptr; })) << "the closed socket was not freed";
  TPeer again(ConnectPeer());
  EXPECT_TRUE(Client->Connected());
}

TEST_F(ClientTest, RefusedSendBufferSizesAreHalvedDownToAbove1460) {
  TPeer peer(ConnectPeer());
  {
    TSendBufferRequests requests(10055);
    Client->SetSendBufferSize(16384);
    EXPECT_EQ(requests.Take(), (std::vector<int32_t>{16384, 8192, 4096, 2048}));
    Client->SetSendBufferSize(1024);
    EXPECT_TRUE(requests.Take().empty()) << "1460 bytes or less are never applied";
    Client->SetSendBufferSize(2920);
    EXPECT_EQ(requests.Take(), (std::vector<int32_t>{2920}));
  }
  for (const int answer : {WSAENOPROTOOPT, WSAEINVAL}) {
    TSendBufferRequests requests(answer);
    Client->SetSendBufferSize(16384);
    EXPECT_EQ(requests.Take(), (std::vector<int32_t>{16384})) << "the answer " << answer << " ends the attempts";
  }
  TSendBufferRequests accepted(0);
  Client->SetSendBufferSize(16384);
  EXPECT_EQ(accepted.Take(), (std::vector<int32_t>{16384}));
}

TEST_F(ClientTest, NewSocketsAskForTheConfiguredBufferSizes) {
  TSendBufferRequests requests(0);
  Client->SockInits().SetSendBufferSize(32768);
  TPeer peer(ConnectPeer());
  EXPECT_EQ(requests.Take(), (std::vector<int32_t>{32768}));
}

TEST_F(ClientTest, ASendThatFailsIsReportedToTheCaller) {
  TPeer peer(ConnectPeer());
  CloseAbortively(peer.Release());
  // No messages are pumped, so the socket stays; it learns of the reset when it sends.
  std::string failure;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (failure.empty() && std::chrono::steady_clock::now() < deadline) {
    try {
      EXPECT_EQ(Client->SendString("x", false), 0u);
    } catch (const EIpWinSockError& error) {
      failure = error.Message();
    }
  }
  EXPECT_THAT(failure, testing::HasSubstr("on API 'Send'"));
  EXPECT_TRUE(Recorder.ItemsSent().empty());
}

TEST_F(ClientTest, AQueuedCloseAfterItemClosesOnceItHasGoneOut) {
  TPeer peer(ConnectPeer());
  std::string sent;
  uint32_t last = 0;
  for (int i = 0; i < 40 && last == 0; ++i) {
    const std::string text = PatternBytes(65536, static_cast<size_t>(i));
    sent += text;
    last = Client->SendString(text, false);
  }
  ASSERT_NE(last, 0u) << "the peer took everything; nothing had to wait";
  sent += "bye";
  const uint32_t closing = Client->SendString("bye", true);
  EXPECT_EQ(closing, last + 1);
  EXPECT_EQ(Recorder.StatusCount(stDisconnect), 0u);

  std::string received;
  ASSERT_TRUE(WaitUntil([&] { return !ReadAvailable(peer.Fd(), received); })) << "the peer saw no end";
  EXPECT_TRUE(received == sent) << "bytes lost, duplicated or reordered";
  ASSERT_TRUE(WaitUntil([&] { return Client->DataSocket() == nullptr; })) << "the closed socket was not freed";
  const std::vector<TItemSentReport> reports = Recorder.ItemsSent();
  ASSERT_FALSE(reports.empty());
  EXPECT_EQ(reports.back().Handle, closing);
  EXPECT_EQ(reports.back().Remaining, 0u);
  EXPECT_EQ(Recorder.StatusCount(stDisconnect), 1u);
}

TEST_F(ClientTest, AnItemSentHandlerMaySendMore) {
  // The handler runs with the socket's lock held; sending from it must neither block nor
  // reorder.
  TPeer peer(ConnectPeer());
  std::string sent;
  bool added = false;
  Client->OnItemSent.Set([&](TObject*, TSocket, uint32_t, uint32_t Remaining) {
    if (Remaining != 0 || added) return;
    added = true;
    Client->SendString("after", false);
  });
  for (int i = 0; i < 40 && Client->DataSocket()->QueuedItems() == 0; ++i) {
    const std::string text = PatternBytes(65536, static_cast<size_t>(i));
    sent += text;
    Client->SendString(text, false);
  }
  ASSERT_NE(Client->DataSocket()->QueuedItems(), 0u) << "the peer took everything; nothing had to wait";
  sent += "after";
  std::string received;
  ASSERT_TRUE(ReceiveWhilePumping(peer.Fd(), received, sent.size()));
  EXPECT_TRUE(received == sent) << "bytes lost, duplicated or reordered";
}
