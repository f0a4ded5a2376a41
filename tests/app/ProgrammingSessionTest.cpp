// The run object alone, through a scripted channel: every way a run ends and the verdict it
// states, including the replies a careless reader would take for acknowledgements.
#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "app/DeviceDialogue.h"
#include "app/ProgrammingSession.h"
#include "ipsock/IpExceptions.h"
#include "tests/app/ScriptedChannel.h"
#include "tests/support/TempFolder.h"
#include "tests/support/ZelmirtScript.h"

using namespace DeviceDialogue;

namespace {
using TAnswer = std::function<std::string(const std::string& Text, const std::string& Healthy)>;

// The Index-th record of a three-record test program, counted from 1.
std::string Record(int Index) { return DataRecord(Index - 1); }

// Answers Healthy to every text but the record given, which gets Faulty.
TAnswer ForRecord(int Index, std::string Faulty) {
  return [Index, Faulty](const std::string& Text, const std::string& Healthy) {
    return Text == Record(Index) ? Faulty : Healthy;
  };
}

TAnswer ForText(std::string Which, std::string Faulty) {
  return [Which, Faulty](const std::string& Text, const std::string& Healthy) {
    return Text == Which ? Faulty : Healthy;
  };
}

struct TSessionCase {
  const char* Name = "";
  bool Slave = false;
  TAnswer Answer{};
  // Raised instead of sending this record, when set.
  int FailSendOfRecord = 0;
  std::function<void()> SendFailure{};
  TRunOutcome Outcome = TRunOutcome::Other;
  uint8_t Unit = 0;
  int32_t RecordIndex = -1;
  std::string Reply{};
  // A line the log must hold.
  std::string LogLine{};
};

class ProgrammingSessionTest : public testing::TestWithParam<TSessionCase> {
protected:
  ProgrammingSessionTest() : Session(Channel) {
    TSessionEvents events;
    events.OnMemoLine = [this](const std::string& Line, bool) { Log.push_back(Line); };
    events.OnVerdict = [this](const TRunVerdict& Verdict) {
      ++Verdicts;
      Stated = Verdict;
    };
    Session.SetEvents(std::move(events));
  }

  TSessionRequest Request(bool Slave) {
    std::string program;
    for (int i = 1; i <= 3; ++i) program += Record(i) + "\n";
    program += ":00000001FF\n";
    TSessionRequest request;
    request.Master = true;
    request.Slave = Slave;
    request.MasterFile = Folder.WriteFile("master.hex", program);
    request.SlaveFile = Folder.WriteFile("slave.hex", program);
    return request;
  }

  // Steps until the run is over; the number of steps it took.
  int RunToEnd() {
    int steps = 0;
    while (Session.Active() && steps < 5000) {
      Session.ProgramStep();
      ++steps;
    }
    return steps;
  }

  bool Logged(const std::string& Line) const { return std::find(Log.begin(), Log.end(), Line) != Log.end(); }

