#pragma once

#include "threads/KtNotifier.h"

// The notifier that each threaded action and each action list keeps for itself.
class TKtNotifierEx : public TKtNotifier {
public:
  using TKtNotifier::TKtNotifier;
  std::string ClassName() const override { return "TKtNotifierEx"; }
};
