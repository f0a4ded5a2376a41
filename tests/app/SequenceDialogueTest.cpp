// Whole runs against a scripted device: the bytes it receives and what the operator sees.
#include <functional>
#include <map>

#include "app/DeviceDialogue.h"
#include "app/ProgramFileCheck.h"
#include "ipsock/IpWinSockAccess.h"
#include "tests/app/SequenceFixture.h"
#include "tests/support/WaitUntil.h"

using namespace DeviceDialogue;

namespace {
// The distinct texts a control showed, in order, starting with the one it had.
class TTextLog {
public:
  TTextLog(TControl& Control, std::function<std::string()> Text) : FText(std::move(Text)) {
    FTexts.push_back(FText());
    Control.SetOnChange([this] {
      if (FText() != FTexts.back()) FTexts.push_back(FText());
    });
  }
  const std::vector<std::string>& Texts() const { return FTexts; }

private:
  std::function<std::string()> FText;
  std::vector<std::string> FTexts;
};

std::string Lf(const std::string& Text) { return Text + "\n"; }
}  // namespace

TEST_F(SequenceTest, AMasterRunSpeaksTheDialogueAndShowsEachStage) {
  CreateDevice("127.61.0.1");
  Form->lbledtMaster.SetText(WriteProgram("master.hex", 3));
  Form->cbMaster.SetChecked(true);
  ConnectWindow();
  TTextLog sections(Form->StatusLine, [&] { return Section2(); });
  TTextLog version(Form->lblMstrVers, [&] { return Form->lblMstrVers.Caption(); });
  ASSERT_TRUE(Form->btnProgram.Enabled());
  Form->btnProgram.Click();
  EXPECT_EQ(Form->PgmTimer.Interval(), 10u);
  EXPECT_EQ(Form->Link()->Client()->TimerInterval(), 10u);
  EXPECT_FALSE(Form->gbProgram.Enabled());
  EXPECT_FALSE(Form->lbledtSlave.Enabled());
  ASSERT_TRUE(RunToEnd());

  EXPECT_EQ(Device->Received(),
            Lf(CmdEnableMasterBL) + SyncByte + RecVersion + RecErase + Records(3, false) + RecRestart);
  std::vector<std::string> memo = {"Enabling Master Program Mode", "Program Mode Enabled",
                                   std::string(RecVersion) + "M12.", "Erasing Processor ...",
                                   std::string(RecErase) + ".", "Beginning Program Dump ..."};
  std::string records = Records(3, false);
  for (size_t at = 0; at < records.size();) {
    const size_t next = records.find(':', at + 1);
    memo.push_back(records.substr(at, next - at) + ".");
    at = next == std::string::npos ? records.size() : next;
  }
  memo.insert(memo.end(), {"Zelmirt Master Processor Programmed", std::string(RecRestart) + ".", "Zelmirt Restarted"});
  EXPECT_EQ(Memo(), memo);
  EXPECT_EQ(sections.Texts(),
            (std::vector<std::string>{"Connected", "Starting Program Sequence ...", "Syncing to Master Bootloader ...",
                                      "Erasing Processor ...", "Programing Master ...", "Master Program Complete",
                                      "Restarting Zelmirt ...", "Zelmirt Restarted"}));
  EXPECT_EQ(version.Texts(), (std::vector<std::string>{"Status:  ", "Status:  M12  Programming ...",
                                                        "Status:  Program Complete"}));
  EXPECT_EQ(Form->pbProgram.Position(), 100);
  EXPECT_FALSE(Form->pbProgram.Visible());
  EXPECT_TRUE(Form->gbProgram.Enabled());
  EXPECT_TRUE(Form->gbUnitStatus.Enabled());
  EXPECT_TRUE(Form->lbledtSlave.Enabled());
  EXPECT_EQ(Form->PgmTimer.Interval(), 100u);
  EXPECT_EQ(Form->Link()->Client()->TimerInterval(), 100u);
  Form->PgmTimer.Tick();
  EXPECT_TRUE(Form->btnProgram.Enabled()) << "a new run may start";
}

