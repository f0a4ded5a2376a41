#include <gtest/gtest.h>

#include <cctype>
#include <sstream>
#include <thread>
#include <vector>

#include "ipsock/IpDateTimeFormat.h"
#include "ipsock/IpEventLog.h"
#include "platform/Files.h"
#include "platform/LocalTime.h"
#include "tests/ipsock/SocketTestSupport.h"

namespace {
class EventLogTest : public testing::Test {
protected:
  void SetUp() override {
    Log.SetFileName("event.log");
    Log.SetDateTimeFormat("yyyy.mm.dd hh:nn:ss");
  }
  TTemporaryFolder Folder;
  TIpEventLog Log{nullptr};
};

// The text after a "yyyy.mm.dd hh:nn:ss " stamp; empty when the line has no such stamp.
std::string AfterStamp(const std::string& Line) {
  const std::string shape = "0000.00.00 00:00:00 ";
  if (Line.size() < shape.size()) return std::string();
  for (size_t i = 0; i < shape.size(); ++i) {
    const bool digit = std::isdigit(static_cast<unsigned char>(Line[i])) != 0;
    if (shape[i] == '0' ? !digit : Line[i] != shape[i]) return std::string();
  }
  return Line.substr(shape.size());
}

std::vector<std::string> Lines(const std::string& Contents) {
  std::vector<std::string> lines;
  size_t start = 0;
  for (size_t end; (end = Contents.find("\r\n", start)) != std::string::npos; start = end + 2)
    lines.push_back(Contents.substr(start, end - start));
  EXPECT_EQ(start, Contents.size()) << "the last line has no \\r\\n";
  return lines;
}
}  // namespace

TEST_F(EventLogTest, WritesNothingWhileDisabled) {
  TIpEventLog fresh(nullptr);
  EXPECT_FALSE(fresh.Enabled());
  EXPECT_EQ(fresh.DateTimeFormat(), "");
  Log.AppendEvent("Connect: Loc: 1.2.3.4:5 Rem: 6.7.8.9:10");
  EXPECT_FALSE(FileExists("event.log"));
}

TEST_F(EventLogTest, AppendsOneTimeStampedLinePerEvent) {
  WriteWholeFile("event.log", "earlier\r\n");
  Log.SetEnabled(true);
  const std::string before = FormatDateTime("yyyy.mm.dd hh:nn:ss", LocalTimeNow());
  Log.AppendEvent("Connect: Loc: 10.0.0.5:1025 Rem: 10.0.0.9:4001");
  Log.AppendEvent("Close:   Loc: 10.0.0.5:1025 Rem: 10.0.0.9:4001");
  const std::string after = FormatDateTime("yyyy.mm.dd hh:nn:ss", LocalTimeNow());
  const std::vector<std::string> lines = Lines(ReadWholeFile("event.log"));
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[0], "earlier");
  EXPECT_EQ(AfterStamp(lines[1]), "Connect: Loc: 10.0.0.5:1025 Rem: 10.0.0.9:4001") << lines[1];
  EXPECT_EQ(AfterStamp(lines[2]), "Close:   Loc: 10.0.0.5:1025 Rem: 10.0.0.9:4001") << lines[2];
  // The stamp is the local time of the event; this pattern sorts like the time it shows.
  for (size_t i = 1; i < 3; ++i) {
    const std::string stamp = lines[i].substr(0, before.size());
    EXPECT_LE(before, stamp);
    EXPECT_LE(stamp, after);
  }
}

TEST_F(EventLogTest, LinesFromSeveralThreadsNeverInterleave) {
  Log.SetEnabled(true);
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t)
    threads.emplace_back([&, t] {
      for (int n = 0; n < 50; ++n) Log.AppendEvent("thread " + std::to_string(t) + " event " + std::to_string(n));
    });
  for (std::thread& thread : threads) thread.join();
  const std::vector<std::string> lines = Lines(ReadWholeFile("event.log"));
  ASSERT_EQ(lines.size(), 200u);
  std::vector<int> perThread(4);
  for (const std::string& line : lines) {
    const std::string text = AfterStamp(line);
    ASSERT_EQ(text.rfind("thread ", 0), 0u) << line;
    const int thread = text[7] - '0';
    ASSERT_TRUE(thread >= 0 && thread < 4) << line;
    EXPECT_EQ(text.substr(8), " event " + std::to_string(perThread[thread]++)) << line;
  }
}

TEST_F(EventLogTest, AFileThatCannotBeOpenedRaises) {
  Log.SetFileName("missing-folder/event.log");
  Log.SetEnabled(true);
  EXPECT_THROW(Log.AppendEvent("lost"), EFileError);
}

TEST(DateTimeFormat, PatternLetters) {
  const TLocalTime time{2024, 5, 17, 14, 3, 59, 7};
  EXPECT_EQ(FormatDateTime("yyyy.mm.dd hh:nn:ss", time), "2024.05.17 14:03:59");
  EXPECT_EQ(FormatDateTime("d/m/yy h:n:s.zzz", time), "17/5/24 14:3:59.007");
  EXPECT_EQ(FormatDateTime("hh:mm", time), "14:03");
  EXPECT_EQ(FormatDateTime("'at' hh \"o'clock\" [x]", time), "at 14 o'clock [x]");
  EXPECT_EQ(FormatDateTime("", time), "");
  EXPECT_EQ(FormatDateTime("'unclosed", time), "unclosed");
}
