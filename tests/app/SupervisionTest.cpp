// The window's view of the connection: searching, re-addressing, connected and lost.
#include "tests/app/SequenceFixture.h"
#include "tests/support/WaitUntil.h"

TEST_F(SequenceTest, TheWindowShowsTheConnectionAsTheLinkReportsIt) {
  CreateDevice("127.61.4.2");
  Form->lbledtMaster.SetText(WriteProgram("master.hex", 1));
  Form->cbMaster.SetChecked(true);
  Form->ledtMasterIP.SetText("127.61.4.1");  // nothing answers there
  Form->FormShow();
  EXPECT_EQ(Form->Link()->Address(), "127.61.4.1");
  EXPECT_TRUE(Form->PgmTimer.Enabled());
  WaitUntil([] { return false; }, std::chrono::milliseconds(300));
  Form->PgmTimer.Tick();
  EXPECT_EQ(Form->StatusLine.Panel(0).Text, "No Connection");
  EXPECT_EQ(Section2(), "Searching for Zelmirt ...");
  EXPECT_EQ(Form->lblStatus.Caption(), "No Zelmirt Connected");
  EXPECT_FALSE(Form->btnProgram.Enabled());

  // Leaving the field unchanged does nothing; a new text re-addresses the link.
  Form->ledtMasterIP.Exit();
  EXPECT_EQ(Section2(), "Searching for Zelmirt ...");
  Form->ledtMasterIP.SetText("127.61.4.2");
  Form->ledtMasterIP.Exit();
  EXPECT_EQ(Section2(), "Disconnecting ...");
  EXPECT_EQ(Form->Link()->Address(), "127.61.4.2");
  ASSERT_TRUE(WaitUntil([&] { return Form->FLinkStatus == 2; }, std::chrono::seconds(30)));
  EXPECT_EQ(Form->StatusLine.Panel(0).Text, "Connected to 127.61.4.2");
  EXPECT_EQ(Section2(), "Connected");
  EXPECT_EQ(Form->lblStatus.Caption(), "Zelmirt Connected");
  Form->PgmTimer.Tick();
  EXPECT_TRUE(Form->btnProgram.Enabled());

  // Lost while idle: the view returns to its idle look and the search begins again.
  Form->AppendMemo("an earlier run");
  Form->lblMstrVers.SetCaption("Status:  Program Complete");
  ASSERT_TRUE(Device->DropConnection());
  ASSERT_TRUE(WaitUntil([&] { return Form->FLinkStatus == 1; }, std::chrono::seconds(10)));
  EXPECT_TRUE(Memo().empty());
  EXPECT_EQ(Form->lblMstrVers.Caption(), "Status:  ");
  EXPECT_EQ(Form->StatusLine.Panel(0).Text, "Disconnected");
  EXPECT_EQ(Section2(), "Searching for Zelmirt ...");
  Form->PgmTimer.Tick();
  EXPECT_FALSE(Form->btnProgram.Enabled());
}
