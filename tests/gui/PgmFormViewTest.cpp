#include <gtest/gtest.h>

#include <QCheckBox>
#include <QFontInfo>
#include <QGroupBox>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>

#include <vector>

#include "gui/PgmFormView.h"
#include "platform/IniFile.h"
#include "tests/app/PgmFormProbe.h"
#include "tests/app/ScriptedChannel.h"
#include "tests/support/TempFolder.h"
#include "tests/support/TestApplication.h"

namespace {

// The window's widgets as the operator sees them, shown off screen.
class PgmFormViewTest : public testing::Test {
protected:
  PgmFormViewTest() : Form(Folder.File("zelmirt-programmer.INI")), View(Form) {}

  void SetUp() override {
    View.Show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(View.Window()));
  }

  template <class TWidget = QWidget>
  TWidget* Widget(const char* Name) const {
    auto* widget = View.Window()->findChild<TWidget*>(Name);
    EXPECT_NE(widget, nullptr) << Name;
    return widget;
  }

  // The label attached to an edit.
  QLabel* LabelOf(const char* EditName) const {
    const QWidget* edit = Widget(EditName);
    for (QLabel* label : View.Window()->findChildren<QLabel*>())
      if (label->buddy() == edit) return label;
    ADD_FAILURE() << EditName << " has no label";
    return nullptr;
  }

  void ExpectGeometry(const char* Name, QRect Expected) const {
    EXPECT_EQ(Widget(Name)->geometry(), Expected) << Name;
  }
  void ExpectPosition(const char* Name, QPoint Expected) const {
    EXPECT_EQ(Widget(Name)->pos(), Expected) << Name;
  }

  TTempFolder Folder;
  TScriptedChannel Channel;
  TPgmFormProbe Form;
  TPgmFormView View;
};

TEST_F(PgmFormViewTest, ControlsSitWhereTheyWereDesigned) {
  EXPECT_EQ(View.Window()->windowTitle(), "Zelmirt Programming Utility - V1.1");
  EXPECT_EQ(View.Window()->size(), QSize(565, 546));
  // Top, rest, bottom, bottom-most.
  ExpectGeometry("gbUnitStatus", {0, 0, 565, 65});
  ExpectGeometry("gbProgram", {0, 65, 565, 195});
  ExpectGeometry("ProgramMemo", {0, 260, 565, 266});
  ExpectGeometry("StatusLine", {0, 526, 565, 20});

  ExpectGeometry("ledtMasterIP", {12, 32, 105, 21});
  EXPECT_LT(LabelOf("ledtMasterIP")->geometry().bottom(), 32) << "the IP label sits above its edit";
  ExpectGeometry("btnProgram", {80, 12, 75, 25});
  ExpectGeometry("pbProgram", {168, 12, 361, 25});
  ExpectPosition("lblStatus", {168, 18});
  ExpectPosition("cbAll", {20, 20});
  ExpectPosition("cbMaster", {56, 64});
  ExpectPosition("cbSlave", {56, 132});
  ExpectGeometry("gbMaster", {80, 48, 453, 65});
  ExpectGeometry("gbSlave", {80, 120, 453, 69});
  ExpectPosition("lblMstrVers", {16, 16});
  ExpectPosition("lblSlaveVers", {12, 16});
  for (const char* unit : {"Mstr", "Slave"}) {
    const bool master = unit[0] == 'M';
    ExpectGeometry(master ? "lbledtMaster" : "lbledtSlave", {84, 36, 333, 21});
    ExpectGeometry(master ? "btnSelMaster" : "btnSelSlave", {420, 32, 25, 25});
    ExpectPosition(master ? "cbMasterBL" : "cbSlaveBL", {360, 12});
    const QLabel* label = LabelOf(master ? "lbledtMaster" : "lbledtSlave");
    EXPECT_EQ(label->text(), "Program File:");
    EXPECT_EQ(label->geometry().right() + 1 + 8, 84) << "the label ends 8 pixels left of its edit";
  }
  EXPECT_FALSE(Widget("lblSize")->isVisible());
}

