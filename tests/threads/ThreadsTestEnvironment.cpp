#include "tests/threads/ThreadsTestEnvironment.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include "platform/SharedMemory.h"
#include "threads/KtDebugLog.h"
#include "threads/KtThreads.h"

const std::string& TestAnnouncementName() {
  static const std::string name = "KtDebugLogTest." + std::to_string(getpid());
  return name;
}

namespace {
// Starts the framework on the main thread (the one running the Qt application) for the
// whole run and ends it before the application object goes, so no thread outlives main.
class TThreadsTestEnvironment : public testing::Environment {
public:
  void SetUp() override {
    KtDebugLogSetAnnouncementName(TestAnnouncementName());
    KtThreadsStart();
  }
  void TearDown() override {
    KtThreadsFinish();
    TSharedMemory::Unlink(std::string(KtDebugLogGlobalPrefix) + "." + TestAnnouncementName());
  }
};

[[maybe_unused]] testing::Environment* const Installed =
    testing::AddGlobalTestEnvironment(new TThreadsTestEnvironment);
}  // namespace
