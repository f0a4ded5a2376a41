// Each failure of a run at exactly its limit, counted in steps.
#include "app/DeviceDialogue.h"
#include "tests/app/SequenceFixture.h"
#include "tests/support/TestApplication.h"

using namespace DeviceDialogue;

namespace {
struct TFailureRow {
  const char* Name;
  // The last part of the row's own device address.
  int Host;
  TDeviceBehaviour Behaviour;
  // The state that waits, and how many steps after entering it (or after the send that
  // last restarted its count) the run gives up.
  TPgmState Waiting;
  int StepsToFail;
  TPgmState FailedTo;
  const char* Memo;
};

[[maybe_unused]] void PrintTo(const TFailureRow& Row, std::ostream* Out) { *Out << Row.Name; }

class SequenceFailure : public SequenceTest, public testing::WithParamInterface<TFailureRow> {};

const TFailureRow FailureRows[] = {
    {"NoAcknowledgement", 1, {.AnswerEnable = false}, psAwaitAck, 501, psFailed, "Could Not Enable Programming"},
    {"AcknowledgementTwiceInOneLine",
     2,
     {.EnableReply = "ACK MASTER BL ACK MASTER BL"},
     psAwaitAck,
     502,  // the discarded line itself restarts the count
     psFailed,
     "Could Not Enable Programming"},
    {"NoSyncEcho", 3, {.EchoSync = false}, psAwaitSyncEcho, 101, psFailed, "Could Not Sync to Bootloader"},
    {"NoVersionLine", 4, {.AnswerVersion = false}, psAwaitVersion, 25, psFailed, "Could Not Sync to Master Bootloader"},
    {"OtherUnitsVersion", 5, {.Version = "S12"}, psAwaitVersion, 25, psFailed, "Could Not Sync to Master Bootloader"},
    {"NoEraseReply", 6, {.SilentFromRecord = 1}, psDump, 101, psFailed, "Program Timeout Error"},
    {"NoRecordReply", 7, {.SilentFromRecord = 3}, psDump, 101, psFailed, "Program Timeout Error"},
    {"NoRestartReply", 8, {.AnswerRestart = false}, psAwaitRestart, 101, psFinish, "Failed to Restart"},
};

std::string RowName(const testing::TestParamInfo<TFailureRow>& Info) { return Info.param.Name; }
}  // namespace

TEST_P(SequenceFailure, GivesUpExactlyAtItsLimit) {
  const TFailureRow& row = GetParam();
  CreateDevice("127.61.1." + std::to_string(row.Host));
  UseBehaviour(row.Behaviour);
  Form->lbledtMaster.SetText(WriteProgram("master.hex", 3));
  Form->cbMaster.SetChecked(true);
  ConnectWindow();
  Form->btnProgram.Click();
  ASSERT_TRUE(StepUntil([&] { return Form->Session().PgmState() == row.Waiting; }));
  // In the dump the count restarts with each record sent: wait for the last send.
  const uint64_t sentBefore = Form->Link()->BytesSent();
  int steps = 0;
  uint64_t sent = sentBefore;
  while (Form->Session().PgmState() == row.Waiting && steps < 1000) {
    Step();
    ++steps;
    if (Form->Link()->BytesSent() != sent) {
      sent = Form->Link()->BytesSent();
      steps = 0;
    }
  }
  EXPECT_EQ(steps, row.StepsToFail) << "one step less still waits";
  EXPECT_EQ(Form->Session().PgmState(), row.FailedTo);
  EXPECT_EQ(Memo().back(), row.Memo);
  ASSERT_TRUE(RunToEnd());
  EXPECT_EQ(Memo().back(), row.Memo) << "the log is kept while the link stands";
  EXPECT_EQ(Device->Received().find(RecRestart) != std::string::npos, row.FailedTo == psFinish)
      << "the restart record goes out only when the dump succeeded";
  EXPECT_TRUE(Form->gbProgram.Enabled());
  Form->PgmTimer.Tick();
  EXPECT_TRUE(Form->btnProgram.Enabled()) << "a new run may start";
}

INSTANTIATE_TEST_SUITE_P(Rows, SequenceFailure, testing::ValuesIn(FailureRows), RowName);

TEST_F(SequenceTest, AReplyThatDoesNotEndWithADotIsAProgramError) {
  CreateDevice("127.61.2.1");
  Form->lbledtMaster.SetText(WriteProgram("master.hex", 3));
  Form->cbMaster.SetChecked(true);
  ConnectWindow();
  for (const auto& behaviour : {TDeviceBehaviour{.RefusedRecord = 1}, TDeviceBehaviour{.RefusedRecord = 3},
                                TDeviceBehaviour{.RefusedRecord = 2, .RefuseWithEmptyLine = true}}) {
    UseBehaviour(behaviour);
    Device->ClearReceived();
    Form->PgmTimer.Tick();
    Form->btnProgram.Click();
    ASSERT_TRUE(RunToEnd());
    EXPECT_EQ(Memo().back(), "Program Error");
    EXPECT_EQ(Section2(), "Program Error");
    EXPECT_EQ(Form->lblMstrVers.Caption(), "Status:  Program Error");
    EXPECT_EQ(Device->Received().find(RecRestart), std::string::npos) << "no restart after a failure";
  }
}

TEST_F(SequenceTest, BytesPostponeATimeoutAndStaleOnesAreDroppedByTheFirstSend) {
  CreateDevice("127.61.2.2");
  UseBehaviour({.AnswerEnable = false});
  Form->lbledtMaster.SetText(WriteProgram("master.hex", 1));
  Form->cbMaster.SetChecked(true);
  ConnectWindow();
  // An acknowledgement left over from before the run does not count for it.
  ASSERT_TRUE(Device->Send("OK ACK MASTER BL\r"));
  Form->btnProgram.Click();
  ASSERT_TRUE(StepUntil([&] { return Form->Session().PgmState() == psAwaitAck; }));
  EXPECT_EQ(Form->FRxRing.ReadPos, Form->FRxRing.WritePos);
  int steps = 0;
  while (Form->Session().PgmState() == psAwaitAck && steps < 2000) {
    Step();
    ++steps;
    // A device that keeps sending, even wrong bytes, restarts the wait.
    if (steps == 400) {
      ASSERT_TRUE(Device->Send("x"));
    }
  }
  EXPECT_EQ(steps, 400 + 501);
  EXPECT_EQ(Form->Session().PgmState(), psFailed);
}