TEST_F(SequenceTest, ASlaveRunEndsEveryTextWithALineFeed) {
  CreateDevice("127.61.0.2");
  Form->lbledtSlave.SetText(WriteProgram("slave.hex", 2));
  Form->cbSlave.SetChecked(true);
  ConnectWindow();
  Form->btnProgram.Click();
  EXPECT_FALSE(Form->lbledtMaster.Enabled());
  ASSERT_TRUE(RunToEnd());
  EXPECT_EQ(Device->Received(), Lf(CmdEnableSlaveBL) + Lf(RecVersion) + Lf(RecErase) + Records(2, true) +
                                    Lf(RecRestart));
  EXPECT_EQ(Memo().back(), "Zelmirt Restarted");
  EXPECT_EQ(Form->lblSlaveVers.Caption(), "Status:  Program Complete");
}

TEST_F(SequenceTest, AllProgramsTheMasterThenTheSlaveFiftySlowTicksLater) {
  CreateDevice("127.61.0.3");
  Form->lbledtMaster.SetText(WriteProgram("master.hex", 2));
  Form->lbledtSlave.SetText(WriteProgram("slave.hex", 1));
  Form->cbAll.SetChecked(true);
  ConnectWindow();
  Form->btnProgram.Click();
  ASSERT_TRUE(StepUntil([&] { return Form->Session().PgmState() == psAwaitNextTarget; }));
  EXPECT_EQ(Form->PgmTimer.Interval(), 100u);
  // Whatever the device sends meanwhile does not shorten the pause.
  Device->Send("noise\r");
  int pause = 0;
  while (Form->Session().PgmState() == psAwaitNextTarget && pause < 100) {
    Step();
    ++pause;
  }
  EXPECT_EQ(pause, 50);
  EXPECT_EQ(Form->Session().Target(), SlaveTarget);
  EXPECT_EQ(Form->PgmTimer.Interval(), 10u);
  ASSERT_TRUE(RunToEnd());
  const std::string master = Lf(CmdEnableMasterBL) + SyncByte + RecVersion + RecErase + Records(2, false) + RecRestart;
  const std::string slave = Lf(CmdEnableSlaveBL) + Lf(RecVersion) + Lf(RecErase) + Records(1, true) + Lf(RecRestart);
  EXPECT_EQ(Device->Received(), master + slave);
  EXPECT_EQ(Form->Session().NextTarget(), 0) << "no third run";
  EXPECT_EQ(Form->lblMstrVers.Caption(), "Status:  Program Complete");
  EXPECT_EQ(Form->lblSlaveVers.Caption(), "Status:  Program Complete");
}

TEST_F(SequenceTest, RecoveryRunsSyncAtOnceAndUncheckTheirBoxOnlyOnSuccess) {
  CreateDevice("127.61.0.4");
  Form->lbledtMaster.SetText(WriteProgram("master.hex", 1));
  Form->lbledtSlave.SetText(WriteProgram("slave.hex", 1));
  Form->cbMaster.SetChecked(true);
  Form->cbMasterBL.SetChecked(true);
  ConnectWindow();

  // A failed recovery keeps the box for the next try.
  UseBehaviour({.RefusedRecord = 2});
  Form->btnProgram.Click();
  ASSERT_TRUE(RunToEnd());
  EXPECT_EQ(Memo().back(), "Program Error");
  EXPECT_TRUE(Form->cbMasterBL.Checked());
  EXPECT_EQ(Device->Received().substr(0, 1), SyncByte) << "no enable command";

  UseBehaviour({});
  Device->ClearReceived();
  Form->PgmTimer.Tick();
  Form->btnProgram.Click();
  ASSERT_TRUE(RunToEnd());
  EXPECT_EQ(Device->Received(), std::string(SyncByte) + RecVersion + RecErase + Records(1, false) + RecRestart);
  EXPECT_FALSE(Form->cbMasterBL.Checked());

  Form->cbSlave.SetChecked(true);
  Form->cbMaster.SetChecked(false);
  Form->cbSlaveBL.SetChecked(true);
  Device->ClearReceived();
  Form->PgmTimer.Tick();
  Form->btnProgram.Click();
  ASSERT_TRUE(RunToEnd());
  EXPECT_EQ(Device->Received().substr(0, 14), Lf(CmdSyncSlaveBL));
  EXPECT_EQ(Memo().back(), "Zelmirt Restarted");
  EXPECT_FALSE(Form->cbSlaveBL.Checked());
}

