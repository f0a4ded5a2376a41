#include <gtest/gtest.h>

#include <set>

#include "app/DeviceDialogue.h"
#include "base/Exception.h"
#include "tests/app/FormFixture.h"
#include "tests/support/TestApplication.h"

namespace {

TEST_F(FormTest, StartUpShowsTheIdleView) {
  EXPECT_EQ(Form->StatusLine.Panel(0).Text, "No Connection");
  EXPECT_EQ(Form->StatusLine.Panel(0).Width, 150);
  EXPECT_EQ(Form->StatusLine.Panel(1).Text, "");
  EXPECT_EQ(Form->StatusLine.Panel(1).Width, 100);
  EXPECT_EQ(Form->StatusLine.Panel(2).Text, "");
  EXPECT_EQ(Form->StatusLine.Panel(2).Width, 350);
  EXPECT_TRUE(Form->ProgramMemo.Lines().empty()) << "the design text is cleared";
  EXPECT_EQ(Form->lblMstrVers.Caption(), "Status:  ");
  EXPECT_EQ(Form->lblSlaveVers.Caption(), "Status:  ");
  EXPECT_EQ(Form->lblStatus.Caption(), "No Zelmirt Connected");
  EXPECT_FALSE(Form->btnProgram.Enabled());
  EXPECT_FALSE(Form->pbProgram.Visible());
  EXPECT_TRUE(Form->lbledtMaster.Enabled());
  EXPECT_TRUE(Form->lbledtSlave.Enabled());
  EXPECT_FALSE(Form->PgmTimer.Enabled());
  EXPECT_EQ(Form->PgmTimer.Interval(), 100u);
  EXPECT_EQ(Form->FLinkStatus, 0);
  EXPECT_EQ(Form->Session().PgmState(), 0);
  EXPECT_EQ(Form->FCloseState, 0);
  EXPECT_EQ(Form->ProgramLines().Count(), 0);
}

TEST_F(FormTest, ControlsCarryTheirCaptionsTagsAndTabStops) {
  EXPECT_STREQ(TZelmirt_PgmForm::WindowCaption, "Zelmirt Programming Utility - V1.1");
  EXPECT_EQ(Form->cbAll.Caption(), "All");
  EXPECT_EQ(Form->cbAll.Tag(), 7);
  EXPECT_EQ(Form->cbMaster.Tag(), 1);
  EXPECT_EQ(Form->cbSlave.Tag(), 2);
  EXPECT_EQ(Form->btnSelMaster.Tag(), 1);
  EXPECT_EQ(Form->btnSelSlave.Tag(), 2);
  EXPECT_EQ(Form->ledtMasterIP.Caption(), "Master IP Address");
  EXPECT_EQ(Form->lbledtSlave.Caption(), "Program File:");
  EXPECT_EQ(Form->lbledtSlave.LabelSpacing(), 8);
  EXPECT_TRUE(Form->lblStatus.Font().Bold);
  int tabStops = 0;
  for (TControl* control : Form->Controls()) {
    EXPECT_FALSE(control->Name().empty());
    if (control->TabStop()) {
      ++tabStops;
      EXPECT_NE(dynamic_cast<TLabeledEdit*>(control), nullptr) << control->Name() << " is reached by tabbing";
    }
  }
  EXPECT_EQ(tabStops, 3);
}

TEST_F(FormTest, ControlsListParentsBeforeTheirChildren) {
  std::set<const TControl*> listed;
  for (TControl* control : Form->Controls()) {
    if (control->Parent()) {
      EXPECT_TRUE(listed.count(control->Parent())) << control->Name();
    }
    listed.insert(control);
  }
  EXPECT_EQ(listed.size(), 22u);
  EXPECT_EQ(Form->ledtMasterIP.Parent(), &Form->gbUnitStatus);
  EXPECT_EQ(Form->gbMaster.Parent(), &Form->gbProgram);
  EXPECT_EQ(Form->gbSlave.Parent(), &Form->gbProgram);
  EXPECT_EQ(Form->lbledtMaster.Parent(), &Form->gbMaster);
  EXPECT_EQ(Form->cbSlaveBL.Parent(), &Form->gbSlave);
  EXPECT_EQ(Form->gbSlave.Bounds(), (TBounds{80, 120, 453, 69}));
  EXPECT_EQ(Form->ProgramMemo.Align(), TAlign::alBottom);
  EXPECT_EQ(Form->gbProgram.Align(), TAlign::alClient);
}

TEST_F(FormTest, StatusSectionOneFollowsItsTextWithAMinimumWidth) {
  Form->lblSize.SetTextMeasure([](const std::string& Text, TTextTone) { return static_cast<int>(Text.size()) * 10; });
  int repaints = 0;
  Form->StatusLine.SetOnChange([&] { ++repaints; });
  Form->SetStatusSection(1, std::string(20, 'x'));
  EXPECT_EQ(Form->StatusLine.Panel(1).Width, 210);
  Form->SetStatusSection(1, "abc");
  EXPECT_EQ(Form->StatusLine.Panel(1).Width, 100);
  Form->SetStatusSection(2, "Erasing Processor ...");
  EXPECT_EQ(Form->StatusLine.Panel(2).Text, "Erasing Processor ...");
  EXPECT_EQ(Form->StatusLine.Panel(2).Width, 350);
  EXPECT_EQ(repaints, 3);
  EXPECT_THROW(Form->SetStatusSection(3, "x"), EListError);
}

TEST_F(FormTest, LinkStatusWritesSectionTwoOnlyWhenItChanges) {
  Form->SetLinkStatus(1);
  EXPECT_EQ(Form->StatusLine.Panel(2).Text, "Searching for Zelmirt ...");
  Form->SetStatusSection(2, "Starting Program Sequence ...");
  Form->SetLinkStatus(1);
  EXPECT_EQ(Form->StatusLine.Panel(2).Text, "Starting Program Sequence ...");
  const char* texts[] = {"", "Searching for Zelmirt ...", "Connected", "Disconnecting ...", "Disconnected"};
  for (uint8_t index : {2, 3, 4, 0}) {
    Form->SetLinkStatus(index);
    EXPECT_EQ(Form->StatusLine.Panel(2).Text, texts[index]);
    EXPECT_EQ(Form->FLinkStatus, index);
  }
  EXPECT_THROW(Form->SetLinkStatus(5), EListError);
  EXPECT_EQ(Form->FLinkStatus, 0);
}

TEST_F(FormTest, ShowErrorSoundsThenShowsTheText) {
  Form->ShowError("Check Program Settings");
  EXPECT_EQ(TestApplication().ExclamationCount(), 1);
  EXPECT_EQ(TestApplication().MessageBoxes(), std::vector<std::string>{"Check Program Settings"});
}

TEST_F(FormTest, ResetProgramViewRestoresTheIdleLookExceptInThePauseBeforeASlaveRun) {
  EnterPauseBeforeSlaveRun();
  const size_t memoLines = Form->ProgramMemo.Lines().size();
  Form->ResetProgramView();
  EXPECT_EQ(Form->Session().PgmState(), 16);
  EXPECT_EQ(Form->ProgramMemo.Lines().size(), memoLines);
  EXPECT_TRUE(Form->pbProgram.Visible());
  Form->FormCloseQuery();

  EnterRun();
  Form->AppendMemo("Enabling Master Program Mode");
  Form->lblMstrVers.SetCaption("Status:  M12  Programming ...");
  Form->lbledtSlave.SetEnabled(false);
  Form->lblStatus.SetCaption("Zelmirt Connected");
  ASSERT_TRUE(Form->pbProgram.Visible());
  Form->ResetProgramView();
  EXPECT_EQ(Form->Session().PgmState(), 0);
  EXPECT_TRUE(Form->ProgramMemo.Lines().empty());
  EXPECT_EQ(Form->lblMstrVers.Caption(), "Status:  ");
  EXPECT_FALSE(Form->pbProgram.Visible());
  EXPECT_TRUE(Form->lbledtSlave.Enabled());
  EXPECT_EQ(Form->lblStatus.Caption(), "No Zelmirt Connected");
}

TEST_F(FormTest, FormShowStartsTheIdleTick) {
  Form->FormShow();
  EXPECT_TRUE(Form->PgmTimer.Enabled());
  EXPECT_EQ(Form->PgmTimer.Interval(), 100u);
}

// The Program button: connected, idle and valid settings, checked in that order.
class ProgramButtonTest : public FormTest {
protected:
  ProgramButtonTest() {
    MasterFile = Folder.WriteFile("master.hex", ":00000001FF\n");
    Form->lbledtMaster.SetText(MasterFile);
    Form->cbMaster.SetChecked(true);
    Form->FormShow();
  }