TEST_F(PgmFormViewTest, GroupTitlesSitInTheFrameLineAboveTheControls) {
  // Column 300 of a unit group crosses nothing but the frame's top line above the edit:
  // the first pixel that differs from the top row's is that line.
  for (const char* group : {"gbMaster", "gbSlave"}) {
    const QImage image = Widget(group)->grab().toImage();
    const QRgb above = image.pixel(300, 0);
    int line = -1;
    for (int y = 1; y < 30 && line < 0; ++y)
      if (image.pixel(300, y) != above) line = y;
    EXPECT_GE(line, 0) << group << ": no frame line";
    EXPECT_LT(line, 12) << group << ": the frame line would cross the controls at the top (BL Recover at 12)";
  }
}

TEST_F(PgmFormViewTest, TheUnitGroupsAndTheProgressBarStretchWithTheWindow) {
  View.Window()->resize(765, 646);
  ExpectGeometry("gbUnitStatus", {0, 0, 765, 65});
  ExpectGeometry("gbProgram", {0, 65, 765, 295});
  ExpectGeometry("ProgramMemo", {0, 360, 765, 266});
  ExpectGeometry("StatusLine", {0, 626, 765, 20});
  ExpectGeometry("pbProgram", {168, 12, 561, 25});
  ExpectGeometry("gbMaster", {80, 48, 653, 65});
  ExpectGeometry("lbledtMaster", {84, 36, 533, 21});
  ExpectGeometry("btnSelMaster", {620, 32, 25, 25});
  ExpectGeometry("gbSlave", {80, 120, 653, 69});
  ExpectGeometry("btnSelSlave", {620, 32, 25, 25});
  ExpectPosition("btnProgram", {80, 12});
  ExpectPosition("cbMasterBL", {360, 12});
}

TEST_F(PgmFormViewTest, StartUpLooksIdle) {
  const QList<QLabel*> sections = Widget("StatusLine")->findChildren<QLabel*>();
  ASSERT_EQ(sections.size(), 3);
  // Shown, the window is already looking for the device.
  const char* texts[] = {"No Connection", "", "Searching for Zelmirt ..."};
  const int widths[] = {150, 100, 350};
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(sections[i]->text(), texts[i]) << "section " << i;
    EXPECT_EQ(sections[i]->width(), widths[i]) << "section " << i;
  }
  EXPECT_TRUE(Widget<QPlainTextEdit>("ProgramMemo")->toPlainText().isEmpty());
  EXPECT_EQ(Widget<QLabel>("lblMstrVers")->text(), "Status:  ");
  EXPECT_EQ(Widget<QLabel>("lblSlaveVers")->text(), "Status:  ");
  EXPECT_EQ(Widget<QLabel>("lblStatus")->text(), "No Zelmirt Connected");
  EXPECT_FALSE(Widget("btnProgram")->isEnabled());
  EXPECT_FALSE(Widget("pbProgram")->isVisible());
  EXPECT_EQ(Widget<QGroupBox>("gbUnitStatus")->title(), "Zelmirt IP Control");
  EXPECT_EQ(Widget<QGroupBox>("gbMaster")->title(), "Zelmirt Master");
  EXPECT_EQ(Widget<QCheckBox>("cbAll")->text(), "All");
  EXPECT_EQ(Widget<QCheckBox>("cbMaster")->text(), "");
  EXPECT_EQ(Widget<QCheckBox>("cbSlaveBL")->text(), "BL Recover");
  EXPECT_EQ(Widget<QPushButton>("btnSelSlave")->text(), "...");
  EXPECT_EQ(LabelOf("ledtMasterIP")->text(), "Master IP Address");
}

TEST_F(PgmFormViewTest, TheWindowWearsTheProgramsIconAtAnySize) {
  for (const int size : {16, 48, 256}) {
    const QImage icon = View.Window()->windowIcon().pixmap(size, size).toImage();
    ASSERT_EQ(icon.size(), QSize(size, size)) << "the SVG icon is drawn (Qt's SVG plugin is installed)";
    EXPECT_EQ(icon.pixelColor(0, 0).alpha(), 0) << "rounded corners at " << size;
    EXPECT_EQ(icon.pixelColor(size / 2, size / 2).alpha(), 255) << "an opaque face at " << size;
  }
}

