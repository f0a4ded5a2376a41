#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "signals/AppSig.h"

namespace {
using TClient = TComponentPtr<TktsSignalClient>;
TClient NewClient() { return TClient(new TktsSignalClient(nullptr)); }
}  // namespace

TEST(SignalServer, LivesExactlyAsLongAsItsClients) {
  ASSERT_EQ(TktsSignalServer::Instance(), nullptr);
  TClient a = NewClient();
  TktsSignalServer* first = TktsSignalServer::Instance();
  ASSERT_NE(first, nullptr);
  TClient b = NewClient();
  EXPECT_EQ(TktsSignalServer::Instance(), first);
  EXPECT_EQ(TktsSignalServer::ClientCount(), 2);
  first->Register(a.get(), "k");
  a.reset();
  EXPECT_EQ(TktsSignalServer::ClientCount(), 1);
  EXPECT_EQ(first->RegistrationCount(), 0);
  b.reset();
  EXPECT_EQ(TktsSignalServer::Instance(), nullptr);
  EXPECT_EQ(TktsSignalServer::ClientCount(), 0);

  TClient c = NewClient();
  ASSERT_NE(TktsSignalServer::Instance(), nullptr);
  EXPECT_EQ(TktsSignalServer::Instance()->RegistrationCount(), 0);
}

TEST(SignalServer, UnregisterTouchesOnlyTheGivenClientAndExactKey) {
  TClient a = NewClient();
  TClient b = NewClient();
  TktsSignalServer& server = *TktsSignalServer::Instance();
  server.Register(a.get(), "Alpha");
  server.Register(a.get(), "beta");
  server.Register(a.get(), "*");
  server.Register(b.get(), "Alpha");
  server.Register(b.get(), "beta");
  ASSERT_EQ(server.RegistrationCount(), 5);

  server.Unregister(a.get(), "alpha");  // letter case matters
  EXPECT_EQ(server.RegistrationCount(), 5);
  server.Unregister(a.get(), "Alpha");
  EXPECT_EQ(server.RegistrationCount(), 4);

  // "*" removes every entry of the client, the one stored under "*" included, and no other.
  server.Unregister(a.get(), "*");
  EXPECT_EQ(server.RegistrationCount(), 2);
  std::vector<std::string> heard;
  b->OnSignalChange = [&](TObject* Sender, const std::string& Key, const std::string& Info, int32_t Number,
                          TObject*) {
    EXPECT_EQ(Sender, b.get());
    heard.push_back(Key + ":" + Info + ":" + std::to_string(Number));
  };
  server.Signal("Alpha", "x", 7, nullptr);
  server.Signal("beta", "y", 8, nullptr);
  EXPECT_EQ(heard, (std::vector<std::string>{"Alpha:x:7", "beta:y:8"}));

  // A client that was never registered leaves the list alone but still counts down.
  TClient loner = NewClient();
  EXPECT_EQ(TktsSignalServer::ClientCount(), 3);
  loner.reset();
  EXPECT_EQ(TktsSignalServer::ClientCount(), 2);
  EXPECT_EQ(server.RegistrationCount(), 2);
}

TEST(SignalServer, AHandlerThatFreesAnotherReceiverDoesNotReachIt) {
  TClient first = NewClient();
  TClient second = NewClient();
  TktsSignalServer& server = *TktsSignalServer::Instance();
  server.Register(first.get(), "k");
  server.Register(second.get(), "k");
  int secondCalls = 0;
  second->OnSignalChange = [&](TObject*, const std::string&, const std::string&, int32_t, TObject*) {
    ++secondCalls;
  };
  first->OnSignalChange = [&](TObject*, const std::string&, const std::string&, int32_t, TObject*) {
    second.reset();
  };
  server.Signal("k", "", 0, nullptr);
  EXPECT_EQ(secondCalls, 0);
  EXPECT_EQ(second, nullptr);
}

TEST(SignalServer, AClientFreedByItsOwnerLeavesTheRegistry) {
  TClient keeper = NewClient();
  auto* owner = new TComponent(nullptr);
  auto* owned = new TktsSignalClient(owner);  // freed by its owner
  TktsSignalServer::Instance()->Register(owned, "k");
  TktsSignalServer::Instance()->Register(keeper.get(), "k");
  EXPECT_EQ(TktsSignalServer::ClientCount(), 2);
  TComponent::Free(owner);
  EXPECT_EQ(TktsSignalServer::ClientCount(), 1);
  EXPECT_EQ(TktsSignalServer::Instance()->RegistrationCount(), 1);
  EXPECT_TRUE(keeper->OnSignalChange == nullptr) << "a new client has no handler";
}
