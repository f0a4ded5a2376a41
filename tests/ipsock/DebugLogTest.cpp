#include <gtest/gtest.h>

#include <sys/utsname.h>

#include <atomic>
#include <cstring>
#include <deque>
#include <thread>
#include <vector>

#include "ipsock/IpDebugLog.h"
#include "ipsock/IpDebugText.h"
#include "platform/Clock.h"
#include "platform/Files.h"
#include "tests/ipsock/SocketTestSupport.h"

namespace {
class TManualClock : public TClockSource {
public:
  int64_t PerformanceCounter() override { return int64_t{Now.load()} * 1'000'000; }
  int64_t PerformanceFrequency() override { return 1'000'000'000; }
  uint32_t TickCount() override { return Now.load(); }
  std::atomic<uint32_t> Now{1000};
};

constexpr uint32_t Header = TIpDebugLog::HeaderSize;

class DebugLogTest : public testing::Test {
protected:
  void AddText(const std::string& Text) { Log.AddDataEntry(nullptr, 0, IpTextEntry, Text.data(), Text.size()); }
  void AddBytes(uint32_t Socket, uint32_t Length, uint8_t Seed) {
    std::vector<uint8_t> data(Length);
    for (uint32_t i = 0; i < Length; ++i) data[i] = static_cast<uint8_t>(Seed + i * 31);
    Log.AddDataEntry(nullptr, Socket, IpTextEntry, data.data(), Length);
  }
  // Takes the oldest entry and checks that it is the one AddBytes made.
  void ExpectBytes(uint32_t Socket, uint32_t Length, uint8_t Seed) {
    TIpDebugEntry entry;
    ASSERT_TRUE(Log.TakeEntry(entry));
    EXPECT_EQ(entry.Socket, Socket);
    EXPECT_EQ(entry.Type, IpTextEntry);
    ASSERT_EQ(entry.Value2, Length);
    for (uint32_t i = 0; i < Length; ++i)
      ASSERT_EQ(entry.Data()[i], static_cast<uint8_t>(Seed + i * 31)) << "byte " << i;
  }
  size_t EntryCount() {
    size_t count = 0;
    TIpDebugEntry entry;
    while (Log.TakeEntry(entry)) ++count;
    return count;
  }

