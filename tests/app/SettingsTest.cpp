#include <gtest/gtest.h>

#include <string>

#include "platform/IniFile.h"
#include "tests/app/FormFixture.h"

namespace {

using State = TCheckBoxState;

struct TSelectedCase {
  const char* Text;
  State All;
  State Master;
  State Slave;
  const char* Saved;
};

class SelectedTest : public FormTest, public testing::WithParamInterface<TSelectedCase> {};

TEST_P(SelectedTest, LoadsTheBoxesAndSavesTheirValue) {
  const TSelectedCase& c = GetParam();
  WriteSettings(std::string("[Program]\nSelected=") + c.Text + "\n");
  RecreateForm();
  EXPECT_EQ(Form->cbAll.State(), c.All);
  EXPECT_EQ(Form->cbMaster.State(), c.Master);
  EXPECT_EQ(Form->cbSlave.State(), c.Slave);
  Form->SaveSettings();
  EXPECT_EQ(TIniFile(SettingsPath()).ReadString("Program", "Selected", "?"), c.Saved);
}

INSTANTIATE_TEST_SUITE_P(
    EverySelection, SelectedTest,
    testing::Values(TSelectedCase{"7", State::cbChecked, State::cbGrayed, State::cbGrayed, "7"},
                    TSelectedCase{"3", State::cbUnchecked, State::cbChecked, State::cbChecked, "3"},
                    TSelectedCase{"1", State::cbUnchecked, State::cbChecked, State::cbUnchecked, "1"},
                    TSelectedCase{"2", State::cbUnchecked, State::cbUnchecked, State::cbChecked, "2"},
                    TSelectedCase{"5", State::cbUnchecked, State::cbChecked, State::cbUnchecked, "1"},
                    TSelectedCase{"0", State::cbUnchecked, State::cbUnchecked, State::cbUnchecked, "0"},
                    TSelectedCase{"4", State::cbUnchecked, State::cbUnchecked, State::cbUnchecked, "0"},
                    TSelectedCase{"$7", State::cbChecked, State::cbGrayed, State::cbGrayed, "7"},
                    TSelectedCase{"0x3", State::cbUnchecked, State::cbChecked, State::cbChecked, "3"},
                    TSelectedCase{"0X3", State::cbUnchecked, State::cbChecked, State::cbChecked, "3"},
                    TSelectedCase{"$a", State::cbUnchecked, State::cbUnchecked, State::cbChecked, "2"},
                    TSelectedCase{"All", State::cbUnchecked, State::cbUnchecked, State::cbUnchecked, "0"},
                    TSelectedCase{"3x", State::cbUnchecked, State::cbUnchecked, State::cbUnchecked, "0"},
                    TSelectedCase{"0x", State::cbUnchecked, State::cbUnchecked, State::cbUnchecked, "0"},
                    TSelectedCase{"99999999999", State::cbUnchecked, State::cbUnchecked, State::cbUnchecked, "0"},
                    TSelectedCase{"", State::cbUnchecked, State::cbUnchecked, State::cbUnchecked, "0"}));

TEST_F(FormTest, LoadingFillsTheFieldsAndWritesNothing) {
  const std::string content =
      "; kept as written\r\n[master]\r\nip address = 10.0.0.7\r\n[Program]\r\nMasterFile=/opt/m.hex\r\n"
      "SlaveFile=/opt/s.hex\r\nSelected=7\r\n";
  WriteSettings(content);
  RecreateForm();
  EXPECT_EQ(Form->ledtMasterIP.Text(), "10.0.0.7");
  EXPECT_EQ(Form->lbledtMaster.Text(), "/opt/m.hex");
  EXPECT_EQ(Form->lbledtSlave.Text(), "/opt/s.hex");
  EXPECT_FALSE(Form->FInCheckboxClick);
  EXPECT_EQ(ReadWholeFile(SettingsPath()), content);
}

TEST_F(FormTest, FirstStartWithoutAFileLeavesEverythingEmpty) {
  EXPECT_EQ(Form->ledtMasterIP.Text(), "");
  EXPECT_EQ(Form->lbledtMaster.Text(), "");
  EXPECT_EQ(Form->lbledtSlave.Text(), "");
  EXPECT_FALSE(Form->cbAll.Checked());
  EXPECT_FALSE(Form->cbMaster.Checked());
  EXPECT_FALSE(Form->cbSlave.Checked());
  Form->SetLinkStatus(2);
  Form->PgmOnTimer();
  EXPECT_FALSE(Form->btnProgram.Enabled());
  EXPECT_FALSE(std::filesystem::exists(SettingsPath())) << "loading creates no file";
}

TEST_F(FormTest, SavingWritesAllFourKeysInOrder) {
  Form->ledtMasterIP.SetText("192.168.1.20");
  Form->lbledtMaster.SetText("/data/master file.hex");
  Form->lbledtSlave.SetText("");
  Form->SaveSettings();
  const std::string content = ReadWholeFile(SettingsPath());
  const size_t master = content.find("[Master]");
  const size_t address = content.find("IP Address=192.168.1.20");
  const size_t program = content.find("[Program]");
  const size_t masterFile = content.find("MasterFile=/data/master file.hex");
  const size_t slaveFile = content.find("SlaveFile=");
  const size_t selected = content.find("Selected=0");
  ASSERT_NE(selected, std::string::npos) << content;
  EXPECT_LT(master, address);
  EXPECT_LT(address, program);
  EXPECT_LT(program, masterFile);
  EXPECT_LT(masterFile, slaveFile);
  EXPECT_LT(slaveFile, selected);

  RecreateForm();
  EXPECT_EQ(Form->ledtMasterIP.Text(), "192.168.1.20");
  EXPECT_EQ(Form->lbledtMaster.Text(), "/data/master file.hex");
}

TEST_F(FormTest, TextsAreKeptUnvalidated) {
  WriteSettings("[Master]\nIP Address=not an address\n[Program]\nMasterFile=relative/../x\n");
  RecreateForm();
  EXPECT_EQ(Form->ledtMasterIP.Text(), "not an address");
  EXPECT_EQ(Form->lbledtMaster.Text(), "relative/../x");
}

TEST_F(FormTest, APastedLineBreakKeepsTheFirstLineAndTheSettingsStayWritable) {
  Form->ledtMasterIP.SetText("192.168.1.20\n");
  Form->lbledtMaster.SetText("/data/master.hex\r\n/data/other.hex");
  Form->lbledtSlave.SetText("\r/data/slave.hex");
  EXPECT_EQ(Form->ledtMasterIP.Text(), "192.168.1.20");
  EXPECT_EQ(Form->lbledtMaster.Text(), "/data/master.hex");
  EXPECT_EQ(Form->lbledtSlave.Text(), "");
  Form->cbMaster.Click();
  RecreateForm();
  EXPECT_EQ(Form->ledtMasterIP.Text(), "192.168.1.20");
  EXPECT_EQ(Form->lbledtMaster.Text(), "/data/master.hex");
  EXPECT_TRUE(Form->cbMaster.Checked()) << "the selection was saved";

  // The view hears of the cut even when the kept line is the text it had.
  int changes = 0;
  Form->ledtMasterIP.SetOnChange([&] { ++changes; });
  Form->ledtMasterIP.SetText("192.168.1.20\r\n10.0.0.1");
  EXPECT_EQ(changes, 1);
  Form->ledtMasterIP.SetText("192.168.1.20");
  EXPECT_EQ(changes, 1) << "an unchanged text is no change";
}

TEST_F(FormTest, AFailedSaveNamesTheFileAndLeavesTheBoxesWorking) {
  const std::string unwritable = Folder.File("missing-folder/zelmirt-programmer.INI");
  TPgmFormProbe form(unwritable);
  try {
    form.SaveSettings();
    FAIL() << "the save succeeded";
  } catch (const EIniFileException& E) {
    EXPECT_EQ(std::string(E.what()), "Unable to write to " + unwritable);
  }
  EXPECT_THROW(form.cbAll.Click(), EIniFileException);
  EXPECT_FALSE(form.FInCheckboxClick) << "a failed save must not leave the handler dead";
  EXPECT_THROW(form.cbAll.Click(), EIniFileException);
  EXPECT_EQ(form.cbMaster.State(), State::cbUnchecked) << "the second click was handled";
}

TEST_F(FormTest, WithoutASettingsFileNothingIsReadOrWritten) {
  // The window's own file beside the executable, and the working folder, stay as they were.
  const std::string windowFile = TZelmirt_PgmForm::DefaultSettingsFileName();
  const bool windowFileExisted = std::filesystem::exists(windowFile);
  const std::string windowContent = windowFileExisted ? ReadWholeFile(windowFile) : "";
  const std::filesystem::path previous = std::filesystem::current_path();
  const std::string work = Folder.File("work");
  std::filesystem::create_directory(work);
  std::filesystem::current_path(work);
  {
    TPgmFormProbe form("");
    EXPECT_EQ(form.ledtMasterIP.Text(), "");
    form.ledtMasterIP.SetText("127.0.0.1");
    form.cbAll.Click();
    EXPECT_EQ(form.cbMaster.State(), State::cbGrayed) << "the boxes work as with a file";
    form.cbMaster.Click();
    EXPECT_TRUE(form.cbMaster.Checked());
    form.SaveSettings();
    form.LoadSettings();
    EXPECT_EQ(form.ledtMasterIP.Text(), "127.0.0.1") << "loading without a file keeps the controls";
    EXPECT_TRUE(form.cbMaster.Checked());
  }
  std::filesystem::current_path(previous);
  EXPECT_TRUE(std::filesystem::is_empty(work));
  EXPECT_EQ(std::filesystem::exists(windowFile), windowFileExisted);
  if (windowFileExisted) {
    EXPECT_EQ(ReadWholeFile(windowFile), windowContent);
  }
}

}  // namespace
