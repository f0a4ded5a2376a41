#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/Component.h"
#include "base/Exception.h"

namespace {
// Records its own destruction and the removals it is told about.
class TProbe : public TComponent {
public:
  TProbe(TComponent* AOwner, std::vector<std::string>& Log, std::string Label)
      : TComponent(AOwner), FLog(Log), FLabel(std::move(Label)) {}
  ~TProbe() override { FLog.push_back("destroy " + FLabel); }

  void PrepareDestruction() override {
    FLog.push_back("prepare " + FLabel);
    TComponent::PrepareDestruction();
  }
  TComponent* Watched = nullptr;

protected:
  void ComponentRemoved(TComponent* AComponent) override {
    if (AComponent == Watched) {
      Watched = nullptr;
      FLog.push_back(FLabel + " told");
    }
  }

private:
  std::vector<std::string>& FLog;
  std::string FLabel;
};
}  // namespace

TEST(Component, OwnerFreesEveryChildOnce) {
  std::vector<std::string> log;
  auto* owner = new TProbe(nullptr, log, "owner");
  new TProbe(owner, log, "a");
  auto* b = new TProbe(owner, log, "b");
  new TProbe(b, log, "b1");
  EXPECT_EQ(owner->ComponentCount(), 2);
  EXPECT_EQ(b->Owner(), owner);
  TComponent::Free(owner);
  // Every component is prepared before its destructor runs, and each is destroyed once.
  for (const char* label : {"owner", "a", "b", "b1"}) {
    EXPECT_EQ(std::count(log.begin(), log.end(), std::string("destroy ") + label), 1) << label;
    EXPECT_EQ(std::count(log.begin(), log.end(), std::string("prepare ") + label), 1) << label;
  }
  EXPECT_LT(std::find(log.begin(), log.end(), "prepare b"), std::find(log.begin(), log.end(), "destroy b"));
}

TEST(Component, ChildFreedAloneLeavesOwnerList) {
  std::vector<std::string> log;
  TComponentPtr<TProbe> owner(new TProbe(nullptr, log, "owner"));
  auto* child = new TProbe(owner.get(), log, "child");
  TComponent::Free(child);
  EXPECT_EQ(owner->ComponentCount(), 0);
  owner.reset();
  EXPECT_EQ(std::count(log.begin(), log.end(), "destroy child"), 1);
}

TEST(Component, FreeNotificationTellsTheWatcherAndForgetsIt) {
  std::vector<std::string> log;
  TComponentPtr<TProbe> watcher(new TProbe(nullptr, log, "watcher"));
  auto* watched = new TProbe(nullptr, log, "watched");
  watcher->Watched = watched;
  watched->FreeNotification(watcher.get());
  TComponent::Free(watched);
  EXPECT_EQ(watcher->Watched, nullptr);
  EXPECT_EQ(std::count(log.begin(), log.end(), "watcher told"), 1);

  // The notification goes both ways: a freed watcher is forgotten by the watched one,
  // which must not call it later.
  auto* second = new TProbe(nullptr, log, "second");
  {
    TComponentPtr<TProbe> shortLived(new TProbe(nullptr, log, "short"));
    shortLived->Watched = second;
    second->FreeNotification(shortLived.get());
  }
  TComponent::Free(second);
  EXPECT_EQ(std::count(log.begin(), log.end(), "short told"), 0);
}

TEST(Component, OwnerAndSiblingsHearOfARemovedComponent) {
  std::vector<std::string> log;
  TComponentPtr<TProbe> owner(new TProbe(nullptr, log, "owner"));
  auto* sibling = new TProbe(owner.get(), log, "sibling");
  auto* leaving = new TProbe(owner.get(), log, "leaving");
  owner->Watched = leaving;
  sibling->Watched = leaving;
  TComponent::Free(leaving);
  EXPECT_EQ(owner->Watched, nullptr);
  EXPECT_EQ(sibling->Watched, nullptr);
}

TEST(Component, NamesAreUniqueAmongSiblingsWithoutRegardToCase) {
  TComponentPtr<TComponent> owner(new TComponent(nullptr));
  auto* a = new TComponent(owner.get());
  auto* b = new TComponent(owner.get());
  a->SetName("Timer1");
  EXPECT_THROW(b->SetName("TIMER1"), EListError);
  b->SetName("Timer2");
  EXPECT_EQ(owner->FindComponent("timer2"), b);
  EXPECT_EQ(owner->FindComponent(""), nullptr);
  EXPECT_THROW(owner->Components(2), EListError);
}

TEST(Component, EndLoadingRunsReadStreamedState) {
  class TLoaded : public TComponent {
  public:
    using TComponent::TComponent;
    int Reads = 0;
    bool LoadingSeen = true;
    void ReadStreamedState() override {
      ++Reads;
      LoadingSeen = Loading();
    }
  };
  TComponentPtr<TLoaded> c(new TLoaded(nullptr));
  c->BeginLoading();
  EXPECT_TRUE(c->Loading());
  c->EndLoading();
  EXPECT_EQ(c->Reads, 1);
  EXPECT_FALSE(c->LoadingSeen);
}
