#include <gtest/gtest.h>

#include <QApplication>

#include "tests/support/TestApplication.h"

namespace {
class TResetTestApplication : public testing::EmptyTestEventListener {
  void OnTestStart(const testing::TestInfo&) override { TestApplication().Reset(); }
};
}  // namespace

int main(int argc, char** argv) {
  // Drawn off screen: the tests need no display and never show anything on one.
  qputenv("QT_QPA_PLATFORM", "offscreen");
  testing::InitGoogleTest(&argc, argv);
  QApplication toolkit(argc, argv);
  TScopedApplication installed(TestApplication());
  testing::UnitTest::GetInstance()->listeners().Append(new TResetTestApplication);
  return RUN_ALL_TESTS();
}
