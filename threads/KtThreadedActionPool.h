#pragma once

#include "threads/KtThreadPool.h"

// The pool of a threaded action or of an action category. It belongs to the component that
// uses it and is not saved on its own (a sub-component).
class TKtThreadPool : public TKtCustomThreadPool {
public:
  using TKtCustomThreadPool::TKtCustomThreadPool;
  bool IsSubComponent() const { return FSubComponent; }
  void SetSubComponent(bool Value) { FSubComponent = Value; }
  std::string ClassName() const override { return "TKtThreadPool"; }

private:
  bool FSubComponent = false;
};