TEST_F(PgmFormViewTest, FontsAreTheDesignsOrTheirNearestKin) {
  EXPECT_EQ(View.Window()->font().pointSize(), 8);
  EXPECT_FALSE(View.Window()->font().bold());
  const QFont status = Widget("lblStatus")->font();
  EXPECT_TRUE(status.bold());
  EXPECT_EQ(status.pointSize(), 8);
  const auto* memo = Widget<QPlainTextEdit>("ProgramMemo");
  EXPECT_EQ(memo->font().pointSize(), 8);
  EXPECT_TRUE(QFontInfo(memo->font()).fixedPitch()) << memo->font().family().toStdString();
  EXPECT_TRUE(memo->isReadOnly());
  EXPECT_EQ(memo->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
  EXPECT_EQ(memo->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
}

TEST_F(PgmFormViewTest, TheProgressBarCoversTheStatusLabelWhileShown) {
  auto* program = Widget("gbProgram");
  const QRect label = Widget("lblStatus")->geometry();
  EXPECT_EQ(program->childAt(label.center()), Widget("lblStatus"));
  Form.pbProgram.SetPosition(33);
  Form.pbProgram.SetVisible(true);
  auto* bar = Widget<QProgressBar>("pbProgram");
  EXPECT_TRUE(bar->isVisible());
  EXPECT_TRUE(bar->geometry().contains(label)) << "the label is wider than the bar";
  EXPECT_EQ(program->childAt(label.center()), bar);
  EXPECT_EQ(bar->text(), "33%");
  Form.pbProgram.SetVisible(false);
  EXPECT_EQ(program->childAt(label.center()), Widget("lblStatus"));
}

TEST_F(PgmFormViewTest, TabbingReachesOnlyTheThreeEdits) {
  std::vector<QWidget*> reached;
  QWidget* start = Widget("ledtMasterIP");
  for (QWidget* w = start->nextInFocusChain(); w != start && reached.size() < 100; w = w->nextInFocusChain())
    if ((w->focusPolicy() & Qt::TabFocus) && w->isVisible() && w->isEnabled()) reached.push_back(w);
  EXPECT_EQ(reached, (std::vector<QWidget*>{Widget("lbledtMaster"), Widget("lbledtSlave")}));
}

TEST_F(PgmFormViewTest, CheckBoxClicksGoThroughTheSelectionLogic) {
  auto* all = Widget<QCheckBox>("cbAll");
  auto* master = Widget<QCheckBox>("cbMaster");
  auto* slave = Widget<QCheckBox>("cbSlave");
  all->click();
  EXPECT_EQ(all->checkState(), Qt::Checked);
  EXPECT_EQ(master->checkState(), Qt::PartiallyChecked);
  EXPECT_EQ(slave->checkState(), Qt::PartiallyChecked);
  master->click();
  EXPECT_EQ(all->checkState(), Qt::Unchecked);
  EXPECT_EQ(master->checkState(), Qt::Checked) << "a grayed box that is clicked becomes checked";
  EXPECT_EQ(slave->checkState(), Qt::Unchecked);
  master->click();
  EXPECT_EQ(master->checkState(), Qt::Unchecked) << "an operator's click never grays a box";
  EXPECT_EQ(TIniFile(Form.SettingsFileName()).ReadString("Program", "Selected", "?"), "0");
}

TEST_F(PgmFormViewTest, TypingReachesTheFormAndTheFormsTextsReachTheScreen) {
  auto* address = Widget<QLineEdit>("ledtMasterIP");
  QTest::keyClicks(address, "10.0.0.1");
  EXPECT_EQ(Form.ledtMasterIP.Text(), "10.0.0.1");
  Form.lbledtSlave.SetText("/srv/slave.hex");
  EXPECT_EQ(Widget<QLineEdit>("lbledtSlave")->text(), "/srv/slave.hex");
  Form.AppendMemo("Enabling Master Program Mode");
  Form.AppendMemo("Program Mode Enabled");
  EXPECT_EQ(Widget<QPlainTextEdit>("ProgramMemo")->toPlainText(), "Enabling Master Program Mode\nProgram Mode Enabled");
  Form.ResetProgramView();
  EXPECT_TRUE(Widget<QPlainTextEdit>("ProgramMemo")->toPlainText().isEmpty());
  Form.SetStatusSection(2, "Erasing Processor ...");
  EXPECT_EQ(Widget("StatusLine")->findChildren<QLabel*>()[2]->text(), "Erasing Processor ...");
}

TEST_F(PgmFormViewTest, APastedLineBreakLeavesTheFirstLineOnScreenAndInTheForm) {
  auto* address = Widget<QLineEdit>("ledtMasterIP");
  address->insert("192.168.1.20\n10.0.0.1");
  EXPECT_EQ(Form.ledtMasterIP.Text(), "192.168.1.20");
  EXPECT_EQ(address->text().toStdString(), "192.168.1.20");
}

TEST_F(PgmFormViewTest, TheTickRunsOnceShownAndEnablesProgram) {
  EXPECT_TRUE(Form.PgmTimer.Enabled());
  Form.lbledtMaster.SetText(Folder.WriteFile("m.hex", ":00000001FF\n"));
  Form.cbMaster.Click();
  Form.SetLinkStatus(2);
  EXPECT_TRUE(QTest::qWaitFor([&] { return Widget("btnProgram")->isEnabled(); }, 5000));
}

TEST_F(PgmFormViewTest, ClosingDuringARunAsksAndNoKeepsTheWindow) {
  Form.lbledtMaster.SetText(Folder.WriteFile("m.hex", ":0100000001FE\n:00000001FF\n"));
  Form.cbMaster.Click();
  Form.SetChannel(Channel);
  Form.SetLinkStatus(2);
  Form.btnProgramClick(&Form.btnProgram);
  ASSERT_TRUE(Form.Session().Active());
  TestApplication().SetMessageBoxResult(TModalResult::mrNo);
  EXPECT_FALSE(View.Window()->close());
  EXPECT_TRUE(View.Window()->isVisible());
  EXPECT_EQ(TestApplication().MessageBoxes(), std::vector<std::string>{"Program Sequence in Process - Close Anyway?"});
  EXPECT_TRUE(Form.Session().Active());

  TestApplication().SetMessageBoxResult(TModalResult::mrYes);
  Form.ledtMasterIP.SetText("10.0.0.2");
  EXPECT_TRUE(View.Window()->close());
  EXPECT_FALSE(View.Window()->isVisible());
  EXPECT_FALSE(Form.Session().Active());
  EXPECT_EQ(Form.FCloseState, 2) << "the close wait ended at a tick";
  EXPECT_EQ(TIniFile(Form.SettingsFileName()).ReadString("Master", "IP Address", ""), "10.0.0.2");
}

}  // namespace

namespace {
TEST_F(PgmFormViewTest, AVerdictShowsInTheUnitsStatusColourAndTheWindowHidesNoControlWhenSmall) {
  Form.lbledtMaster.SetText(Folder.WriteFile("m.hex", ":0100000001FE\n:00000001FF\n"));
  Form.cbMaster.Click();
  Form.SetChannel(Channel);
  Form.SetLinkStatus(2);
  Channel.Answer = [](const std::string& Text, const std::string& Healthy) {
    return Text == ":0100000001FE" ? Text + "!\r" : Healthy;
  };
  auto* status = Widget<QLabel>("lblMstrVers");
  const QColor plain = status->palette().color(QPalette::Active, QPalette::WindowText);
  Form.btnProgramClick(&Form.btnProgram);
  for (int step = 0; step < 200 && Form.Session().Active(); ++step) Form.PgmTimer.Tick();
  ASSERT_FALSE(Form.Session().Active());
  EXPECT_EQ(status->text().toStdString(), "Status:  Program Error");
  const QColor failure = status->palette().color(QPalette::Active, QPalette::WindowText);
  EXPECT_NE(failure, plain);
  EXPECT_TRUE(status->font().bold());

  Channel.Answer = nullptr;
  Form.btnProgramClick(&Form.btnProgram);
  EXPECT_EQ(status->palette().color(QPalette::Active, QPalette::WindowText), plain) << "a new run starts plain";
  for (int step = 0; step < 200 && Form.Session().Active(); ++step) Form.PgmTimer.Tick();
  ASSERT_EQ(Form.Session().Verdict()->Outcome, TRunOutcome::Programmed);
  const QColor success = status->palette().color(QPalette::Active, QPalette::WindowText);
  EXPECT_NE(success, plain);
  EXPECT_NE(success, failure);
  EXPECT_EQ(status->text().toStdString(), "Status:  Program Complete");
  EXPECT_GE(status->width(), QFontMetrics(status->font()).horizontalAdvance(status->text()))
      << "the bold verdict is shown whole";

  View.Window()->resize(200, 150);
  EXPECT_GE(View.Window()->width(), TZelmirt_PgmForm::DesignClientWidth);
  EXPECT_GE(View.Window()->height(), TZelmirt_PgmForm::DesignClientHeight);
}
}  // namespace
