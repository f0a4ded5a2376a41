#include <gtest/gtest.h>

#include <QCoreApplication>

#include "tests/support/TestApplication.h"

namespace {
// Each test starts with a clean record of dialogs and exceptions.
class TResetTestApplication : public testing::EmptyTestEventListener {
  void OnTestStart(const testing::TestInfo&) override { TestApplication().Reset(); }
};
}  // namespace

int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  QCoreApplication qtApp(argc, argv);
  TScopedApplication installed(TestApplication());
  testing::UnitTest::GetInstance()->listeners().Append(new TResetTestApplication);
  return RUN_ALL_TESTS();
}
