#include "threads/KtNestedCtrls.h"

#include <algorithm>

#include "base/Exception.h"
#include "base/Format.h"

TKtCustomChild::TKtCustomChild(TComponent* AOwner) : TComponent(AOwner) {}

TKtCustomChild::~TKtCustomChild() { SetParent(nullptr); }

void TKtCustomChild::SetParent(TKtCustomParent* Value) {
  if (Value == FParent) return;
  if (FParent) FParent->RemoveChild(this);
  if (Value) Value->AddChild(this);
}

int TKtCustomChild::Index() const { return FParent ? FParent->IndexOfChild(this) : -1; }

void TKtCustomChild::SetIndex(int Value) {
  if (!FParent) return;
  FParent->MoveTo(this, std::clamp(Value, 0, FParent->Count() - 1));
}

void TKtCustomChild::Changed() {
  if (OnChange) OnChange(this);
}

void TKtCustomChild::AttachParentComponent(TComponent* Value) {
  if (Loading()) return;
  if (auto* parent = dynamic_cast<TKtCustomParent*>(Value)) SetParent(parent);
}

TComponent* TKtCustomChild::ParentComponent() const {
  return FParent ? FParent : TComponent::ParentComponent();
}

bool TKtCustomChild::HasParentComponent() const { return FParent != nullptr || TComponent::HasParentComponent(); }

void TKtCustomChild::ReadStreamedState() {
  TComponent::ReadStreamedState();
  if (auto* parent = dynamic_cast<TKtCustomParent*>(FStreamedParent)) SetParent(parent);
}

TKtCustomParent::TKtCustomParent(TComponent* AOwner) : TComponent(AOwner) {}

TKtCustomParent::~TKtCustomParent() {
  // Children freed elsewhere have left already; the rest only forget this parent.
  while (!FChildren.empty()) RemoveChild(FChildren.back());
}

void TKtCustomParent::AddChild(TKtCustomChild* Child) {
  if (Child->FParent == this) return;
  // A child belongs to one parent at a time.
  if (Child->FParent) Child->FParent->RemoveChild(Child);
  FChildren.push_back(Child);
  Child->FParent = this;
  Child->FreeNotification(this);
}

void TKtCustomParent::RemoveChild(TKtCustomChild* Child) {
  auto it = std::find(FChildren.begin(), FChildren.end(), Child);
  if (it == FChildren.end()) return;
  FChildren.erase(it);
  Child->FParent = nullptr;
}

void TKtCustomParent::Changed() {
  if (OnChange) OnChange(this);
  for (size_t i = 0; i < FChildren.size(); ++i) FChildren[i]->Changed();
}

TKtCustomChild* TKtCustomParent::Children(int Index) const {
  if (Index < 0 || Index >= Count()) throw EListError(Format("List index out of bounds (%d)", Index));
  return FChildren[static_cast<size_t>(Index)];
}

int TKtCustomParent::IndexOfChild(const TKtCustomChild* Child) const {
  auto it = std::find(FChildren.begin(), FChildren.end(), Child);
  return it == FChildren.end() ? -1 : static_cast<int>(it - FChildren.begin());
}

void TKtCustomParent::ComponentRemoved(TComponent* AComponent) {
  TComponent::ComponentRemoved(AComponent);
  // Compared by address: a component in its destructor no longer has its derived type.
  auto it = std::find_if(FChildren.begin(), FChildren.end(),
                         [AComponent](TKtCustomChild* c) { return static_cast<TComponent*>(c) == AComponent; });
  if (it != FChildren.end()) RemoveChild(*it);
}

void TKtCustomParent::PrepareDestruction() {
  TComponent::PrepareDestruction();
  while (!FChildren.empty()) {
    TKtCustomChild* last = FChildren.back();
    RemoveChild(last);
    TComponent::Free(last);
  }
}

void TKtCustomParent::EnumerateChildren(const std::function<void(TComponent*)>& Proc, TComponent* Root) {
  for (size_t i = 0; i < FChildren.size(); ++i)
    if (FChildren[i]->Owner() == Root) Proc(FChildren[i]);
}

void TKtCustomParent::MoveChild(TComponent* Child, int Order) {
  auto* child = dynamic_cast<TKtCustomChild*>(Child);
  if (child && IndexOfChild(child) >= 0) child->SetIndex(Order);
}

void TKtCustomParent::MoveTo(TKtCustomChild* Child, int Index) {
  const int current = IndexOfChild(Child);
  if (current < 0 || current == Index) return;
  FChildren.erase(FChildren.begin() + current);
  FChildren.insert(FChildren.begin() + Index, Child);
}
