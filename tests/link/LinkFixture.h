#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "base/Component.h"
#include "link/AppClSk.h"
#include "threads/KtNotifier.h"

// One notification as the window receives it.
struct TLinkNotification {
  int32_t Code;
  std::string Text;
  bool operator==(const TLinkNotification&) const = default;
};

// A link with the window's side of it: the notifier that records what it delivers and the
// receive ring.
class LinkTest : public testing::Test {
protected:
  LinkTest();
  ~LinkTest() override;

  // Creates the link and, unless told otherwise, starts it on Address.
  void StartLink(const std::string& Address);
  void DestroyLink();
  // Waits until Count notifications have been delivered.
  bool WaitForNotifications(size_t Count, int Seconds = 30);
  // Waits until the link has entered State Count times (counted over its state history).
  bool WaitForStateEntries(TLinkState State, size_t Count, int Seconds = 40);
  // The ticks on which the link entered State, oldest first.
  std::vector<uint64_t> EntryTicks(TLinkState State) const;

  RxRing Ring;
  TComponentPtr<TKtNotifier> Notifier;
  std::vector<TLinkNotification> Notifications;
  TComponentPtr<TCltSckObj> Link;
};
