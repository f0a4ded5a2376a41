// Host-name look-ups through the socket library, answered by the test's hook instead of a
// resolver: the answer or error of one look-up, and a look-up on its own thread that
// answers through a window, or not at all once dropped.
#include <gtest/gtest.h>

#include <arpa/inet.h>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <string>
#include <vector>

#include "ipsock/IpNameLookup.h"
#include "ipsock/IpWinSockAccess.h"
#include "tests/support/WaitUntil.h"

namespace {
constexpr uint32_t AnsweredMessage = WM_USER + 1;

// The system's reading of a dotted address, network order: table rows are built before the
// engine starts.
uint32_t Dotted(const char* Text) { return ::inet_addr(Text); }

struct TLookupCase {
  const char* Name;
  int HookError;
  std::vector<const char*> HookAddresses;
  THostAddressAnswer Expected;
};

class LookupHostAddressTest : public testing::TestWithParam<TLookupCase> {};

TEST_P(LookupHostAddressTest, AnswersTheFirstAddressOrTheError) {
  const TLookupCase& row = GetParam();
  TScopedHostLookupHook hook([&](const std::string& Name, std::vector<uint32_t>& Addresses) {
    EXPECT_EQ(Name, row.Name);
    for (const char* address : row.HookAddresses) Addresses.push_back(Dotted(address));
    return row.HookError;
  });
  TIpWinSockAccess& access = WinSockAccess();
  const THostAddressAnswer answer = LookupHostAddress(access.gethostbyname(), access.WSAGetLastError(), row.Name);
  EXPECT_EQ(answer.Error, row.Expected.Error);
  EXPECT_EQ(answer.Address, row.Expected.Address);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, LookupHostAddressTest,
    testing::Values(TLookupCase{"one.station.test", 0, {"127.72.1.1"}, {Dotted("127.72.1.1"), 0}},
                    TLookupCase{"two.station.test", 0, {"127.72.1.2", "127.72.1.3"}, {Dotted("127.72.1.2"), 0}},
                    TLookupCase{"missing.station.test", WSAHOST_NOT_FOUND, {}, {0, WSAHOST_NOT_FOUND}},
                    TLookupCase{"again.station.test", WSATRY_AGAIN, {}, {0, WSATRY_AGAIN}},
                    TLookupCase{"empty.station.test", 0, {}, {0, WSANO_DATA}}),
    [](const testing::TestParamInfo<TLookupCase>& Info) {
      const std::string name = Info.param.Name;
      return name.substr(0, name.find('.'));
    });

struct TLiteralCase {
  const char* Host;
  bool Literal;
};

class LiteralHostAddressTest : public testing::TestWithParam<TLiteralCase> {};

TEST_P(LiteralHostAddressTest, TellsWrittenAddressesFromNames) {
  EXPECT_EQ(LiteralHostAddress(GetParam().Host).has_value(), GetParam().Literal);
}

INSTANTIATE_TEST_SUITE_P(Rows, LiteralHostAddressTest,
                         testing::Values(TLiteralCase{"127.72.1.1", true}, TLiteralCase{"255.255.255.255", true},
                                         TLiteralCase{"station.test", false}, TLiteralCase{"zelmirt", false}),
                         [](const testing::TestParamInfo<TLiteralCase>& Info) {
                           return std::string(Info.param.Literal ? "Written" : "Name") + std::to_string(Info.index);
                         });

// Holds look-ups of the gated name until opened.
class TGate {
public:
  int Answer(const std::string&, std::vector<uint32_t>& Addresses) {
    std::unique_lock<std::mutex> lock(FLock);
    ++FEntered;
    FChanged.notify_all();
    FChanged.wait_for(lock, std::chrono::seconds(60), [this] { return FOpen; });
    Addresses.push_back(Dotted("127.72.1.9"));
    return 0;
  }
  void Open() {
    std::lock_guard<std::mutex> guard(FLock);
    FOpen = true;
    FChanged.notify_all();
  }
  int Entered() {
    std::lock_guard<std::mutex> guard(FLock);
    return FEntered;
  }

private:
  std::mutex FLock;
  std::condition_variable FChanged;
  bool FOpen = false;
  int FEntered = 0;
};

TEST(NameLookup, AnswersThroughTheWindowOnceTheLookUpEnds) {
  TGate gate;
  TScopedHostLookupHook hook([&](const std::string& Name, std::vector<uint32_t>& Addresses) {
    return gate.Answer(Name, Addresses);
  });
  int answered = 0;
  TMessageWindow window([&](uint32_t Msg, WPARAM, LPARAM) {
    if (Msg == AnsweredMessage) ++answered;
    return 0;
  });
  TIpNameLookup lookup("gated.station.test", window.Handle(), AnsweredMessage);
  ASSERT_TRUE(WaitUntil([&] { return gate.Entered() == 1; }));
  EXPECT_FALSE(lookup.Done());
  EXPECT_EQ(answered, 0);
  gate.Open();
  ASSERT_TRUE(WaitUntil([&] { return answered == 1; }));
  EXPECT_TRUE(lookup.Done());
  EXPECT_EQ(lookup.Answer().Error, 0);
  EXPECT_EQ(lookup.Answer().Address, Dotted("127.72.1.9"));
}

TEST(NameLookup, ALookUpDroppedBeforeItsAnswerNeverReachesTheWindow) {
  TGate gate;
  std::atomic<int> hookCalls{0};
  TScopedHostLookupHook hook([&](const std::string& Name, std::vector<uint32_t>& Addresses) {
    const int result = gate.Answer(Name, Addresses);
    ++hookCalls;
    return result;
  });
  int answered = 0;
  TMessageWindow window([&](uint32_t Msg, WPARAM, LPARAM) {
    if (Msg == AnsweredMessage) ++answered;
    return 0;
  });
  auto dropped = std::make_unique<TIpNameLookup>("dropped.station.test", window.Handle(), AnsweredMessage);
  ASSERT_TRUE(WaitUntil([&] { return gate.Entered() == 1; }));
  dropped.reset();
  gate.Open();
  // A later look-up's answer arrives: the dropped one, which ended before it, posted nothing.
  TIpNameLookup later("later.station.test", window.Handle(), AnsweredMessage);
  ASSERT_TRUE(WaitUntil([&] { return answered == 1 && hookCalls.load() == 2; }));
  EXPECT_TRUE(later.Done());
  EXPECT_EQ(answered, 1);
}
}  // namespace