  TTempFolder Folder;
  TScriptedChannel Channel;
  TProgrammingSession Session;
  std::vector<std::string> Log;
  int Verdicts = 0;
  std::optional<TRunVerdict> Stated;
};

TEST_P(ProgrammingSessionTest, TheRunStatesHowItEnded) {
  const TSessionCase& row = GetParam();
  Channel.Answer = row.Answer;
  if (row.FailSendOfRecord != 0) {
    Channel.Answer = [this, row](const std::string& Text, const std::string& Healthy) {
      // The send of the record before the failing one arms the failure for the next send.
      if (Text == Record(row.FailSendOfRecord - 1)) Channel.FailNextSend = row.SendFailure;
      return Healthy;
    };
  }
  Session.Start(Request(row.Slave));
  RunToEnd();
  ASSERT_FALSE(Session.Active());
  ASSERT_EQ(Verdicts, 1) << "one verdict per run";
  ASSERT_TRUE(Session.Verdict());
  const TRunVerdict& verdict = *Session.Verdict();
  EXPECT_EQ(verdict.Outcome, row.Outcome) << verdict.Message;
  EXPECT_EQ(verdict.Unit, row.Unit);
  EXPECT_EQ(verdict.RecordIndex, row.RecordIndex);
  EXPECT_EQ(verdict.Reply, row.Reply);
  if (!row.LogLine.empty()) {
    EXPECT_TRUE(Logged(row.LogLine)) << row.LogLine;
  }
  // What the events stated is what the run keeps.
  EXPECT_EQ(Stated->Outcome, verdict.Outcome);
  if (verdict.Succeeded()) {
    ASSERT_EQ(verdict.Units.size(), row.Slave ? 2u : 1u);
    for (const TUnitVerdict& unit : verdict.Units) {
      EXPECT_EQ(unit.Outcome, TRunOutcome::Programmed);
      EXPECT_EQ(unit.RecordsToSend, 4);
      EXPECT_EQ(unit.RecordsAcknowledged, 4);
    }
    EXPECT_EQ(verdict.Units[0].Version, "M12");
  }
}

const std::string Refusal2 = Record(2) + "!";
const std::string Refusal3 = Record(3) + "!";

INSTANTIATE_TEST_SUITE_P(
    EveryEnd, ProgrammingSessionTest,
    testing::Values(
        TSessionCase{.Name = "HealthyMaster", .Outcome = TRunOutcome::Programmed, .Unit = 0, .RecordIndex = -1},
        TSessionCase{.Name = "HealthyMasterAndSlave", .Slave = true, .Outcome = TRunOutcome::Programmed, .Unit = 0,
                     .RecordIndex = -1},
        TSessionCase{.Name = "NoAcknowledgement", .Answer = ForText(CmdEnableMasterBL, ""),
                     .Outcome = TRunOutcome::EnableFailed, .Unit = MasterTarget, .RecordIndex = -1,
                     .LogLine = "Could Not Enable Programming"},
        TSessionCase{.Name = "NoSyncEcho", .Answer = ForText(SyncByte, ""), .Outcome = TRunOutcome::SyncFailed,
                     .Unit = MasterTarget, .RecordIndex = -1},
        TSessionCase{.Name = "SlaveVersionFromTheMaster", .Slave = true,
                     .Answer = ForText(RecVersion, std::string(RecVersion) + "M12.\r"),
                     .Outcome = TRunOutcome::VersionFailed, .Unit = SlaveTarget, .RecordIndex = -1,
                     .Reply = std::string(RecVersion) + "M12."},
        TSessionCase{.Name = "RefusedRecord", .Answer = ForRecord(2, Refusal2 + "\r"),
                     .Outcome = TRunOutcome::ProgramError, .Unit = MasterTarget, .RecordIndex = 2,
                     .Reply = Refusal2, .LogLine = "Program Error"},
        TSessionCase{.Name = "FailedToRestartInAnswerToARecord", .Answer = ForRecord(2, "Failed to Restart\r"),
                     .Outcome = TRunOutcome::ProgramError, .Unit = MasterTarget, .RecordIndex = 2,
                     .Reply = "Failed to Restart"},
        TSessionCase{.Name = "StrayDotLineBeforeARefusal", .Answer = ForRecord(2, "OK.\r" + Refusal2 + "\r"),
                     .Outcome = TRunOutcome::ProgramError, .Unit = MasterTarget, .RecordIndex = 2,
                     .Reply = Refusal2, .LogLine = Refusal2},
        TSessionCase{.Name = "StrayDotLineBeforeTheLastRecordsRefusal",
                     .Answer = ForText(":00000001FF", "OK.\r:00000001FF!\r"), .Outcome = TRunOutcome::ProgramError,
                     .Unit = MasterTarget, .RecordIndex = 4, .Reply = ":00000001FF!", .LogLine = ":00000001FF!"},
        TSessionCase{.Name = "LateDuplicateBeforeARefusal",
                     .Answer = ForRecord(3, Record(2) + ".\r" + Refusal3 + "\r"),
                     .Outcome = TRunOutcome::ProgramError, .Unit = MasterTarget, .RecordIndex = 3,
                     .Reply = Record(2) + ".", .LogLine = Refusal3},
        TSessionCase{.Name = "NoReplyToARecord", .Answer = ForRecord(2, ""), .Outcome = TRunOutcome::ProgramTimeout,
                     .Unit = MasterTarget, .RecordIndex = 2, .LogLine = "Program Timeout Error"},
        TSessionCase{.Name = "NoRestartAcknowledgement", .Answer = ForText(RecRestart, ""),
                     .Outcome = TRunOutcome::RestartFailed, .Unit = MasterTarget, .RecordIndex = -1},
        TSessionCase{.Name = "SendAfterTheConnectionWent", .FailSendOfRecord = 3,
                     .SendFailure = [] { throw EConnectionGone("WinSock Error (10054)"); },
                     .Outcome = TRunOutcome::ConnectionLost, .Unit = MasterTarget, .RecordIndex = -1},
        TSessionCase{.Name = "SendRefusedByTheConnection", .FailSendOfRecord = 3,
                     .SendFailure = [] { throw EIpWinSockError(10055, "send"); },
                     .Outcome = TRunOutcome::SendFailed, .Unit = MasterTarget, .RecordIndex = -1},
        TSessionCase{.Name = "RepliesFasterThanTheRingHolds",
                     .Answer = ForRecord(2, std::string(RxRing::Size + 10, 'x')), .Outcome = TRunOutcome::Other,
                     .Unit = MasterTarget, .RecordIndex = -1,
                     .LogLine = "Receive Buffer Overflow: more than 4095 bytes unread"}),
    [](const testing::TestParamInfo<TSessionCase>& Info) { return std::string(Info.param.Name); });

TEST_F(ProgrammingSessionTest, ADeviceThatFollowsTheDialogueGetsTheSameBytesInTheSameSteps) {
  Session.Start(Request(false));
  const int steps = RunToEnd();
  std::vector<std::string> expected = {std::string(CmdEnableMasterBL) + "\n", SyncByte, RecVersion, RecErase};
  for (int i = 1; i <= 3; ++i) expected.push_back(Record(i));
  expected.insert(expected.end(), {":00000001FF", RecRestart});
  EXPECT_EQ(Channel.Sent, expected);
  // 1 enable + 1 ack + 50 sync pause + 1 echo + 5 query pause + 1 version + 1 erase + 5 replies
  // + 19 more of the complete pause (its count goes on from the last reply's step) + 1 restart
  // + 1 acknowledgement + 1 restarted + 1 finish.
  EXPECT_EQ(steps, 88);
  EXPECT_EQ(Channel.TimerInterval, 100u) << "the tick is back at idle";
}

TEST_F(ProgrammingSessionTest, ALostConnectionBetweenTheUnitsNamesTheSlaveAndOnlyOnce) {
  Session.Start(Request(true));
  while (Session.PgmState() != psAwaitNextTarget && Session.Active()) Session.ProgramStep();
  ASSERT_EQ(Session.PgmState(), psAwaitNextTarget);
  Session.Abandon(TRunOutcome::ConnectionLost, "connection lost during the run");
  Session.Abandon(TRunOutcome::Interrupted, "too late");
  ASSERT_EQ(Verdicts, 1);
  const TRunVerdict& verdict = *Session.Verdict();
  EXPECT_EQ(verdict.Outcome, TRunOutcome::ConnectionLost);
  EXPECT_EQ(verdict.Unit, SlaveTarget);
  ASSERT_EQ(verdict.Units.size(), 2u);
  EXPECT_EQ(verdict.Units[0].Outcome, TRunOutcome::Programmed);
}

TEST_F(ProgrammingSessionTest, AFinishWithTheConnectionDownAfterTheMasterLeavesTheSlaveUnprogrammed) {
  Session.Start(Request(true));
  while (Session.PgmState() != psRestarted && Session.Active()) Session.ProgramStep();
  Channel.Up = false;
  RunToEnd();
  EXPECT_EQ(Session.Verdict()->Outcome, TRunOutcome::ConnectionLost);
  EXPECT_EQ(Session.Verdict()->Unit, SlaveTarget);
}
}  // namespace

