#include <gtest/gtest.h>

#include <set>

#include "app/RunOutcome.h"

namespace {
TEST(RunOutcomeTest, EveryOutcomeHasItsOwnCodeAndMeaning) {
  std::set<int> codes;
  std::set<std::string> meanings;
  for (TRunOutcome outcome : AllRunOutcomes()) {
    codes.insert(static_cast<int>(outcome));
    meanings.insert(RunOutcomeMeaning(outcome));
  }
  EXPECT_EQ(codes, (std::set<int>{0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 129, 130, 143}));
  EXPECT_EQ(meanings.size(), codes.size());
  EXPECT_EQ(meanings.count("unknown"), 0u);
}
}  // namespace
