#include <gtest/gtest.h>

#include <set>

#include "app/RunOutcome.h"

namespace {
// Every failure line the run can log maps to its code; lines that merely resemble one, and
// the lines of a run that goes well, map to none.
TEST(RunOutcomeTest, FailureLinesMapToTheirCodesAndOtherLinesToNone) {
  const std::pair<const char*, int> failures[] = {
      {"Could Not Enable Programming", 5},
      {"Could Not Sync to Bootloader", 6},
      {"Could Not Sync to Master Bootloader", 7},
      {"Could Not Sync to Slave Bootloader", 7},
      {"Program Error", 8},
      {"Program Timeout Error", 9},
      {"Failed to Restart", 10},
      {"Could Not Send to Zelmirt: Socket not assigned", 12},
  };
  for (const auto& [line, code] : failures) {
    const auto outcome = FailureOfMemoLine(line);
    ASSERT_TRUE(outcome.has_value()) << line;
    EXPECT_EQ(static_cast<int>(*outcome), code) << line;
  }
  for (const char* line : {"Enabling Master Program Mode", "Program Mode Enabled", ":1000000000.", "Zelmirt Restarted",
                           "Zelmirt Master Processor Programmed", "Program Errors", "Could Not Send to Zelmirt", ""})
    EXPECT_FALSE(FailureOfMemoLine(line).has_value()) << line;
}

TEST(RunOutcomeTest, EveryOutcomeHasItsOwnCodeAndMeaning) {
  std::set<int> codes;
  std::set<std::string> meanings;
  for (TRunOutcome outcome : AllRunOutcomes()) {
    codes.insert(static_cast<int>(outcome));
    meanings.insert(RunOutcomeMeaning(outcome));
  }
  EXPECT_EQ(codes, (std::set<int>{0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 130}));
  EXPECT_EQ(meanings.size(), codes.size());
  EXPECT_EQ(meanings.count("unknown"), 0u);
}
}  // namespace
