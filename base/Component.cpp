#include "base/Component.h"

#include <algorithm>
#include <cctype>

#include "base/Exception.h"
#include "base/Format.h"

namespace {
void EraseOnce(std::vector<TComponent*>& List, TComponent* Item) {
  auto it = std::find(List.begin(), List.end(), Item);
  if (it != List.end()) List.erase(it);
}
}  // namespace

TComponent::TComponent(TComponent* AOwner) {
  if (AOwner) AOwner->InsertComponent(this);
}

TComponent::~TComponent() {
  FDestroying = true;
  // Those who asked are told first, while the owner still lists this component.
  while (!FFreeNotifies.empty()) {
    TComponent* other = FFreeNotifies.back();
    FFreeNotifies.pop_back();
    other->RemoveNotification(this);
    other->ComponentRemoved(this);
  }
  while (!FComponents.empty()) {
    TComponent* child = FComponents.back();
    RemoveComponent(child);
    Free(child);
  }
  if (FOwner) FOwner->RemoveComponent(this);
}

void TComponent::Free(TComponent* Component) {
  if (!Component) return;
  Component->PrepareDestruction();
  delete Component;
}

void TComponent::SetName(const std::string& Value) {
  if (Value == FName) return;
  if (!Value.empty() && FOwner) {
    TComponent* existing = FOwner->FindComponent(Value);
    if (existing && existing != this)
      throw EListError(Format("A component named %s already exists", Value.c_str()));
  }
  FName = Value;
}

TComponent* TComponent::Components(int Index) const {
  if (Index < 0 || Index >= ComponentCount())
    throw EListError(Format("List index out of bounds (%d)", Index));
  return FComponents[static_cast<size_t>(Index)];
}

TComponent* TComponent::FindComponent(const std::string& AName) const {
  if (AName.empty()) return nullptr;
  for (TComponent* c : FComponents)
    if (c->FName.size() == AName.size() &&
        std::equal(AName.begin(), AName.end(), c->FName.begin(),
                   [](char a, char b) { return std::tolower(static_cast<unsigned char>(a)) ==
                                               std::tolower(static_cast<unsigned char>(b)); }))
      return c;
  return nullptr;
}

void TComponent::InsertComponent(TComponent* AComponent) {
  if (!AComponent || AComponent->FOwner == this) return;
  if (AComponent->FOwner) AComponent->FOwner->RemoveComponent(AComponent);
  FComponents.push_back(AComponent);
  AComponent->FOwner = this;
}

void TComponent::RemoveComponent(TComponent* AComponent) {
  if (!AComponent || AComponent->FOwner != this) return;
  EraseOnce(FComponents, AComponent);
  AComponent->FOwner = nullptr;
  // The owner and its other components may hold references to a removed component.
  BroadcastRemoval(AComponent);
}

void TComponent::BroadcastRemoval(TComponent* AComponent) {
  ComponentRemoved(AComponent);
  for (size_t i = 0; i < FComponents.size(); ++i) FComponents[i]->ComponentRemoved(AComponent);
}

void TComponent::FreeNotification(TComponent* AComponent) {
  if (!AComponent || AComponent == this) return;
  if (std::find(FFreeNotifies.begin(), FFreeNotifies.end(), AComponent) == FFreeNotifies.end())
    FFreeNotifies.push_back(AComponent);
  if (std::find(AComponent->FFreeNotifies.begin(), AComponent->FFreeNotifies.end(), this) ==
      AComponent->FFreeNotifies.end())
    AComponent->FFreeNotifies.push_back(this);
}

void TComponent::RemoveFreeNotification(TComponent* AComponent) {
  if (!AComponent) return;
  RemoveNotification(AComponent);
  AComponent->RemoveNotification(this);
}

void TComponent::RemoveNotification(TComponent* AComponent) { EraseOnce(FFreeNotifies, AComponent); }

void TComponent::BeginLoading() { FLoading = true; }

void TComponent::EndLoading() {
  FLoading = false;
  ReadStreamedState();
}

void TComponent::PrepareDestruction() { FDestroying = true; }
void TComponent::ReadStreamedState() {}
void TComponent::AttachParentComponent(TComponent*) {}
TComponent* TComponent::ParentComponent() const { return nullptr; }
bool TComponent::HasParentComponent() const { return false; }
void TComponent::EnumerateChildren(const std::function<void(TComponent*)>&, TComponent*) {}
void TComponent::MoveChild(TComponent*, int) {}
void TComponent::ComponentRemoved(TComponent*) {}
