#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>
#include <thread>
#include <vector>

#include "base/Format.h"
#include "tests/ipsock/ClientFixture.h"
#include "tests/support/TestApplication.h"
#include "tests/support/WaitUntil.h"

namespace {
using TStrings = std::vector<std::string>;

// A connected client in line mode whose peer sends what each test gives it.
class ClientLineTest : public ClientTest {
protected:
  void Open(TIpLineTerminator Terminator, bool Strip) {
    Client->SockInits().SetLineTerminator(Terminator);
    Client->SockInits().SetStripLineTerminator(Strip);
    Peer = TPeer(ConnectPeer());
  }
  // Sends Data and waits until Count lines have come.
  TStrings Receive(const std::string& Data, size_t Count) {
    SendAll(Peer.Fd(), Data);
    EXPECT_TRUE(WaitUntil([&] { return Recorder.Lines().size() >= Count; }));
    return Recorder.Lines();
  }
  // Waits until the socket has taken in Count bytes in all.
  bool WaitForReceived(uint32_t Count) {
    return WaitUntil([&] { return Client->DataSocket()->GetStats().BytesReceived >= Count; });
  }

  TPeer Peer;
};

struct TTerminatorCase {
  TIpLineTerminator Terminator;
  bool Strip;
  std::string Sent;
  TStrings Lines;
};

// Keeps the test's name in the runner's listing readable.
void PrintTo(const TTerminatorCase& Case, std::ostream* Out) {
  *Out << "terminator " << static_cast<int>(Case.Terminator) << (Case.Strip ? " stripped" : " kept") << " on "
       << testing::PrintToString(Case.Sent);
}

class ClientTerminatorTest : public ClientLineTest, public testing::WithParamInterface<TTerminatorCase> {};
}  // namespace

TEST_P(ClientTerminatorTest, DeliversEachLineAsTheTerminatorSays) {
  const TTerminatorCase& sample = GetParam();
  Client->SockInits().SetLineTermChar(';');
  Open(sample.Terminator, sample.Strip);
  EXPECT_EQ(Receive(sample.Sent, sample.Lines.size()), sample.Lines);
}

INSTANTIATE_TEST_SUITE_P(
    Terminators, ClientTerminatorTest,
    testing::Values(TTerminatorCase{ltCRLF, false, "AB\r\n", {"AB\r\n"}},
                    TTerminatorCase{ltCRLF, true, "AB\r\n", {"AB"}},
                    TTerminatorCase{ltCRLF, true, "A\nB\r\nC\r\n", {"A\nB", "C"}},
                    TTerminatorCase{ltCRLF, false, "\n\r\n", {"\n\r\n"}},
                    TTerminatorCase{ltCR, false, "AB\rCD\r", {"AB\r", "CD\r"}},
                    TTerminatorCase{ltCR, true, "AB\r\nCD\r", {"AB", "\nCD"}},
                    TTerminatorCase{ltLF, false, "AB\nCD\n", {"AB\n", "CD\n"}},
                    TTerminatorCase{ltLF, true, "AB\r\n\n", {"AB\r", ""}},
                    TTerminatorCase{ltOther, false, "x;y;", {"x;", "y;"}},
                    TTerminatorCase{ltOther, true, "x;;", {"x", ""}}));

TEST_F(ClientLineTest, APairSplitAcrossReceivesStillEndsTheLine) {
  Open(ltCRLF, true);
  SendAll(Peer.Fd(), "AB\r");
  ASSERT_TRUE(WaitForReceived(3));
  EXPECT_TRUE(Recorder.Lines().empty());
  EXPECT_EQ(Receive("\nC\r\n", 2), (TStrings{"AB", "C"}));
}

TEST_F(ClientLineTest, ManyShortLinesArriveWholeAndInOrder) {
  Open(ltCRLF, true);
  TStrings expected;
  std::string sent;
  for (int i = 0; i < 20000; ++i) {
    expected.push_back(Format("line %05d", i));
    sent += expected.back() + "\r\n";
  }
  std::thread writer([&] { SendAll(Peer.Fd(), sent); });
  ASSERT_TRUE(WaitUntil([&] { return Recorder.Lines().size() >= expected.size(); }));
  writer.join();
  EXPECT_EQ(Recorder.Lines(), expected);
}

