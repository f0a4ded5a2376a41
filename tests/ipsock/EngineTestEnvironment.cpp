#include <gtest/gtest.h>

#include <memory>

#include "ipsock/IpWinSockAccess.h"

namespace {
// Starts the socket engine's unit for the whole run, as the program does at its start.
class TEngineTestEnvironment : public testing::Environment {
public:
  void SetUp() override { FUnit = std::make_unique<TIpSockUnit>(); }
  void TearDown() override { FUnit.reset(); }

private:
  std::unique_ptr<TIpSockUnit> FUnit;
};

[[maybe_unused]] testing::Environment* const Installed = testing::AddGlobalTestEnvironment(new TEngineTestEnvironment);
}  // namespace
