#pragma once

#include <string>

#include "base/Exception.h"
#include "base/Format.h"

class EKtThreadedAction : public Exception {
public:
  using Exception::Exception;
};

class EKtThreadedActionCategoryDoesNotExist : public EKtThreadedAction {
public:
  explicit EKtThreadedActionCategoryDoesNotExist(const std::string& Name)
      : EKtThreadedAction(Format("Category [%s] does not exist", Name.c_str())) {}
};

class EKtThreadedActionCategoryAlreadyExists : public EKtThreadedAction {
public:
  explicit EKtThreadedActionCategoryAlreadyExists(const std::string& Name)
      : EKtThreadedAction(Format("Category [%s] already exists", Name.c_str())) {}
};