  bool EnabledAfterTick() {
    Form->PgmTimer.Tick();
    return Form->btnProgram.Enabled();
  }

  std::string MasterFile;
};

TEST_F(ProgramButtonTest, EnabledOnlyWhileConnectedIdleAndValid) {
  for (uint8_t status : {0, 1, 3, 4}) {
    Form->SetLinkStatus(status);
    EXPECT_FALSE(EnabledAfterTick()) << "link status " << int{status};
  }
  Form->SetLinkStatus(2);
  EXPECT_TRUE(EnabledAfterTick());
  EnterRun();
  EXPECT_FALSE(EnabledAfterTick()) << "during a run";
  TestApplication().SetMessageBoxResult(TModalResult::mrYes);
  ASSERT_TRUE(Form->FormCloseQuery());
  Form->lbledtMaster.SetText(MasterFile);
  EXPECT_TRUE(EnabledAfterTick());
  std::filesystem::remove(MasterFile);
  EXPECT_FALSE(EnabledAfterTick()) << "the selected file is gone";
}

TEST_F(ProgramButtonTest, FileChecksRunOnlyWhenConnectedAndIdle) {
  Form->SetLinkStatus(1);
  Form->PgmTimer.Tick();
  EnterRun();
  const int checksToStart = Form->ValidityChecks;
  Form->PgmTimer.Tick();
  EXPECT_EQ(checksToStart, 1) << "only the click's own check";
  EXPECT_EQ(Form->ValidityChecks, checksToStart) << "none during the run";
  TestApplication().SetMessageBoxResult(TModalResult::mrYes);
  ASSERT_TRUE(Form->FormCloseQuery());
  Form->PgmTimer.Tick();
  EXPECT_EQ(Form->ValidityChecks, checksToStart + 1);
}

TEST_F(ProgramButtonTest, ATickInsideATickIsDropped) {
  Form->SetLinkStatus(2);
  Form->FInTimer = true;
  EXPECT_FALSE(EnabledAfterTick());
  Form->FInTimer = false;
  EXPECT_TRUE(EnabledAfterTick());
  EXPECT_FALSE(Form->FInTimer);
}

// Closing: the question during a run and the bounded wait for the link.
class CloseTest : public FormTest {
protected:
  CloseTest() {
    Form->FormShow();
    Form->SetCloseWaitRound([this] {
      ++Rounds;
      if (TickDuringWait) Form->PgmTimer.Tick();
    });
  }

