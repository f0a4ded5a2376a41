// Host names are looked up off the window's thread: a look-up that hangs holds up only its
// own link. The socket library's look-up is answered by the test's table, no resolver.
#include <atomic>
#include <condition_variable>
#include <mutex>
#include <string>
#include <vector>

#include "ipsock/IpWinSockAccess.h"
#include "platform/SocketLibrary.h"
#include "tests/link/LinkFixture.h"
#include "tests/support/ScriptedDevice.h"
#include "tests/support/WaitUntil.h"
#include "threads/KtParams.h"

namespace {
constexpr uint64_t WaitTicks = 301;
constexpr uint64_t AttemptTicks = 301;
constexpr const char* SlowName = "slow.station.test";
constexpr const char* QuickName = "quick.station.test";
constexpr const char* MissingName = "missing.station.test";
constexpr const char* SlowAddress = "127.72.0.1";
constexpr const char* QuickAddress = "127.72.0.2";
// Each test's quick device listens on an address of its own: ctest runs them side by side.
constexpr const char* OtherQuickAddress = "127.72.0.3";

// The names of the tests: the slow one is answered only once released, the missing one
// never. Counts every look-up by name.
class TNameTable {
public:
  ~TNameTable() { Release(); }
  int Answer(const std::string& Name, std::vector<uint32_t>& Addresses) {
    std::unique_lock<std::mutex> lock(FLock);
    ++FLookups[Index(Name)];
    FChanged.notify_all();
    if (Name == MissingName) return WSAHOST_NOT_FOUND;
    // Bounded, so that a link that looks up on the window's thread fails the test instead of
    // hanging it.
    if (Name == SlowName) FChanged.wait_for(lock, std::chrono::seconds(60), [this] { return FReleased; });
    Addresses.push_back(WinSockAccess().inet_addr()(Name == SlowName ? SlowAddress : FQuickAddress.c_str()));
    return 0;
  }
  void SetQuickAddress(std::string Address) {
    std::lock_guard<std::mutex> guard(FLock);
    FQuickAddress = std::move(Address);
  }
  void Release() {
    std::lock_guard<std::mutex> guard(FLock);
    FReleased = true;
    FChanged.notify_all();
  }
  int Lookups(const std::string& Name) {
    std::lock_guard<std::mutex> guard(FLock);
    return FLookups[Index(Name)];
  }

private:
  static int Index(const std::string& Name) { return Name == SlowName ? 0 : Name == QuickName ? 1 : 2; }
  std::mutex FLock;
  std::condition_variable FChanged;
  bool FReleased = false;
  int FLookups[3] = {};
  std::string FQuickAddress = QuickAddress;
};

class LinkNameLookupTest : public LinkTest {
protected:
  LinkNameLookupTest()
      : Hook([this](const std::string& Name, std::vector<uint32_t>& Addresses) {
          return Names.Answer(Name, Addresses);
        }),
        OtherNotifier(new TKtNotifier(nullptr)) {
    OtherNotifier->SetOnNotify([this](TObject*, const std::shared_ptr<IKtNotifyParams>& Params) {
      OtherNotifications.push_back({Params->Param(0).AsInteger(), Params->Param(1).AsString()});
    });
  }
  ~LinkNameLookupTest() override {
    Names.Release();
    OtherLink.reset();
    DestroyLink();
  }
  void StartOtherLink(const std::string& Address) {
    OtherLink.reset(new TCltSckObj(OtherNotifier.get(), &OtherRing));
    OtherLink->Start();
    OtherLink->SetAddress(Address);
  }

  TNameTable Names;
  TScopedHostLookupHook Hook;
  RxRing OtherRing;
  TComponentPtr<TKtNotifier> OtherNotifier;
  std::vector<TLinkNotification> OtherNotifications;
  TComponentPtr<TCltSckObj> OtherLink;
};
}  // namespace

TEST_F(LinkNameLookupTest, AHangingLookUpDelaysNeitherAnotherLinksLookUpNorItsConnection) {
  TScriptedDevice slowDevice(SlowAddress);
  TScriptedDevice quickDevice(QuickAddress);
  StartLink(SlowName);
  StartOtherLink(QuickName);
  ASSERT_TRUE(WaitUntil([&] { return OtherNotifications.size() == 1; }, std::chrono::seconds(30)));
  // The other link connected while the slow look-up still hangs.
  EXPECT_EQ(OtherNotifications[0], (TLinkNotification{1, std::string("Connected to ") + QuickName}));
  EXPECT_EQ(Names.Lookups(QuickName), 1);
  // The slow look-up's thread may reach the resolver after the other link connected.
  EXPECT_TRUE(WaitUntil([&] { return Names.Lookups(SlowName) == 1; }));
  EXPECT_EQ(Link->State(), lsConnecting);
  EXPECT_FALSE(Link->Connected());
  EXPECT_EQ(slowDevice.Accepted(), 0);
  EXPECT_TRUE(Notifications.empty());

  Names.Release();
  ASSERT_TRUE(WaitForNotifications(1));
  EXPECT_EQ(Notifications[0], (TLinkNotification{1, std::string("Connected to ") + SlowName}));
  EXPECT_TRUE(Link->Connected());
  EXPECT_EQ(slowDevice.Accepted(), 1);
  // Answered within the attempt: the one look-up, the one attempt.
  EXPECT_EQ(Names.Lookups(SlowName), 1);
  EXPECT_EQ(EntryTicks(lsConnecting).size(), 1u);
  EXPECT_EQ(quickDevice.Accepted(), 1);
}

TEST_F(LinkNameLookupTest, ANameThatCannotBeLookedUpIsAnAttemptWithdrawnAndTriedAgain) {
  Names.SetQuickAddress(OtherQuickAddress);
  TScriptedDevice quickDevice(OtherQuickAddress);
  StartLink(MissingName);
  StartOtherLink(QuickName);
  ASSERT_TRUE(WaitForStateEntries(lsConnecting, 2));
  const auto connecting = EntryTicks(lsConnecting);
  EXPECT_EQ(connecting[1] - connecting[0], WaitTicks + 1 + AttemptTicks);
  // Each attempt looks the name up again; the second one's look-up follows its state.
  ASSERT_TRUE(WaitUntil([&] { return Names.Lookups(MissingName) == 2; }));
  EXPECT_FALSE(Link->Connected());
  EXPECT_TRUE(Notifications.empty());
  // The failures cost the other link nothing.
  ASSERT_TRUE(WaitUntil([&] { return OtherNotifications.size() == 1; }));
  EXPECT_EQ(OtherNotifications[0], (TLinkNotification{1, std::string("Connected to ") + QuickName}));
  EXPECT_EQ(quickDevice.Accepted(), 1);
}
