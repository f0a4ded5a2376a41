#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "base/Persistent.h"

// A named object with an owner. The owner frees the components it owns when it is freed;
// a component that asked another for free notification is told through ComponentRemoved
// when that one goes. Free components through TComponent::Free (or a TComponentPtr), so
// that PrepareDestruction runs while the object is still whole.
class TComponent : public TPersistent {
public:
  explicit TComponent(TComponent* AOwner);
  ~TComponent() override;

  // Runs PrepareDestruction, then deletes. Accepts nullptr.
  static void Free(TComponent* Component);

  TComponent* Owner() const { return FOwner; }
  const std::string& Name() const { return FName; }
  virtual void SetName(const std::string& Value);
  intptr_t Tag() const { return FTag; }
  void SetTag(intptr_t Value) { FTag = Value; }

  int ComponentCount() const { return static_cast<int>(FComponents.size()); }
  TComponent* Components(int Index) const;
  TComponent* FindComponent(const std::string& AName) const;
  void InsertComponent(TComponent* AComponent);
  void RemoveComponent(TComponent* AComponent);

  // AComponent is told (ComponentRemoved) when this component is freed, and vice versa.
  void FreeNotification(TComponent* AComponent);
  void RemoveFreeNotification(TComponent* AComponent);

  bool Loading() const { return FLoading; }
  bool Destroying() const { return FDestroying; }
  // Marks the start and end of reading the component's state; the end runs ReadStreamedState.
  void BeginLoading();
  void EndLoading();

  virtual void PrepareDestruction();
  virtual void ReadStreamedState();
  virtual void AttachParentComponent(TComponent* Value);
  virtual TComponent* ParentComponent() const;
  virtual bool HasParentComponent() const;
  virtual void EnumerateChildren(const std::function<void(TComponent*)>& Proc, TComponent* Root);
  virtual void MoveChild(TComponent* Child, int Order);

protected:
  // AComponent is being freed: drop every reference to it.
  virtual void ComponentRemoved(TComponent* AComponent);

private:
  void RemoveNotification(TComponent* AComponent);
  void BroadcastRemoval(TComponent* AComponent);

  TComponent* FOwner = nullptr;
  std::string FName;
  intptr_t FTag = 0;
  std::vector<TComponent*> FComponents;
  std::vector<TComponent*> FFreeNotifies;
  bool FLoading = false;
  bool FDestroying = false;
};

struct TComponentFree {
  void operator()(TComponent* Component) const { TComponent::Free(Component); }
};

// Sole ownership of a component that has no owner.
template <class T>
using TComponentPtr = std::unique_ptr<T, TComponentFree>;