  int Rounds = 0;
  bool TickDuringWait = true;
};

TEST_F(CloseTest, IdleWindowClosesWithoutAQuestion) {
  EXPECT_TRUE(Form->FormCloseQuery());
  EXPECT_TRUE(TestApplication().MessageBoxes().empty());
}

TEST_F(CloseTest, NoKeepsTheRunGoing) {
  EnterRun();
  TestApplication().SetMessageBoxResult(TModalResult::mrNo);
  EXPECT_FALSE(Form->FormCloseQuery());
  EXPECT_EQ(TestApplication().MessageBoxes(),
            std::vector<std::string>{"Program Sequence in Process - Close Anyway?"});
  EXPECT_EQ(Form->Session().PgmState(), psAwaitAck);
  EXPECT_EQ(Form->PgmTimer.Interval(), 10u);
  EXPECT_TRUE(Form->PgmTimer.Enabled());
}

TEST_F(CloseTest, YesStopsTheRunWithTheIdleTick) {
  EnterRun();
  TestApplication().SetMessageBoxResult(TModalResult::mrYes);
  EXPECT_TRUE(Form->FormCloseQuery());
  EXPECT_EQ(Form->Session().PgmState(), 0);
  ASSERT_TRUE(Form->Session().Verdict());
  EXPECT_EQ(Form->Session().Verdict()->Outcome, TRunOutcome::Interrupted);
  const size_t sent = Channel.Sent.size();
  Form->PgmTimer.Tick();
  EXPECT_EQ(Channel.Sent.size(), sent) << "nothing more is sent";
  EXPECT_EQ(Form->PgmTimer.Interval(), 100u);
  EXPECT_TRUE(Form->PgmTimer.Enabled());
}

TEST_F(CloseTest, WithoutAConnectionTheWaitEndsAtTheFirstTick) {
  Form->SetLinkStatus(2);
  Form->FormClose();
  EXPECT_EQ(Rounds, 1);
  EXPECT_EQ(Form->FCloseState, 2);
  EXPECT_FALSE(Form->PgmTimer.Enabled());
  EXPECT_FALSE(Form->btnProgram.Enabled());
  EXPECT_TRUE(std::filesystem::exists(SettingsPath())) << "the settings are saved first";
}

TEST_F(CloseTest, TheWaitIsBoundedWhenNoTickComes) {
  TickDuringWait = false;
  Form->FormClose();
  EXPECT_EQ(Rounds, 200);
  EXPECT_EQ(Form->FCloseState, 1);
}

TEST_F(CloseTest, AClosingTickDisablesProgramWithoutCheckingTheFiles) {
  Form->lbledtMaster.SetText(Folder.WriteFile("m.hex", ":00000001FF\n"));
  Form->cbMaster.SetChecked(true);
  Form->SetLinkStatus(2);
  Form->PgmTimer.Tick();
  ASSERT_TRUE(Form->btnProgram.Enabled());
  const int checksBefore = Form->ValidityChecks;
  TickDuringWait = false;
  Form->FormClose();
  ASSERT_EQ(Form->FCloseState, 1);
  Form->PgmTimer.Tick();
  EXPECT_FALSE(Form->btnProgram.Enabled());
  EXPECT_EQ(Form->FCloseState, 2);
  EXPECT_EQ(Form->ValidityChecks, checksBefore);
}

TEST_F(CloseTest, AnUnwritableSettingsFileIsReportedAndTheWindowStillCloses) {
  const std::string unwritable = Folder.File("missing-folder/zelmirt-programmer.INI");
  TPgmFormProbe form(unwritable);
  int rounds = 0;
  form.SetCloseWaitRound([&] {
    ++rounds;
    form.PgmTimer.Tick();
  });
  form.FormShow();
  form.FormClose();
  ASSERT_EQ(TestApplication().Exceptions().size(), 1u);
  EXPECT_EQ(TestApplication().Exceptions()[0].rfind("Unable to write to " + unwritable, 0), 0u)
      << TestApplication().Exceptions()[0];
  EXPECT_EQ(form.FCloseState, 2);
  EXPECT_EQ(rounds, 1);
}

}  // namespace