namespace {
TEST_F(ProgrammingSessionTest, TheLimitScaleStretchesEveryLimitButNoPause) {
  Channel.Answer = ForText(RecVersion, "");
  Session.SetLimitScale(4);
  Session.Start(Request(false));
  int syncPause = 0;
  int versionWait = 0;
  while (Session.Active()) {
    const uint8_t state = Session.PgmState();
    Session.ProgramStep();
    if (state == psSyncDelay) ++syncPause;
    if (state == psAwaitVersion) ++versionWait;
  }
  EXPECT_EQ(syncPause, 50) << "the pause keeps its length";
  EXPECT_EQ(versionWait, 100) << "25 steps times 4";
  EXPECT_EQ(Session.Verdict()->Outcome, TRunOutcome::VersionFailed);
  EXPECT_THROW(Session.SetLimitScale(0.5), EConvertError);
  EXPECT_THROW(Session.SetLimitScale(21), EConvertError);
}
}  // namespace

TEST(ProgrammingSessionReplyTest, AReplyLineIsReadWholeWhereverItLiesInTheRing) {
  struct TCase {
    const char* Name;
    // Where the unread bytes begin; they run past the ring's end when it is near.
    int32_t Start;
    std::string Bytes;
    bool Complete;
    std::string Reply;
    // The unread bytes left once the line (or what there is of it) was read.
    int32_t Left;
  };
  const int32_t nearEnd = RxRing::Size - 4;
  const std::vector<TCase> cases = {
      {"whole line", 0, ":0100000307F5.\r", true, ":0100000307F5.", 0},
      {"line feeds are dropped", 0, "\nACK\n MASTER BL\r", true, "ACK MASTER BL", 0},
      {"no terminator yet", 0, "ACK MAS", false, "ACK MAS", 0},
      {"only the first of two lines", 0, "A.\rB.\r", true, "A.", 3},
      {"across the ring's end", nearEnd, "ACK MASTER BL\r", true, "ACK MASTER BL", 0},
      {"terminator as the ring's last byte", nearEnd, "ABC\rDE\r", true, "ABC", 3},
      {"terminator as the ring's first byte", nearEnd, "ABCD\rX", true, "ABCD", 1},
      {"line feed at the ring's end", nearEnd, "AB\n\nCD\r", true, "ABCD", 0},
      {"unfinished across the ring's end", nearEnd, "ACK MAS", false, "ACK MAS", 0},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    TScriptedChannel channel;
    channel.Ring.ReadPos = c.Start;
    channel.Ring.WritePos = c.Start;
    channel.Arrive(c.Bytes);
    TProgrammingSession session(channel);
    EXPECT_EQ(session.ReadReplyLine(), c.Complete);
    EXPECT_EQ(session.Reply(), c.Reply);
    const RxRing& ring = channel.Ring;
    EXPECT_EQ((ring.WritePos - ring.ReadPos + RxRing::Size) % RxRing::Size, c.Left);
  }
}
