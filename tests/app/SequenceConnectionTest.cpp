// A run and the connection under it: lost, absent, and the window closing.
#include "app/DeviceDialogue.h"
#include "tests/app/SequenceFixture.h"
#include "tests/support/TestApplication.h"
#include "tests/support/WaitUntil.h"

using namespace DeviceDialogue;

TEST_F(SequenceTest, ALostConnectionEndsARunAndReturnsTheWindowToIdle) {
  CreateDevice("127.61.3.1");
  UseBehaviour({.SilentFromRecord = 3});
  Form->lbledtMaster.SetText(WriteProgram("master.hex", 3));
  Form->cbMaster.SetChecked(true);
  ConnectWindow();
  Form->btnProgram.Click();
  ASSERT_TRUE(StepUntil([&] { return Form->Session().LineIndex() == 2; }));
  ASSERT_TRUE(Device->DropConnection());
  ASSERT_TRUE(WaitUntil([&] { return Form->Session().PgmState() == psIdle; }, std::chrono::seconds(10)));
  EXPECT_TRUE(Memo().empty());
  EXPECT_EQ(Form->StatusLine.Panel(0).Text, "Disconnected");
  EXPECT_EQ(Section2(), "Searching for Zelmirt ...");
  EXPECT_EQ(Form->lblStatus.Caption(), "No Zelmirt Connected");
  EXPECT_TRUE(Form->gbProgram.Enabled());
  EXPECT_TRUE(Form->gbUnitStatus.Enabled());
  EXPECT_EQ(Form->PgmTimer.Interval(), 100u);
  EXPECT_EQ(Form->Link()->Client()->TimerInterval(), 100u);
  Form->PgmTimer.Tick();
  EXPECT_FALSE(Form->btnProgram.Enabled()) << "not before the link is back";
}

TEST_F(SequenceTest, TheSlaveRunAfterAPauseThatLostTheConnectionEndsOnTheFailedSend) {
  CreateDevice("127.61.3.2");
  Form->lbledtMaster.SetText(WriteProgram("master.hex", 1));
  Form->lbledtSlave.SetText(WriteProgram("slave.hex", 1));
  Form->cbAll.SetChecked(true);
  ConnectWindow();
  Form->btnProgram.Click();
  ASSERT_TRUE(StepUntil([&] { return Form->Session().PgmState() == psAwaitNextTarget; }));
  ASSERT_TRUE(Device->DropConnection());
  ASSERT_TRUE(WaitUntil([&] { return Form->FLinkStatus == 1; }, std::chrono::seconds(10)));
  EXPECT_EQ(Form->Session().PgmState(), psAwaitNextTarget) << "the pause goes on";

  ASSERT_TRUE(StepUntil([&] { return Form->Session().PgmState() == psEnable; }, 60));
  Step();
  EXPECT_EQ(Form->Session().PgmState(), psFailed);
  EXPECT_EQ(Memo().back(), "Could Not Send to Zelmirt: Socket not assigned");
  EXPECT_FALSE(Form->FInTimer);
  ASSERT_TRUE(RunToEnd(5));
  EXPECT_TRUE(Memo().empty()) << "a run that ends with the link down resets the view";
  EXPECT_EQ(Section2(), "Disconnected");
  EXPECT_TRUE(Form->gbProgram.Enabled());
  EXPECT_EQ(Form->PgmTimer.Interval(), 100u);
  EXPECT_EQ(Device->Received().find(CmdEnableSlaveBL), std::string::npos);
}

TEST_F(SequenceTest, ClosingDuringARunAsksAndOnlyYesEndsIt) {
  CreateDevice("127.61.3.3");
  Form->lbledtMaster.SetText(WriteProgram("master.hex", 20));
  Form->cbMaster.SetChecked(true);
  ConnectWindow();
  Form->btnProgram.Click();
  ASSERT_TRUE(StepUntil([&] { return Form->Session().LineIndex() == 5; }));

  TestApplication().SetMessageBoxResult(TModalResult::mrNo);
  EXPECT_FALSE(Form->FormCloseQuery());
  EXPECT_EQ(TestApplication().MessageBoxes().back(), "Program Sequence in Process - Close Anyway?");
  EXPECT_EQ(Form->Session().PgmState(), psDump);
  ASSERT_TRUE(StepUntil([&] { return Form->Session().LineIndex() == 10; })) << "the run goes on";

  TestApplication().SetMessageBoxResult(TModalResult::mrYes);
  const uint64_t sentBeforeYes = Form->Link()->BytesSent();
  ASSERT_TRUE(Form->FormCloseQuery());
  EXPECT_EQ(Form->Session().PgmState(), psIdle);
  EXPECT_EQ(Form->PgmTimer.Interval(), 100u);
  EXPECT_EQ(Form->Link()->Client()->TimerInterval(), 100u);

  // Closing: the link drops, and what it still reports changes nothing.
  const std::string section0 = Form->StatusLine.Panel(0).Text;
  Form->FormClose();
  EXPECT_EQ(Form->FCloseState, 2);
  EXPECT_FALSE(Form->Link()->Connected());
  WaitUntil([] { return false; }, std::chrono::milliseconds(200));
  EXPECT_EQ(Form->StatusLine.Panel(0).Text, section0);
  EXPECT_EQ(Form->FLinkStatus, 2);
  EXPECT_EQ(Device->Received().size(), sentBeforeYes) << "nothing sent after Yes";
}

