#pragma once

#include <functional>
#include <vector>

#include "base/Component.h"

class TKtCustomParent;

using TKtChangeEvent = std::function<void(TObject* Sender)>;

// A component held by a parent container (other than its owner), in the parent's order.
class TKtCustomChild : public TComponent {
public:
  explicit TKtCustomChild(TComponent* AOwner);
  ~TKtCustomChild() override;

  TKtCustomParent* Parent() const { return FParent; }
  void SetParent(TKtCustomParent* Value);
  // The position among the parent's children; -1 without a parent.
  int Index() const;
  // Clamped to the parent's children; ignored without a parent.
  void SetIndex(int Value);
  virtual void Changed();

  TKtChangeEvent OnChange;

  void AttachParentComponent(TComponent* Value) override;
  TComponent* ParentComponent() const override;
  bool HasParentComponent() const override;

protected:
  // The parent the child was read into, when it was read from a stream.
  void SetStreamedParent(TComponent* Value) { FStreamedParent = Value; }
  void ReadStreamedState() override;

private:
  friend class TKtCustomParent;
  TKtCustomParent* FParent = nullptr;
  TComponent* FStreamedParent = nullptr;
};

// A container of child components that frees its children before it goes.
class TKtCustomParent : public TComponent {
public:
  explicit TKtCustomParent(TComponent* AOwner);
  ~TKtCustomParent() override;

  virtual void AddChild(TKtCustomChild* Child);
  virtual void Changed();
  virtual void RemoveChild(TKtCustomChild* Child);

  int Count() const { return static_cast<int>(FChildren.size()); }
  TKtCustomChild* Children(int Index) const;
  int IndexOfChild(const TKtCustomChild* Child) const;

  TKtChangeEvent OnChange;

  void PrepareDestruction() override;
  void EnumerateChildren(const std::function<void(TComponent*)>& Proc, TComponent* Root) override;
  void MoveChild(TComponent* Child, int Order) override;

protected:
  void ComponentRemoved(TComponent* AComponent) override;

private:
  friend class TKtCustomChild;
  void MoveTo(TKtCustomChild* Child, int Index);

  std::vector<TKtCustomChild*> FChildren;
};
