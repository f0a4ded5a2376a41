#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/Exception.h"
#include "threads/KtNestedCtrls.h"

namespace {
// A child that records its Changed calls in a shared log.
class TRecordingChild : public TKtCustomChild {
public:
  TRecordingChild(TComponent* AOwner, std::string Label, std::vector<std::string>& Log)
      : TKtCustomChild(AOwner), FLabel(std::move(Label)), FLog(Log) {}
  void Changed() override {
    FLog.push_back(FLabel);
    TKtCustomChild::Changed();
  }

private:
  std::string FLabel;
  std::vector<std::string>& FLog;
};

class NestedCtrlsTest : public testing::Test {
protected:
  TKtCustomChild* AddChild(const std::string& Label, TComponent* Owner = nullptr) {
    // Freed by the parent (or by its owner, whichever goes first).
    auto* child = new TRecordingChild(Owner, Label, Log);
    child->SetParent(Parent.get());
    return child;
  }
  std::vector<std::string> Log;
  TComponentPtr<TKtCustomParent> Parent{new TKtCustomParent(nullptr)};
};

TEST_F(NestedCtrlsTest, ParentHoldsChildrenInOrderAndMovesThemWithClampedIndex) {
  TKtCustomChild* a = AddChild("a");
  TKtCustomChild* b = AddChild("b");
  TKtCustomChild* c = AddChild("c");
  ASSERT_EQ(Parent->Count(), 3);
  EXPECT_EQ(a->Index(), 0);
  EXPECT_EQ(c->Index(), 2);
  EXPECT_EQ(a->Parent(), Parent.get());
  a->SetIndex(99);
  EXPECT_EQ(a->Index(), 2);
  EXPECT_EQ(Parent->Children(1), c);
  a->SetIndex(-5);
  EXPECT_EQ(a->Index(), 0);
  Parent->MoveChild(b, 0);
  EXPECT_EQ(Parent->Children(0), b);
  EXPECT_THROW(Parent->Children(3), EListError);
}

TEST_F(NestedCtrlsTest, ChildWithoutParentHasNoIndexAndIgnoresMoves) {
  TComponentPtr<TKtCustomChild> loose(new TKtCustomChild(nullptr));
  EXPECT_EQ(loose->Index(), -1);
  loose->SetIndex(3);
  EXPECT_EQ(loose->Index(), -1);
  EXPECT_FALSE(loose->HasParentComponent());
  EXPECT_EQ(loose->ParentComponent(), nullptr);
  Parent->MoveChild(loose.get(), 0);
  EXPECT_EQ(Parent->Count(), 0);
}

TEST_F(NestedCtrlsTest, SetParentMovesChildBetweenParentsAndIgnoresTheSameParent) {
  TKtCustomChild* a = AddChild("a");
  a->SetParent(Parent.get());
  EXPECT_EQ(Parent->Count(), 1) << "setting the same parent again adds nothing";
  TComponentPtr<TKtCustomParent> other(new TKtCustomParent(nullptr));
  a->SetParent(other.get());
  EXPECT_EQ(Parent->Count(), 0);
  EXPECT_EQ(other->Count(), 1);
  EXPECT_EQ(a->ParentComponent(), other.get());
  EXPECT_TRUE(a->HasParentComponent());
  a->SetParent(nullptr);
  EXPECT_EQ(other->Count(), 0);
  EXPECT_EQ(a->Parent(), nullptr);
  TComponent::Free(a);  // no parent frees it any more
}

TEST_F(NestedCtrlsTest, AttachParentComponentOnlyWhenNotLoadingAndOnlyToAParent) {
  TKtCustomChild* a = AddChild("a");
  a->SetParent(nullptr);
  TComponentPtr<TComponent> plain(new TComponent(nullptr));
  a->AttachParentComponent(plain.get());
  EXPECT_EQ(a->Parent(), nullptr);
  a->BeginLoading();
  a->AttachParentComponent(Parent.get());
  EXPECT_EQ(a->Parent(), nullptr) << "a loading child waits for its streamed state";
  a->EndLoading();
  a->AttachParentComponent(Parent.get());
  EXPECT_EQ(a->Parent(), Parent.get());
}

TEST_F(NestedCtrlsTest, ChangedCallsParentHandlerThenEachChildInOrder) {
  AddChild("a");
  TKtCustomChild* b = AddChild("b");
  TObject* sender = nullptr;
  Parent->OnChange = [&](TObject* S) {
    sender = S;
    Log.push_back("parent");
  };
  TObject* childSender = nullptr;
  b->OnChange = [&](TObject* S) {
    childSender = S;
    Log.push_back("b's handler");
  };
  Parent->Changed();
  EXPECT_EQ(sender, Parent.get());
  EXPECT_EQ(childSender, b);
  EXPECT_EQ(Log, (std::vector<std::string>{"parent", "a", "b", "b's handler"}));
}

// A child as the stream reader leaves it: told which parent it was read into.
class TStreamedChild : public TKtCustomChild {
public:
  using TKtCustomChild::TKtCustomChild;
  using TKtCustomChild::SetStreamedParent;
};

TEST_F(NestedCtrlsTest, AChildReadFromAStreamJoinsItsParentWhenReadingEnds) {
  auto* child = new TStreamedChild(nullptr);  // freed by the parent it joins
  child->BeginLoading();
  child->SetStreamedParent(Parent.get());
  EXPECT_EQ(child->Parent(), nullptr);
  child->EndLoading();
  EXPECT_EQ(child->Parent(), Parent.get());
  EXPECT_EQ(Parent->Children(0), child);

  TComponentPtr<TStreamedChild> other(new TStreamedChild(nullptr));
  TComponent plain(nullptr);
  other->BeginLoading();
  other->SetStreamedParent(&plain);
  other->EndLoading();
  EXPECT_EQ(other->Parent(), nullptr) << "a plain component holds no children";
}

TEST_F(NestedCtrlsTest, FreedChildLeavesItsParent) {
  TKtCustomChild* a = AddChild("a");
  AddChild("b");
  TComponent::Free(a);
  ASSERT_EQ(Parent->Count(), 1);
  EXPECT_NE(Parent->Children(0), a);
}

TEST_F(NestedCtrlsTest, FreeingTheParentFreesItsChildrenLastFirst) {
  std::vector<std::string> freed;
  TComponent owner(nullptr);
  auto* first = AddChild("first", &owner);
  auto* second = AddChild("second", &owner);
  struct TWatcher : TComponent {
    std::vector<std::string>& Freed;
    TComponent* First;
    TWatcher(std::vector<std::string>& F, TComponent* A) : TComponent(nullptr), Freed(F), First(A) {}
    void ComponentRemoved(TComponent* C) override { Freed.push_back(C == First ? "first" : "second"); }
  } watcher(freed, first);
  first->FreeNotification(&watcher);
  second->FreeNotification(&watcher);
  Parent.reset();
  EXPECT_EQ(freed, (std::vector<std::string>{"second", "first"}));
  EXPECT_EQ(owner.ComponentCount(), 0) << "the children were freed, not only released";
}

TEST_F(NestedCtrlsTest, EnumerateChildrenVisitsOnlyThoseOwnedByRoot) {
  TComponent root(nullptr);
  TKtCustomChild* mine = AddChild("mine", &root);
  AddChild("other");
  TKtCustomChild* alsoMine = AddChild("alsoMine", &root);
  std::vector<TComponent*> seen;
  Parent->EnumerateChildren([&](TComponent* C) { seen.push_back(C); }, &root);
  EXPECT_EQ(seen, (std::vector<TComponent*>{mine, alsoMine}));
}
}  // namespace

TEST_F(NestedCtrlsTest, AddChildTakesTheChildFromItsFormerParentAndNeverTwice) {
  TKtCustomChild* child = AddChild("a");
  TComponentPtr<TKtCustomParent> other(new TKtCustomParent(nullptr));
  other->AddChild(child);
  EXPECT_EQ(Parent->Count(), 0);
  EXPECT_EQ(other->Count(), 1);
  EXPECT_EQ(child->Parent(), other.get());
  other->AddChild(child);
  EXPECT_EQ(other->Count(), 1);
}
