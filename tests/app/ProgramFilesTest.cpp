#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/Exception.h"
#include "platform/Files.h"
#include "platform/IniFile.h"
#include "app/ProgramFileCheck.h"
#include "tests/app/FormFixture.h"
#include "tests/support/TestApplication.h"

namespace {

using State = TCheckBoxState;

std::vector<std::string> Lines(const TStringList& List) {
  std::vector<std::string> lines;
  for (int i = 0; i < List.Count(); ++i) lines.push_back(List.Strings(i));
  return lines;
}

class SelectionTest : public FormTest {
protected:
  std::string SavedSelection() const { return TIniFile(SettingsPath()).ReadString("Program", "Selected", "?"); }
  void ExpectStates(State All, State Master, State Slave) const {
    EXPECT_EQ(Form->cbAll.State(), All);
    EXPECT_EQ(Form->cbMaster.State(), Master);
    EXPECT_EQ(Form->cbSlave.State(), Slave);
  }
};

TEST_F(SelectionTest, AllGraysTheUnitsAndAUnitClickLeavesThatUnitAlone) {
  Form->cbAll.Click();
  ExpectStates(State::cbChecked, State::cbGrayed, State::cbGrayed);
  EXPECT_EQ(SavedSelection(), "7");

  Form->cbMaster.Click();
  ExpectStates(State::cbUnchecked, State::cbChecked, State::cbUnchecked);
  EXPECT_EQ(SavedSelection(), "1");

  Form->cbAll.Click();
  Form->cbSlave.Click();
  ExpectStates(State::cbUnchecked, State::cbUnchecked, State::cbChecked);
  EXPECT_EQ(SavedSelection(), "2");

  Form->cbAll.Click();
  Form->cbAll.Click();
  ExpectStates(State::cbUnchecked, State::cbUnchecked, State::cbUnchecked);
  EXPECT_EQ(SavedSelection(), "0");
}

TEST_F(SelectionTest, UnitBoxesToggleOnTheirOwnWithoutAll) {
  Form->cbMaster.Click();
  Form->cbSlave.Click();
  ExpectStates(State::cbUnchecked, State::cbChecked, State::cbChecked);
  EXPECT_EQ(SavedSelection(), "3");
  Form->cbMaster.Click();
  ExpectStates(State::cbUnchecked, State::cbUnchecked, State::cbChecked);
  EXPECT_EQ(SavedSelection(), "2");
}

TEST_F(SelectionTest, TheHandlerDoesNothingWhileGuarded) {
  Form->FInCheckboxClick = true;
  Form->cbAll.Click();
  Form->FInCheckboxClick = false;
  ExpectStates(State::cbChecked, State::cbUnchecked, State::cbUnchecked);
  EXPECT_FALSE(std::filesystem::exists(SettingsPath()));
}

class FileDialogTest : public FormTest {};

TEST_F(FileDialogTest, ConfirmSetsTheEditAndSavesAtOnce) {
  Form->lbledtMaster.SetText("/srv/firmware/old.hex");
  Form->OpenPgmDialog.Settings().FileName = "left over";
  TestApplication().SetDialogChoice(true, "/srv/firmware/new.hex");
  Form->btnSelMaster.Click();

  ASSERT_EQ(TestApplication().Dialogs().size(), 1u);
  const TOpenDialogSettings shown = TestApplication().Dialogs()[0];
  EXPECT_EQ(shown.Title, "Select File for Zelmirt Master Processor ...");
  EXPECT_EQ(shown.InitialDir, "/srv/firmware/");
  EXPECT_EQ(shown.FileName, "");
  EXPECT_EQ(shown.Filter, "Hex Files|*.hex|Text Files|*.txt|All Files|*.*");
  EXPECT_EQ(shown.FilterIndex, 1);
  EXPECT_EQ(shown.DefaultExt, "hex");
  EXPECT_TRUE(shown.FileMustExist);
  EXPECT_TRUE(shown.HideReadOnly);
  EXPECT_TRUE(shown.EnableSizing);
  EXPECT_EQ(Form->lbledtMaster.Text(), "/srv/firmware/new.hex");
  EXPECT_EQ(TIniFile(SettingsPath()).ReadString("Program", "MasterFile", ""), "/srv/firmware/new.hex");
}

TEST_F(FileDialogTest, SlaveButtonStartsInTheSlaveFolderOrNowhere) {
  TestApplication().SetDialogChoice(true, "/tmp/slave.hex");
  Form->btnSelSlave.Click();
  Form->lbledtSlave.SetText("no-folder.hex");
  Form->btnSelSlave.Click();
  const auto dialogs = TestApplication().Dialogs();
  ASSERT_EQ(dialogs.size(), 2u);
  EXPECT_EQ(dialogs[0].Title, "Select File for Zelmirt Slave Processor ...");
  EXPECT_EQ(dialogs[0].InitialDir, "");
  EXPECT_EQ(dialogs[1].InitialDir, "");
  EXPECT_EQ(Form->lbledtSlave.Text(), "/tmp/slave.hex");
}

TEST_F(FileDialogTest, CancelChangesNothing) {
  Form->lbledtSlave.SetText("/a/b.hex");
  TestApplication().SetDialogChoice(false, "/x/y.hex");
  Form->btnSelSlave.Click();
  EXPECT_EQ(TestApplication().Dialogs().size(), 1u);
  EXPECT_EQ(Form->lbledtSlave.Text(), "/a/b.hex");
  EXPECT_FALSE(std::filesystem::exists(SettingsPath()));
}

TEST_F(FileDialogTest, AnotherTagShowsNoDialog) {
  TButton other;
  other.SetTag(3);
  Form->btnSelFileClick(&other);
  EXPECT_TRUE(TestApplication().Dialogs().empty());
}

class SettingsValidTest : public FormTest {
protected:
  SettingsValidTest() {
    Form->lbledtMaster.SetText(Folder.WriteFile("m.hex", ":00000001FF\n"));
    Form->lbledtSlave.SetText(Folder.WriteFile("s.hex", ":00000001FF\n"));
  }
  void Select(State All, State Master, State Slave) {
    Form->FInCheckboxClick = true;
    Form->cbAll.SetState(All);
    Form->cbMaster.SetState(Master);
    Form->cbSlave.SetState(Slave);
    Form->FInCheckboxClick = false;
  }
};

TEST_F(SettingsValidTest, NeedsAUnitAndTheSelectedFiles) {
  Select(State::cbUnchecked, State::cbUnchecked, State::cbUnchecked);
  EXPECT_FALSE(Form->ProgramSettingsValid());
  Select(State::cbChecked, State::cbGrayed, State::cbGrayed);
  EXPECT_TRUE(Form->ProgramSettingsValid());
  Select(State::cbUnchecked, State::cbChecked, State::cbChecked);
  EXPECT_TRUE(Form->ProgramSettingsValid());

  Form->lbledtSlave.SetText(Folder.File("gone.hex"));
  EXPECT_FALSE(Form->ProgramSettingsValid());
  Select(State::cbChecked, State::cbGrayed, State::cbGrayed);
  EXPECT_FALSE(Form->ProgramSettingsValid());
  Select(State::cbUnchecked, State::cbChecked, State::cbUnchecked);
  EXPECT_TRUE(Form->ProgramSettingsValid()) << "only the Master is selected";
}

TEST_F(SettingsValidTest, OnlySlaveIgnoresAMissingMasterFile) {
  Form->lbledtMaster.SetText(Folder.File("gone.hex"));
  Select(State::cbUnchecked, State::cbUnchecked, State::cbChecked);
  EXPECT_TRUE(Form->ProgramSettingsValid());
  Form->lbledtSlave.SetText(Folder.File(""));
  EXPECT_FALSE(Form->ProgramSettingsValid()) << "a folder is not a program file";
}

class ProgramFileTest : public FormTest {
protected:
  std::vector<std::string> LoadAndFilter(const std::string& Content) {
    Form->LoadProgramFile(Folder.WriteFile("p.hex", Content));
    Form->FilterProgramLines();
    return Lines(Form->ProgramLines());
  }
  std::string FilterError(const std::string& Content) {
    try {
      LoadAndFilter(Content);
    } catch (const EConvertError& E) {
      return E.what();
    }
    return "no error";
  }
};

TEST_F(ProgramFileTest, LinesSplitAtEveryBreakWithoutAnEmptyLastLine) {
  Form->LoadProgramFile(Folder.WriteFile("p.hex", "a\r\nb\nc\rd\r\n"));
  EXPECT_EQ(Lines(Form->ProgramLines()), (std::vector<std::string>{"a", "b", "c", "d"}));
  Form->LoadProgramFile(Folder.WriteFile("q.hex", "only"));
  EXPECT_EQ(Lines(Form->ProgramLines()), std::vector<std::string>{"only"}) << "the list is replaced";
}

TEST_F(ProgramFileTest, KeepsEveryRecordThatIsSentByteExact) {
  const std::vector<std::string> kept = {
      ":020000040000FA",                              // extended linear address
      ":10F7F000112233445566778899AABBCCDDEEFF0011",  // below F800
      ":04001000ffffffffFC",                          // lower-case FF
      ":04002000FFFFFF00DD",                          // not all FF
      ":2100300" + std::string("0") + std::string(66, 'F') + "00",  // 33 bytes of FF
      ":0000000 is examined no further",            // byte count 0
      ":00000001FF",                                  // end of file
  };
  std::string content;
  for (const auto& line : kept) content += line + "\r\n";
  EXPECT_EQ(LoadAndFilter(content), kept);
}

TEST_F(ProgramFileTest, DropsProtectedAndBlankRecords) {
  const std::string content =
      ":10F80000000102030405060708090A0B0C0D0E0F00\n"  // at F800
      ":10FFF000000102030405060708090A0B0C0D0E0F00\n"  // above
      ":020000040001F9\n"
      ":04001000FFFFFFFFEC\n"                           // four bytes of FF
      ":10F7F000FFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFF19\n"   // blank below F800
      ":2000000" "0" "FFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFF" "E0\n"
      ":00000001FF\n";
  EXPECT_EQ(LoadAndFilter(content), (std::vector<std::string>{":020000040001F9", ":00000001FF"}));
}

TEST_F(ProgramFileTest, AnEmptyFileGivesNoRecords) { EXPECT_TRUE(LoadAndFilter("").empty()); }

TEST_F(ProgramFileTest, MalformedLinesNameTheTextAndWhere) {
  EXPECT_EQ(FilterError(":00000001FF\n\n:00000001FF\n"),
            "Program file line 2: \"\" is too short for a record (no byte count)");
  EXPECT_EQ(FilterError(":1\n"), "Program file line 1: \":1\" is too short for a record (no byte count)");
  EXPECT_EQ(FilterError(":1000"), "Program file line 1: \":1000\" is too short for a record (no address)");
  EXPECT_EQ(FilterError(":G0000000\n"),
            "Program file line 1: \":G0000000\": the byte count \"G0\" is not hexadecimal");
  EXPECT_EQ(FilterError(":1000Z000\n"),
            "Program file line 1: \":1000Z000\": the address \"00Z0\" is not hexadecimal");
  EXPECT_EQ(FilterError(":-1000000\n"),
            "Program file line 1: \":-1000000\": the byte count \"-1\" is not hexadecimal");
  // Control bytes show as escapes: a NUL neither ends the message nor hides the text after it.
  EXPECT_EQ(FilterError(":00000001FF\n" + std::string(":1\0" "000000\tX\n", 12)),
            "Program file line 2: \":1\\x00000000\\x09X\": the byte count \"1\\x00\" is not hexadecimal");
  const std::string error = FilterError(":10 " + std::string(100, 'A') + "\n");
  EXPECT_NE(error.find("..."), std::string::npos) << "a long line is cut: " << error;
  EXPECT_LT(error.size(), 120u);
}

TEST_F(ProgramFileTest, AMissingFileNamesIt) {
  const std::string missing = Folder.File("missing.hex");
  try {
    Form->LoadProgramFile(missing);
    FAIL() << "a missing file loaded";
  } catch (const EFileError& E) {
    EXPECT_NE(std::string(E.what()).find(missing), std::string::npos) << E.what();
  }
}

TEST_F(ProgramFileTest, AFileThatFailsToLoadAtTheClickRestoresTheIdleTick) {
  const std::string bad = Folder.WriteFile("bad.hex", "xyz\n");
  Form->lbledtMaster.SetText(bad);
  Form->cbMaster.SetChecked(true);
  Form->SetChannel(Channel);
  Form->SetLinkStatus(2);
  Form->PgmTimer.SetEnabled(true);
  EXPECT_THROW(Form->btnProgramClick(&Form->btnProgram), Exception);
  EXPECT_FALSE(Form->Session().Active());
  EXPECT_TRUE(Form->PgmTimer.Enabled());
  EXPECT_EQ(Form->PgmTimer.Interval(), 100u);
  EXPECT_FALSE(Form->FInTimer);
  EXPECT_TRUE(Channel.Sent.empty());
  Form->lbledtMaster.SetText(Folder.WriteFile("good.hex", ":00000001FF\n"));
  Form->PgmTimer.Tick();
  EXPECT_TRUE(Form->btnProgram.Enabled()) << "the window stays usable";
}

TEST_F(ProgramFileTest, AGoodFileAtTheClickRunsWithTheRunTickAndItsFilteredRecords) {
  Form->lbledtMaster.SetText(Folder.WriteFile("good.hex", ":0100000001FE\n:04001000FFFFFFFFF0\n:00000001FF\n"));
  Form->cbMaster.SetChecked(true);
  Form->SetChannel(Channel);
  Form->SetLinkStatus(2);
  Form->btnProgramClick(&Form->btnProgram);
  EXPECT_EQ(Lines(Form->ProgramLines()), (std::vector<std::string>{":0100000001FE", ":00000001FF"}));
  EXPECT_TRUE(Form->PgmTimer.Enabled());
  EXPECT_EQ(Form->PgmTimer.Interval(), 10u);
  EXPECT_EQ(Channel.TimerInterval, 10u);
}

}  // namespace

namespace {
TEST_F(ProgramFileTest, WithAllABadSlaveFileIsRefusedBeforeTheMasterIsTouched) {
  Form->lbledtMaster.SetText(Folder.WriteFile("good.hex", ":0100000001FE\n:00000001FF\n"));
  Form->lbledtSlave.SetText(Folder.WriteFile("bad.hex", ":0100000001FE\n:0100000002FE\n:00000001FF\n"));
  Form->cbAll.SetChecked(true);
  Form->SetChannel(Channel);
  Form->SetLinkStatus(2);
  try {
    Form->btnProgramClick(&Form->btnProgram);
    ADD_FAILURE() << "the Slave file's checksum was not found out";
  } catch (const EProgramFileError& E) {
    EXPECT_NE(std::string(E.what()).find("bad.hex"), std::string::npos) << E.what();
    EXPECT_NE(std::string(E.what()).find("line 2"), std::string::npos) << E.what();
  }
  EXPECT_FALSE(Form->Session().Active());
  EXPECT_TRUE(Channel.Sent.empty()) << "nothing went to the device";
}
}  // namespace
