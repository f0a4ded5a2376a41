#include "tests/link/LinkFixture.h"

#include "tests/support/WaitUntil.h"
#include "threads/KtParams.h"

LinkTest::LinkTest() : Notifier(new TKtNotifier(nullptr)) {
  Notifier->SetOnNotify([this](TObject*, const std::shared_ptr<IKtNotifyParams>& Params) {
    Notifications.push_back({Params->Param(0).AsInteger(), Params->Param(1).AsString()});
  });
}

LinkTest::~LinkTest() { DestroyLink(); }

void LinkTest::StartLink(const std::string& Address) {
  Link.reset(new TCltSckObj(Notifier.get(), &Ring));
  Link->Start();
  Link->SetAddress(Address);
}

void LinkTest::DestroyLink() { Link.reset(); }

bool LinkTest::WaitForNotifications(size_t Count, int Seconds) {
  return WaitUntil([&] { return Notifications.size() >= Count; }, std::chrono::seconds(Seconds));
}

std::vector<uint64_t> LinkTest::EntryTicks(TLinkState State) const {
  std::vector<uint64_t> ticks;
  for (const TLinkStateChange& change : Link->StateHistory())
    if (change.State == State) ticks.push_back(change.Tick);
  return ticks;
}

bool LinkTest::WaitForStateEntries(TLinkState State, size_t Count, int Seconds) {
  return WaitUntil([&] { return EntryTicks(State).size() >= Count; }, std::chrono::seconds(Seconds));
}