TEST_F(ClientLineTest, LinesLongerThanTheBufferArriveWhole) {
  Open(ltLF, false);
  std::string first = PatternBytes(20000);
  std::string second = PatternBytes(9000, 3);
  std::replace(first.begin(), first.end(), '\n', ' ');
  std::replace(second.begin(), second.end(), '\n', ' ');
  std::thread writer([&] { SendAll(Peer.Fd(), first + "\n" + second + "\n"); });
  ASSERT_TRUE(WaitUntil([&] { return Recorder.Lines().size() >= 2; }));
  writer.join();
  EXPECT_EQ(Recorder.Lines(), (TStrings{first + "\n", second + "\n"}));
}

TEST_F(ClientLineTest, AnyModeDeliversWhateverArrived) {
  Client->SockInits().SetReceiveMode(rmAny);
  Open(ltCRLF, true);
  const std::string sent = PatternBytes(50000);
  std::thread writer([&] { SendAll(Peer.Fd(), sent); });
  ASSERT_TRUE(WaitUntil([&] {
    const TStrings lines = Recorder.Lines();
    return std::accumulate(lines.begin(), lines.end(), std::string()).size() >= sent.size();
  }));
  writer.join();
  const TStrings lines = Recorder.Lines();
  EXPECT_EQ(std::accumulate(lines.begin(), lines.end(), std::string()), sent);
}

TEST_F(ClientLineTest, FixedLengthLinesWaitForTheirLastByte) {
  Open(ltNone, false);
  const std::string sent = PatternBytes(200);
  EXPECT_EQ(Receive(sent, 2), (TStrings{sent.substr(0, 80), sent.substr(80, 80)}));
  ASSERT_TRUE(WaitForReceived(200));
  EXPECT_EQ(Recorder.Lines().size(), 2u) << "40 bytes wait for more";
  const std::string rest = PatternBytes(40, 9);
  EXPECT_EQ(Receive(rest, 3).back(), sent.substr(160) + rest);
}

TEST_F(ClientLineTest, FixedLengthZeroNeverDeliversAndDiscardsBeyondTheLimit) {
  Client->SockInits().SetFixedLineLength(0);
  Open(ltNone, false);
  const std::string sent = PatternBytes(TIpDataSocket::MaxLineBuffer + 20000);
  std::thread writer([&] { SendAll(Peer.Fd(), sent); });
  ASSERT_TRUE(WaitUntil([&] { return !Recorder.Errors().empty(); }));
  writer.join();
  ASSERT_TRUE(WaitForReceived(static_cast<uint32_t>(sent.size())));
  EXPECT_TRUE(Recorder.Lines().empty());
  const std::vector<TErrorReport> errors = Recorder.Errors();
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_EQ(errors[0].Code, TIpDataSocket::LineTooLongError);
  EXPECT_EQ(errors[0].Text, "Received line too long, exceeds MaxLineBuf");
}

TEST_F(ClientLineTest, AnOverlongLineIsDiscardedAndReceptionGoesOn) {
  Open(ltCRLF, true);
  std::string sent = PatternBytes(TIpDataSocket::MaxLineBuffer + 100000);
  std::replace(sent.begin(), sent.end(), '\n', ' ');
  sent += "tail\r\nnext\r\n";
  std::thread writer([&] { SendAll(Peer.Fd(), sent); });
  ASSERT_TRUE(WaitUntil([&] { return Recorder.Lines().size() >= 2; }));
  writer.join();
  const TStrings lines = Recorder.Lines();
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_LT(lines[0].size(), TIpDataSocket::MaxLineBuffer);
  const size_t tailEnd = sent.size() - std::string("\r\nnext\r\n").size();
  EXPECT_EQ(lines[0], sent.substr(tailEnd - lines[0].size(), lines[0].size()))
      << "the line is the end of what was sent, with nothing lost after the discarded part";
  EXPECT_EQ(lines[1], "next");
  ASSERT_EQ(Recorder.Errors().size(), 1u);
  EXPECT_EQ(Recorder.Errors()[0].Code, 8001);
}

TEST_F(ClientLineTest, ABadTerminatorDeliversNothingAndRaisesNothing) {
  Open(static_cast<TIpLineTerminator>(9), false);
  SendAll(Peer.Fd(), "a\r\nb\n");
  ASSERT_TRUE(WaitForReceived(5));
  WaitUntil([] { return false; }, std::chrono::milliseconds(30));
  EXPECT_TRUE(Recorder.Lines().empty());
  EXPECT_TRUE(Recorder.Errors().empty());
  EXPECT_TRUE(TestApplication().Exceptions().empty());
  EXPECT_TRUE(Client->Connected());
}