TEST_F(SequenceTest, ProgressCountsSentRecordsAndAFileWithNothingToSendIsRefusedBeforeTheErase) {
  CreateDevice("127.61.0.5");
  Form->cbMaster.SetChecked(true);
  ConnectWindow();
  for (const auto& [records, firstPercent] : {std::pair{99, 1}, std::pair{2, 33}}) {
    Form->lbledtMaster.SetText(WriteProgram("master.hex", records));
    Form->PgmTimer.Tick();
    Form->btnProgram.Click();
    ASSERT_TRUE(StepUntil([&] { return Form->Session().LineIndex() == 1; }));
    EXPECT_EQ(Form->pbProgram.Position(), firstPercent) << records + 1 << " records";
    ASSERT_TRUE(RunToEnd());
  }

  // Only records that are never sent: no run may erase the unit for it.
  Form->lbledtMaster.SetText(Folder.WriteFile(
      "empty.hex", ":10700000FFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFF90\r\n:04F80000010203040A\r\n:00000001FF\r\n"));
  Device->ClearReceived();
  Form->PgmTimer.Tick();
  EXPECT_THROW(Form->btnProgram.Click(), EProgramFileError);
  EXPECT_FALSE(Form->Session().Active());
  Step();
  EXPECT_EQ(Device->Received(), "");
}

TEST_F(SequenceTest, AVersionLineIsTakenFromItsFirstColonOnAndOnlyForItsOwnUnit) {
  CreateDevice("127.61.0.6");
  Form->lbledtMaster.SetText(WriteProgram("master.hex", 1));
  Form->cbMaster.SetChecked(true);
  ConnectWindow();
  UseBehaviour({.VersionPrefix = "BL v"});
  Form->btnProgram.Click();
  ASSERT_TRUE(RunToEnd());
  EXPECT_EQ(Memo()[2], "BL v" + std::string(RecVersion) + "M12.");
  EXPECT_EQ(Memo().back(), "Zelmirt Restarted");

  UseBehaviour({.Version = "S12"});
  Form->PgmTimer.Tick();
  Form->btnProgram.Click();
  ASSERT_TRUE(RunToEnd());
  EXPECT_EQ(Memo().back(), "Could Not Sync to Master Bootloader");
}

// The fast dump acts on each reply as it arrives: the whole dump goes through without a
// tick, while every pause still lasts its ticks and the device receives the same bytes.
TEST_F(SequenceTest, FastDumpSendsEveryRecordWithoutATickAndKeepsEveryPauseInTicks) {
  CreateDevice("127.61.0.40");
  Form->SetFastDump(true);
  Form->lbledtMaster.SetText(WriteProgram("master.hex", 200));
  Form->cbMaster.SetChecked(true);
  ConnectWindow();
  ASSERT_TRUE(Form->Link()->PromptReceive());
  int noDelay = 0;
  int size = sizeof noDelay;
  ASSERT_EQ(WinSockAccess().getsockopt()(Form->Link()->Client()->SocketHandle(), WS_IPPROTO_TCP, WS_TCP_NODELAY,
                                         reinterpret_cast<char*>(&noDelay), &size),
            0);
  EXPECT_NE(noDelay, 0) << "each record goes out at once, without Nagle's wait";
  // The ticks that each state saw.
  std::map<uint8_t, int> ticksIn;
  const std::function<void()> tick = Form->PgmTimer.OnTimer;
  Form->PgmTimer.OnTimer = [&] {
    ++ticksIn[Form->Session().PgmState()];
    tick();
  };
  Form->btnProgram.Click();
  ASSERT_TRUE(StepUntil([&] { return Form->Session().PgmState() == psDump; }));
  EXPECT_EQ(ticksIn[psSyncDelay], 50);

  // No tick from here until the dump is over: only the replies move it on.
  ASSERT_TRUE(WaitUntil([&] { return Form->Session().PgmState() != psDump; }, std::chrono::seconds(30)))
      << "the dump stopped at record " << Form->Session().LineIndex();
  ASSERT_EQ(Form->Session().PgmState(), psCompleteDelay) << "the run ended at record " << Form->Session().LineIndex() << ": "
                                              << Section2() << " " << Form->StatusLine.Panel(0).Text;
  EXPECT_EQ(Form->Session().TickCount(), 0) << "a step run for data counts no tick";
  EXPECT_EQ(Form->RecordsAcknowledged(), 201);
  EXPECT_EQ(ticksIn[psDump], 0);

  ASSERT_TRUE(RunToEnd());
  EXPECT_EQ(ticksIn[psCompleteDelay], 20);
  EXPECT_EQ(Device->Received(),
            Lf(CmdEnableMasterBL) + SyncByte + RecVersion + RecErase + Records(200, false) + RecRestart);
  ASSERT_FALSE(Memo().empty());
  EXPECT_EQ(Memo().back(), "Zelmirt Restarted");
}