TEST_F(SequenceTest, ProgramWhileTheLinkIsBeingReAddressedStartsNoRun) {
  CreateDevice("127.61.3.4");
  Form->lbledtMaster.SetText(WriteProgram("master.hex", 2));
  Form->cbMaster.SetChecked(true);
  ConnectWindow();
  // The operator leaves the IP field with another address and clicks at once: the old
  // connection still stands until the link's next tick withdraws it. That tick runs on the
  // link's own thread; a round in which it came before the click shows nothing about the
  // window's status, so the operator goes back to the device and tries again.
  bool clickedWhileStillConnected = false;
  for (int round = 0; round < 5 && !clickedWhileStillConnected; ++round) {
    ASSERT_TRUE(Form->btnProgram.Enabled());
    Form->ledtMasterIP.SetText("127.61.3.5");
    Form->ledtMasterIPExit(&Form->ledtMasterIP);
    ASSERT_EQ(Section2(), "Disconnecting ...");
    Form->btnProgramClick(&Form->btnProgram);
    // Only this thread's messages bring a link back to Connected: up now means up at the click.
    clickedWhileStillConnected = Form->Link()->Connected();
    EXPECT_EQ(TestApplication().MessageBoxes().back(), "Not Connected to Zelmirt");
    EXPECT_FALSE(Form->Session().Active());
    EXPECT_TRUE(Form->gbProgram.Enabled());
    if (!clickedWhileStillConnected) {
      Form->ledtMasterIP.SetText(DeviceAddress);
      Form->ledtMasterIPExit(&Form->ledtMasterIP);
      Form->Link()->AttemptNow();
      ASSERT_TRUE(WaitUntil([&] { return Form->FLinkStatus == 2; }, std::chrono::seconds(30)));
      Form->PgmTimer.Tick();
    }
  }
  EXPECT_TRUE(clickedWhileStillConnected) << "the link's tick withdrew the connection before every click";
  EXPECT_EQ(Device->Received(), "") << "nothing goes to the device being left";
}

TEST_F(SequenceTest, AConnectionResetDuringThePauseThenAGoodSlaveRunIsAProgrammedRun) {
  CreateDevice("127.61.3.6");
  Form->lbledtMaster.SetText(WriteProgram("master.hex", 1));
  Form->lbledtSlave.SetText(WriteProgram("slave.hex", 1));
  Form->cbAll.SetChecked(true);
  ConnectWindow();
  Form->btnProgram.Click();
  ASSERT_TRUE(StepUntil([&] { return Form->Session().PgmState() == psAwaitNextTarget; }));
  ASSERT_TRUE(Device->DropConnection(true));
  ASSERT_TRUE(WaitUntil([&] { return Form->FLinkStatus == 1; }, std::chrono::seconds(10)));
  // The link reconnects by itself before the pause is over.
  ASSERT_TRUE(WaitUntil([&] { return Form->FLinkStatus == 2; }, std::chrono::seconds(30)));
  ASSERT_TRUE(RunToEnd());
  ASSERT_TRUE(Form->Session().Verdict());
  const TRunVerdict& verdict = *Form->Session().Verdict();
  EXPECT_EQ(verdict.Outcome, TRunOutcome::Programmed) << verdict.Message;
  ASSERT_EQ(verdict.Units.size(), 2u);
  EXPECT_EQ(verdict.Units[1].Unit, SlaveTarget);
  EXPECT_EQ(Memo().back(), "Zelmirt Restarted");
  EXPECT_EQ(Form->lblSlaveVers.Tone(), TTextTone::ttSuccess);
}
