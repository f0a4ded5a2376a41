#include "platform/DescriptorLimit.h"

#include <gtest/gtest.h>
#include <sys/resource.h>

#include <algorithm>

TEST(DescriptorLimitTest, TheSoftLimitRisesToTheHardOne) {
  rlimit before{};
  ASSERT_EQ(getrlimit(RLIMIT_NOFILE, &before), 0);
  // A hard limit this process may lower for good: the test runs in a process of its own.
  const rlim_t hard = std::min<rlim_t>(before.rlim_max, 4096);
  const rlimit lowered{std::min<rlim_t>(hard, 64), hard};
  ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &lowered), 0);

  EXPECT_EQ(RaiseDescriptorLimit(), hard);
  rlimit after{};
  ASSERT_EQ(getrlimit(RLIMIT_NOFILE, &after), 0);
  EXPECT_EQ(after.rlim_cur, hard);
  EXPECT_EQ(after.rlim_max, hard);
  EXPECT_EQ(RaiseDescriptorLimit(), hard) << "once raised it stays";
}
