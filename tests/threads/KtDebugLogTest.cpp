#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <regex>
#include <thread>

#include "base/Format.h"
#include "platform/ThreadInfo.h"
#include "tests/support/WaitUntil.h"
#include "tests/threads/ThreadsTestEnvironment.h"
#include "threads/KtDebugLog.h"
#include "threads/KtDebugLogViewer.h"
#include "threads/KtNotifierThread.h"
#include "threads/KtThreads.h"

namespace {
// Polls the viewer until it has Count records or ten seconds pass.
std::vector<std::string> ReceiveRecords(TKtDebugLogViewer& Viewer, size_t Count) {
  std::vector<std::string> records;
  WaitUntil([&] {
    Viewer.Poll(5);
    for (auto& r : Viewer.TakeRecords()) records.push_back(std::move(r));
    return records.size() >= Count;
  });
  return records;
}

// Polls the viewer until a record containing Text arrives or ten seconds pass; gives every
// record received, since the framework's own threads may write lines in between.
std::vector<std::string> ReceiveUntil(TKtDebugLogViewer& Viewer, const std::string& Text) {
  std::vector<std::string> records;
  WaitUntil([&] {
    Viewer.Poll(5);
    for (auto& r : Viewer.TakeRecords()) records.push_back(std::move(r));
    return std::any_of(records.begin(), records.end(), [&](const std::string& r) { return r.find(Text) != std::string::npos; });
  });
  return records;
}

// Index of the first record containing Text, or -1.
int IndexOf(const std::vector<std::string>& Records, const std::string& Text) {
  for (size_t i = 0; i < Records.size(); ++i)
    if (Records[i].find(Text) != std::string::npos) return static_cast<int>(i);
  return -1;
}

// The record of Msg as written by this thread, with its time left as a pattern.
std::regex RecordPattern(const std::string& Context, const std::string& Msg) {
  const std::string prefix = Format("threads_tests:[%x,%x],<", GetCurrentProcessId(), GetCurrentThreadId());
  auto escape = [](const std::string& s) { return std::regex_replace(s, std::regex(R"([\[\]\(\)\.\*\+\?\^\$\\\{\}\|])"), R"(\$&)"); };
  return std::regex(escape(prefix) + escape(Context) + R"(>,\d\d:\d\d:\d\d\.\d\d\d: )" + escape(Msg));
}

class KtDebugLogTest : public testing::Test {
protected:
  // A name of this test alone, so that the framework's own lines do not mix in.
  const std::string FName = "KtDebugLogUnit." + std::to_string(getpid());
  void TearDown() override { TSharedMemory::Unlink(std::string(KtDebugLogGlobalPrefix) + "." + FName); }
};

TEST_F(KtDebugLogTest, WithoutViewerNothingIsSentAndNoConnectionMade) {
  TKtDebugLogViewer viewer(FName);
  TTcpListener unannounced;
  ASSERT_TRUE(unannounced.Listen());
  TKtDebugLog log(nullptr, FName);
  log.Write("nobody listens");
  EXPECT_EQ(unannounced.Accept(50), nullptr);
  EXPECT_TRUE(viewer.Poll(20).empty());
  EXPECT_EQ(viewer.ConnectionCount(), 0);
}

TEST_F(KtDebugLogTest, AnnouncedViewerReceivesByteExactRecords) {
  TKtDebugLogViewer viewer(FName);
  ASSERT_GT(viewer.Announce(), 0);
  TKtDebugLog log(nullptr, FName);
  log.Write("first line");
  log.Writef("value %d of %s", 42, "test");
  const auto records = ReceiveRecords(viewer, 2);
  ASSERT_EQ(records.size(), 2u);
  EXPECT_TRUE(std::regex_match(records[0], RecordPattern("", "first line"))) << records[0];
  EXPECT_TRUE(std::regex_match(records[1], RecordPattern("", "value 42 of test"))) << records[1];
  EXPECT_EQ(viewer.Received(), "") << "a record ends with '|' and nothing follows it";
}

TEST_F(KtDebugLogTest, RecordCarriesTheThreadsContext) {
  TKtDebugLogViewer viewer(FName);
  ASSERT_GT(viewer.Announce(), 0);
  TKtDebugLog log(nullptr, FName);
  log.PushContext("job");
  log.PushContext("a b");
  EXPECT_EQ(log.ContextText(0), "job,\"a b\"");
  log.Write("with context");
  log.PushContext("x,y");
  log.PushContext("say \"hi\"");
  EXPECT_EQ(log.ContextText(0), "job,\"a b\",\"x,y\",\"say \"\"hi\"\"\"");
  std::string otherThreads;
  std::thread other([&] { otherThreads = log.ContextText(0); });
  other.join();
  EXPECT_EQ(otherThreads, "") << "each thread has a context of its own";
  EXPECT_EQ(log.ContextText(GetCurrentThreadId()), log.ContextText(0));
  log.PopContext("say \"hi\"");
  log.PopContext("x,y");
  log.PopContext("a b");
  log.PopContext("job");
  EXPECT_EQ(log.ContextOf(0), nullptr);
  const auto records = ReceiveRecords(viewer, 1);
  ASSERT_EQ(records.size(), 1u);
  EXPECT_TRUE(std::regex_match(records[0], RecordPattern("job,\"a b\"", "with context"))) << records[0];
}

TEST_F(KtDebugLogTest, ChangedPortIsFollowedOnTheNextWrite) {
  // Two viewers share the announcement: the second one's port replaces the first one's.
  TKtDebugLogViewer first(FName);
  const int firstPort = first.Announce();
  ASSERT_GT(firstPort, 0);
  TKtDebugLog log(nullptr, FName);
  log.Write("to the first port");
  ASSERT_EQ(ReceiveRecords(first, 1).size(), 1u);
  TKtDebugLogViewer second(FName);
  const int secondPort = second.Announce();
  ASSERT_GT(secondPort, 0);
  ASSERT_NE(secondPort, firstPort);
  log.Write("to the second port");
  const auto records = ReceiveRecords(second, 1);
  ASSERT_EQ(records.size(), 1u);
  EXPECT_TRUE(std::regex_match(records[0], RecordPattern("", "to the second port"))) << records[0];
  EXPECT_EQ(KtDebugLogViewerPort(), secondPort);
  EXPECT_TRUE(WaitUntil([&] {
    first.Poll(5);
    return first.ConnectionCount() == 0;
  })) << "the connection to the old port is closed";
  EXPECT_TRUE(first.TakeRecords().empty()) << "nothing more goes to the old port";
}

TEST_F(KtDebugLogTest, WithdrawnViewerIsDisconnected) {
  TKtDebugLogViewer viewer(FName);
  ASSERT_GT(viewer.Announce(), 0);
  TKtDebugLog log(nullptr, FName);
  log.Write("while present");
  ASSERT_EQ(ReceiveRecords(viewer, 1).size(), 1u);
  viewer.Withdraw();
  log.Write("after withdrawal");
  EXPECT_TRUE(WaitUntil([&] {
    viewer.Poll(5);
    return viewer.ConnectionCount() == 0;
  })) << "the log must close its connection once the viewer is gone";
  EXPECT_TRUE(viewer.TakeRecords().empty());
}

TEST_F(KtDebugLogTest, AfterUnitEndWritesDoNothingEvenFromOtherThreads) {
  TKtDebugLogViewer viewer(TestAnnouncementName());
  ASSERT_GT(viewer.Announce(), 0);
  KtDebugWrite("before the end");
  ASSERT_GE(IndexOf(ReceiveUntil(viewer, "before the end"), "before the end"), 0);
  KtDebugLogFinish();
  EXPECT_EQ(KtDebugLogViewerPort(), -1);
  KtDebugWrite("after the end");
  std::thread other([] { KtDebugWrite("from another thread"); });
  other.join();
  TKtDebugLog log(nullptr, TestAnnouncementName());
  log.Write("a log of its own is silenced too");
  // The unloading line is the last one the log may send; anything silenced would follow it.
  auto records = ReceiveUntil(viewer, "Application unloading on Thread");
  ASSERT_GE(IndexOf(records, "Application unloading on Thread"), 0);
  viewer.Poll(50);
  for (auto& r : viewer.TakeRecords()) records.push_back(std::move(r));
  for (const auto& r : records) {
    EXPECT_EQ(r.find("after the end"), std::string::npos) << r;
    EXPECT_EQ(r.find("another thread"), std::string::npos) << r;
    EXPECT_EQ(r.find("of its own"), std::string::npos) << r;
  }
  KtDebugLogStart();
  KtDebugWrite("after the restart");
  const auto restarted = ReceiveUntil(viewer, "after the restart");
  const int loading = IndexOf(restarted, "Application loading on Thread");
  ASSERT_GE(loading, 0);
  EXPECT_GT(IndexOf(restarted, "after the restart"), loading);
}

TEST_F(KtDebugLogTest, UnitEndAndStartWriteTheirLinesInOrder) {
  TKtDebugLogViewer viewer(TestAnnouncementName());
  ASSERT_GT(viewer.Announce(), 0);
  KtThreadsFinish();
  auto records = ReceiveUntil(viewer, "Application unloading on Thread");
  const char* ending[] = {"finalization: KtThreads",
                          "NotifierThread Poll terminated",
                          "Remaining HostThread Count is ",
                          "Exiting with message backlog of ",
                          "Exiting with NotificationItemQueueCount of ",
                          "finalization: KtUtils",
                          "Exiting with g_ParamListCount = ",
                          "Application unloading on Thread "};
  int previous = -1;
  for (const char* line : ending) {
    const int at = IndexOf(records, line);
    EXPECT_GT(at, previous) << line;
    previous = at;
  }
  KtThreadsStart();
  records = ReceiveUntil(viewer, "NotifierThread Poll initiated");
  const char* starting[] = {"Application loading on Thread ", "initialization: KtUtils", "initialization: KtThreads",
                            "NotifierThread Poll initiated"};
  previous = -1;
  for (const char* line : starting) {
    const int at = IndexOf(records, line);
    EXPECT_GT(at, previous) << line;
    previous = at;
  }
  EXPECT_NE(NotifierThread(), nullptr);
}

// Not a valid shared-memory name: the system refuses a slash inside it.
constexpr const char* UnusableName = "no/such/block";

TEST_F(KtDebugLogTest, AnnouncementThatCannotBeHadRaisesOnceThenTheLogIsSilent) {
  TKtDebugLog log(nullptr, UnusableName);
  try {
    log.Write("first");
    FAIL() << "the first write must report the missing block";
  } catch (const EKtMemoryMappedFile& e) {
    EXPECT_EQ(e.Message(), "Could not create memory mapped file");
  }
  EXPECT_NO_THROW(log.Write("second"));
}

TEST_F(KtDebugLogTest, ProcessLogWithoutAnnouncementNeverRaises) {
  KtDebugLogFinish();
  KtDebugLogSetAnnouncementName(UnusableName);
  EXPECT_NO_THROW(KtDebugLogStart()) << "its loading line must not raise";
  EXPECT_NO_THROW(KtDebugWrite("from a thread procedure"));
  KtDebugLogFinish();
  KtDebugLogSetAnnouncementName(TestAnnouncementName());
  KtDebugLogStart();
  TKtDebugLogViewer viewer(TestAnnouncementName());
  ASSERT_GT(viewer.Announce(), 0);
  KtDebugWrite("with a usable block again");
  EXPECT_GE(IndexOf(ReceiveUntil(viewer, "with a usable block again"), "with a usable block again"), 0);
}

TEST(KtMemoryMappedFileTest, PropertiesAreLockedWhileOpenAndCloseNeedsAnOpenBlock) {
  const std::string name = "KtMmfTest." + std::to_string(getpid());
  TKtMemoryMappedFile file(nullptr);
  file.SetGlobalName(name);
  file.SetSize(16);
  void* opened = nullptr;
  void* closing = nullptr;
  file.OnAfterOpen = [&](TObject*, void* Data) { opened = Data; };
  file.OnBeforeClose = [&](TObject*, void* Data) { closing = Data; };
  try {
    file.Close();
    FAIL();
  } catch (const EKtMemoryMappedFile& e) {
    EXPECT_EQ(e.Message(), "Memory mapped file not open");
  }
  void* view = file.View();
  ASSERT_NE(view, nullptr);
  EXPECT_EQ(opened, view);
  EXPECT_TRUE(file.Open());
  try {
    file.SetSize(8);
    FAIL();
  } catch (const EKtMemoryMappedFile& e) {
    EXPECT_EQ(e.Message(), "Can not set Size property on open memory map file");
  }
  try {
    file.SetReadOnly(true);
    FAIL();
  } catch (const EKtMemoryMappedFile& e) {
    EXPECT_EQ(e.Message(), "Can not set ReadOnly property on open memory map file");
  }
  file.Close();
  EXPECT_EQ(closing, view);
  EXPECT_FALSE(file.IsOpen());
  file.SetSize(8);
  EXPECT_EQ(file.Size(), 8);
  TSharedMemory::Unlink(name);
}

TEST(KtMemoryMappedFileTest, BlockWithoutNameOrSizeOrWithABadNameCannotBeCreated) {
  TKtMemoryMappedFile file(nullptr);
  file.SetSize(8);
  for (const std::string name : {"", UnusableName}) {
    file.SetGlobalName(name);
    try {
      file.Open();
      FAIL() << name;
    } catch (const EKtMemoryMappedFile& e) {
      EXPECT_EQ(e.Message(), "Could not create memory mapped file") << name;
    }
    EXPECT_FALSE(file.IsOpen());
  }
}
}  // namespace