  TTemporaryFolder Folder;
  TManualClock Clock;
  TScopedClockSource Installed{Clock};
  TIpDebugLog Log{nullptr};
};

// The header as this system must show it: the kernel's numbers and release text as uname
// gives them, the start-up texts of the socket library's newer file (version 2.2).
std::string ExpectedHeader() {
  utsname name{};
  EXPECT_EQ(::uname(&name), 0);
  const std::string release = name.release;
  const size_t firstPoint = release.find('.');
  const std::string major = release.substr(0, firstPoint);
  const std::string minor = release.substr(firstPoint + 1, release.find_first_not_of("0123456789", firstPoint + 1) -
                                                               firstPoint - 1);
  return "IP Socket Engine v1.15 compiled with Unknown Compiler\r\n"
         "Operating System : Unknown" + major + "." + minor + " " + release + "\r\n"
         "Description : POSIX sockets (Winsock shim)\r\n"
         "Negotiated Version : $0202\r\n"
         "System Status : Running\r\n" +
         std::string(77, '=') + "\r\n\r\n";
}
}  // namespace

TEST_F(DebugLogTest, StartsDisabledWithItsDefaults) {
  EXPECT_FALSE(Log.Enabled());
  EXPECT_EQ(Log.BufferSize(), 65536u);
  EXPECT_EQ(Log.FileName(), "debug.log");
  EXPECT_EQ(Log.WriteMode(), wmOverwrite);
  EXPECT_EQ(Log.StartTick(), 1000u);
  AddText("ignored");
  EXPECT_TRUE(Log.IsBufferEmpty());
  Log.SetEnabled(false);
  EXPECT_TRUE(Log.IsBufferEmpty());
}

TEST_F(DebugLogTest, EnablingAndDisablingRecordEntries) {
  Log.SetEnabled(true);
  Log.SetEnabled(true);
  Log.SetEnabled(false);
  Log.SetEnabled(false);
  std::vector<uint32_t> types;
  TIpDebugEntry entry;
  while (Log.TakeEntry(entry)) types.push_back(entry.Type);
  EXPECT_EQ(types, (std::vector<uint32_t>{IpLogEnabledEntry, IpLogEnabledEntry, IpLogDisabledEntry}));
}

TEST_F(DebugLogTest, FileHoldsHeaderTimePrefixesAndEntriesByteForByte) {
  Log.SetEnabled(true);
  Clock.Now = 2234;
  AddText("hello");
  Log.AddEntry(nullptr, 7, IpTelnetEntry, 2, 253 * 256 + 24);
  Clock.Now = 3000;
  Log.SetEnabled(false);
  Log.WriteToFile();
  EXPECT_TRUE(Log.IsBufferEmpty());
  EXPECT_EQ(ReadWholeFile("debug.log"), ExpectedHeader() +
                                            "0000.000 : **** Logging Enabled\r\n\r\n"
                                            "0001.234 : hello\r\n"
                                            "0001.234 : [7] Telnet DO terminal type sent.\r\n"
                                            "0002.000 : **** Logging Disabled\r\n\r\n");
}

TEST_F(DebugLogTest, AppendModeAddsToAnExistingFileWithoutASecondHeader) {
  WriteWholeFile("debug.log", "old contents\r\n");
  Log.SetWriteMode(wmAppend);
  Log.SetEnabled(true);
  AddText("more");
  Log.WriteToFile();
  EXPECT_EQ(ReadWholeFile("debug.log"), "old contents\r\n0000.000 : **** Logging Enabled\r\n\r\n0000.000 : more\r\n");

  Log.SetFileName("fresh.log");
  AddText("first");
  Log.WriteToFile();
  EXPECT_EQ(ReadWholeFile("fresh.log"), ExpectedHeader() + "0000.000 : first\r\n");
}

TEST_F(DebugLogTest, OverwriteModeReplacesTheFile) {
  WriteWholeFile("debug.log", "old contents\r\n");
  Log.SetEnabled(true);
  Log.WriteToFile();
  EXPECT_EQ(ReadWholeFile("debug.log"), ExpectedHeader() + "0000.000 : **** Logging Enabled\r\n\r\n");
}

TEST_F(DebugLogTest, AFileThatCannotBeWrittenKeepsTheEntriesBuffered) {
  Log.SetFileName("no-such-folder/debug.log");
  Log.SetEnabled(true);
  AddText("kept");
  EXPECT_THROW(Log.WriteToFile(), EFileError);
  EXPECT_FALSE(Log.IsBufferEmpty());
  Log.SetWriteMode(wmAppend);
  EXPECT_THROW(Log.WriteToFile(), EFileError);
  Log.SetFileName("debug.log");
  Log.WriteToFile();
  EXPECT_EQ(ReadWholeFile("debug.log"), ExpectedHeader() + "0000.000 : **** Logging Enabled\r\n\r\n0000.000 : kept\r\n");
}

TEST_F(DebugLogTest, SmallRingKeepsOnlyTheNewestEntries) {
  Log.SetBufferSize(100);
  Log.SetEnabled(true);
  AddBytes(1, 30, 10);
  AddBytes(2, 30, 20);
  ExpectBytes(2, 30, 20);
  EXPECT_TRUE(Log.IsBufferEmpty());
  // Larger than the ring: dropped, and nothing else is lost for it.
  AddBytes(3, 10, 30);
  AddBytes(4, 100 - Header + 1, 40);
  ExpectBytes(3, 10, 30);
  EXPECT_TRUE(Log.IsBufferEmpty());
}

// A ring holds one byte less than its size: an entry of the whole ring cannot be stored,
// so it must not push out the entries that are there.
TEST_F(DebugLogTest, AnEntryOfTheWholeRingIsDroppedAndTheOlderOnesStay) {
  Log.SetBufferSize(100);
  Log.SetEnabled(true);
  ASSERT_EQ(EntryCount(), 1u);
  AddBytes(1, 10, 5);
  AddBytes(2, 100 - Header, 0);
  ExpectBytes(1, 10, 5);
  EXPECT_TRUE(Log.IsBufferEmpty());
  // One byte less fits, and takes the whole ring for itself.
  AddBytes(3, 10, 6);
  AddBytes(4, 100 - Header - 1, 7);
  EXPECT_EQ(Log.FreeSpace(), 0u);
  ExpectBytes(4, 100 - Header - 1, 7);
  EXPECT_TRUE(Log.IsBufferEmpty());
}

TEST_F(DebugLogTest, EntriesCrossingTheEndReadBackIdentical) {
  Log.SetBufferSize(100);
  Log.SetEnabled(true);
  EXPECT_EQ(EntryCount(), 1u);
  // Every write position comes round, so headers and data are split at every offset.
  for (uint32_t i = 0; i < 400; ++i) {
    // Both entries fit the ring together: (Header + 32) + (Header + 3) < 100.
    const uint32_t length = (i * 7) % 33;
    AddBytes(i, length, static_cast<uint8_t>(i));
    AddBytes(i + 1000, 3, static_cast<uint8_t>(i + 1));
    ExpectBytes(i, length, static_cast<uint8_t>(i));
    ExpectBytes(i + 1000, 3, static_cast<uint8_t>(i + 1));
    ASSERT_TRUE(Log.IsBufferEmpty());
  }
}

TEST_F(DebugLogTest, AnEntryEndingAtTheRingsEndIsFollowedFromItsStart) {
  Log.SetBufferSize(100);
  Log.SetEnabled(true);
  ASSERT_EQ(EntryCount(), 1u);
  AddBytes(1, 50 - Header, 1);
  ExpectBytes(1, 50 - Header, 1);
  AddBytes(2, 100 - 50 - Header, 2);
  Log.AddEntry(nullptr, 3, IpTelnetEntry, 1, 251 * 256 + 1);
  EXPECT_EQ(Log.FreeSpace(), 100 - Header - 50 - 1);
  ExpectBytes(2, 100 - 50 - Header, 2);
  TIpDebugEntry entry;
  ASSERT_TRUE(Log.TakeEntry(entry));
  EXPECT_EQ(entry.Socket, 3u);
  EXPECT_EQ(entry.Type, IpTelnetEntry);
  EXPECT_TRUE(Log.IsBufferEmpty());
}

TEST_F(DebugLogTest, WrappingEntriesLargerThanTheStagingBufferRoundTrip) {
  Log.SetBufferSize(8192);
  Log.SetEnabled(true);
  ASSERT_EQ(EntryCount(), 1u);
  for (uint32_t i = 0; i < 20; ++i) {
    AddBytes(i, 3000 + i, static_cast<uint8_t>(i));
    ExpectBytes(i, 3000 + i, static_cast<uint8_t>(i));
  }
  TIpDebugEntry none;
  EXPECT_FALSE(Log.TakeEntry(none));
}

TEST_F(DebugLogTest, ResizingTheRingEmptiesIt) {
  Log.SetEnabled(true);
  EXPECT_FALSE(Log.IsBufferEmpty());
  Log.SetBufferSize(4096);
  EXPECT_TRUE(Log.IsBufferEmpty());
  EXPECT_EQ(Log.FreeSpace(), 4095u);
  AddBytes(1, 100, 0);
  Log.ClearBuffer();
  EXPECT_TRUE(Log.IsBufferEmpty());
}

TEST_F(DebugLogTest, ConcurrentEntriesAreNeverTorn) {
  Log.SetBufferSize(16384);
  Log.SetEnabled(true);
  std::atomic<bool> done{false};
  std::vector<std::thread> writers;
  for (uint32_t t = 1; t <= 4; ++t)
    writers.emplace_back([&, t] {
      for (uint32_t n = 0; n < 3000; ++n) AddBytes(t, 1 + (n % 97), static_cast<uint8_t>(t * 40 + n));
    });
  std::thread stopper([&] {
    for (std::thread& w : writers) w.join();
    done = true;
  });
  size_t checked = 0;
  TIpDebugEntry entry;
  while (!done || !Log.IsBufferEmpty()) {
    Log.Lock();
    if (Log.TakeEntry(entry) && entry.Type == IpTextEntry) {
      // Each entry's bytes follow from its first byte; a torn entry would break the run.
      for (uint32_t i = 1; i < entry.Value2; ++i)
        ASSERT_EQ(entry.Data()[i], static_cast<uint8_t>(entry.Data()[0] + i * 31));
      ASSERT_GE(entry.Socket, 1u);
      ASSERT_LE(entry.Socket, 4u);
      ++checked;
    }
    Log.Unlock();
  }
  stopper.join();
  EXPECT_GT(checked, 0u);
}

TEST(DebugLogText, TimePrefixes) {
  EXPECT_EQ(DebugTimePrefix(0), "0000.000 : ");
  EXPECT_EQ(DebugTimePrefix(1234), "0001.234 : ");
  EXPECT_EQ(DebugTimePrefix(9999999), "9999.999 : ");
  EXPECT_EQ(DebugTimePrefix(10000000), "1000.0000 : ");
}

TEST(DebugLogText, TelnetEntries) {
  EXPECT_EQ(TelnetEntryText(7, 2, 253 * 256 + 24), "[7] Telnet DO terminal type sent.");
  EXPECT_EQ(TelnetEntryText(1, 1, 251 * 256 + 0), "[1] Telnet WILL transmit binary received.");
  EXPECT_EQ(TelnetEntryText(1, 1, 252 * 256 + 49), "[1] Telnet WON'T FORWARD_X received.");
  EXPECT_EQ(TelnetEntryText(1, 3, 254 * 256 + 50), "[1] Telnet DON'T [50] [00000003]");
  EXPECT_EQ(TelnetEntryText(2, 2, 250 * 256 + 31), "[2] Telnet [250] negotiate about window size sent.");
}

TEST(DebugLogText, EntriesWithoutARenderer) {
  const char text[] = "as is\r\n";
  TIpDebugEntry entry{nullptr, 0, 9, IpTextEntry, reinterpret_cast<uintptr_t>(text), 7};
  EXPECT_EQ(DebugEntryText(entry), "as is\r\n");
  entry = TIpDebugEntry{nullptr, 0, 7, 5, 1, 2};
  EXPECT_EQ(DebugEntryText(entry), "!!!! Unknown log entry : [7][00000005][00000001][00000002]\r\n");
  entry = TIpDebugEntry{&TIpBaseComponent::FormatDebugEntry, 0, 7, 5, 1, 2};
  EXPECT_EQ(DebugEntryText(entry), "!!!! Unhandled log entry\n\r");
}

TEST(DebugLogText, DataEntriesAndHexDump) {
  const uint8_t one[] = {'A'};
  std::string text;
  FormatDataEntry(7, IpReadDataEntry, one, 1, text);
  EXPECT_EQ(text,
            "Read - 1 byte read from socket 7\r\n"
            "  000000: 41                       "
            "                        : A               \r\n");
  std::vector<uint8_t> twenty(20);
  for (size_t i = 0; i < twenty.size(); ++i) twenty[i] = static_cast<uint8_t>(i < 16 ? i * 17 : 'Q' + (i - 16));
  const std::string dump = HexDump(twenty.data(), 20);
  ASSERT_EQ(dump.size(), 2u * 79);
  EXPECT_EQ(dump.substr(0, 79),
            "  000000: 00 11 22 33 44 55 66 77  88 99 AA BB CC DD EE FF : ..\"3DUfw........\r\n");
  EXPECT_EQ(dump.substr(79),
            "  000010: 51 52 53 54                                      : QRST            \r\n");
  EXPECT_EQ(HexDump(twenty.data(), 0), "");

  FormatDataEntry(3, IpWriteDataEntry, twenty.data(), 2, text);
  EXPECT_EQ(text.substr(0, text.find("\r\n")), "Write - 2 bytes written to socket 3");
  FormatDataEntry(3, IpRecvDataEntry, twenty.data(), 20, text);
  EXPECT_EQ(text.substr(0, text.find("\r\n") + 2), "[3] Recv API: 20 bytes read\r\n");
  EXPECT_EQ(text.size(), 29u + 2 * 79);
  FormatDataEntry(3, IpSendDataEntry, twenty.data(), 1, text);
  EXPECT_EQ(text.substr(0, text.find("\r\n")), "[3] Send API: 1 byte written");
  text = "unchanged";
  FormatDataEntry(3, 0x80000009u, twenty.data(), 1, text);
  EXPECT_EQ(text, "unchanged");
}

TEST_F(DebugLogTest, RenderedDataEntriesReachTheFile) {
  Log.SetEnabled(true);
  const std::string payload = "xy";
  Log.AddDataEntry(&FormatDataEntry, 5, IpReadDataEntry, payload.data(), 2);
  Log.SetEnabled(false);
  Log.WriteToFile();
  const std::string contents = ReadWholeFile("debug.log");
  EXPECT_NE(contents.find("0000.000 : Read - 2 bytes read from socket 5\r\n  000000: 78 79 "), std::string::npos);
  EXPECT_EQ(contents.substr(contents.size() - 36), "0000.000 : **** Logging Disabled\r\n\r\n");
}
