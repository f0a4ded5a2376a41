#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>
#include <vector>

#include "app/ProgramFileCheck.h"
#include "base/Format.h"
#include "base/Sha256.h"
#include "platform/Files.h"
#include "tests/app/FormFixture.h"
#include "tests/support/TempFolder.h"

namespace {
// A record with its checksum: byte count, address, type and data as hexadecimal digits.
std::string Record(unsigned Address, unsigned Type, const std::string& DataDigits) {
  const unsigned count = static_cast<unsigned>(DataDigits.size() / 2);
  unsigned sum = count + (Address >> 8) + (Address & 0xFF) + Type;
  for (size_t i = 0; i < DataDigits.size(); i += 2) sum += static_cast<unsigned>(std::stoul(DataDigits.substr(i, 2), nullptr, 16));
  return Format(":%02X%04X%02X%s%02X", count, Address, Type, DataDigits.c_str(), (0x100 - (sum & 0xFF)) & 0xFF);
}

const std::string Data = Record(0x0100, 0x00, "0102030405060708");
const std::string EndOfFile = ":00000001FF";

std::string RefusalOf(const std::string& Content) {
  try {
    CheckProgramText("unit.hex", Content);
  } catch (const EProgramFileError& E) {
    return E.Message();
  }
  return "(accepted)";
}

// One row per kind of line, or of file, that cannot program a unit; each names the line.
TEST(ProgramFileCheckTest, EveryKindOfBadLineIsRefusedWithTheFileTheLineAndTheReason) {
  struct TCase {
    const char* Name;
    std::string Content;
    std::string Refusal;
  };
  const std::vector<TCase> cases{
      {"no leading colon", Data + "\n" + EndOfFile.substr(1) + "\n",
       "unit.hex: line 2: the line does not start with \":\": \"00000001FF\""},
      {"blank before the colon", " " + Data + "\n" + EndOfFile + "\n",
       "unit.hex: line 1: the line does not start with \":\": \" " + Data + "\""},
      {"too short for a record", ":0000\n" + EndOfFile,
       "unit.hex: line 1: too short for a record (5 characters, a record has at least 11): \":0000\""},
      {"non-hexadecimal digit", ":10zz000000\n" + EndOfFile,
       "unit.hex: line 1: character 4 (z) is not a hexadecimal digit: \":10zz000000\""},
      {"NUL inside a record", std::string(":0000\0" "0001FF\n", 13) + EndOfFile,
       "unit.hex: line 1: character 6 (\\x00) is not a hexadecimal digit: \":0000\\x000001FF\""},
      {"byte above ASCII", ":00000001F\xC3\xA9\n",
       "unit.hex: line 1: character 11 (\\xC3) is not a hexadecimal digit: \":00000001F\\xC3\\xA9\""},
      {"odd number of digits", Data + "0\n" + EndOfFile, "unit.hex: line 1: an odd number of hexadecimal digits"},
      {"shorter than its byte count", ":0901000001020304050607082B\n" + EndOfFile,
       "unit.hex: line 1: the byte count 09 says 9 data bytes, the record holds 8"},
      {"longer than its byte count", ":07010000010203040506070826\n" + EndOfFile,
       "unit.hex: line 1: the byte count 07 says 7 data bytes, the record holds 8"},
      {"unknown record type", Data + "\n" + Record(0, 0x06, "") + "\n" + EndOfFile,
       "unit.hex: line 2: record type 06 is not one of 00 to 05: \":00000006FA\""},
      {"type with the wrong data length", Record(0, 0x04, "00") + "\n" + Data + "\n" + EndOfFile,
       "unit.hex: line 1: a record of type 04 holds 2 data bytes, not 1"},
      {"wrong checksum", Data.substr(0, Data.size() - 2) + "00\n" + EndOfFile,
       Format("unit.hex: line 1: the checksum 00 is wrong, the record's bytes need %s", Data.substr(Data.size() - 2).c_str())},
      {"record after the end-of-file record", Data + "\n" + EndOfFile + "\n" + Data + "\n",
       "unit.hex: line 3: a record after the end-of-file record of line 2"},
      {"second end-of-file record", Data + "\n" + EndOfFile + "\n\n" + EndOfFile + "\n",
       "unit.hex: line 4: a record after the end-of-file record of line 2"},
      {"end-of-file record in the protected area", Data + "\n" + Record(0xF800, 0x01, "") + "\n",
       "unit.hex: line 2: the end-of-file record is addressed at F800, in the protected area at F800 and above that a "
       "run does not send: \":00F8000107\""},
      {"no end-of-file record", Data + "\n" + Data + "\n",
       "unit.hex: line 2: the file ends without an end-of-file record (:00000001FF)"},
      {"empty file", "", "unit.hex: line 1: the file is empty: it holds no record"},
      {"byte-order mark alone", "\xEF\xBB\xBF", "unit.hex: line 1: the file is empty: it holds no record"},
      {"blank lines only", "\n  \n\t\n", "unit.hex: line 3: the file ends without an end-of-file record"},
      {"end-of-file record alone", EndOfFile + "\r\n",
       "unit.hex: line 1: no data record is left to send (0 in the protected area at F800 and above, 0 blank)"},
      {"every record filtered out",
       Record(0, 0x04, "0000") + "\n" + Record(0xF800, 0x00, "0102") + "\n" + Record(0x0200, 0x00, "FFFF") + "\n" +
           EndOfFile,
       "unit.hex: line 4: no data record is left to send (1 in the protected area at F800 and above, 1 blank)"},
  };
  for (const TCase& c : cases) {
    const std::string refusal = RefusalOf(c.Content);
    EXPECT_TRUE(refusal.starts_with(c.Refusal)) << c.Name << "\n  refusal: " << refusal << "\n  expected: " << c.Refusal;
  }
}

// What a run sends is what the window's filter keeps; the rest is counted by reason.
TEST(ProgramFileCheckTest, AGoodFileGivesItsRecordsToSendVerbatimAndWhatWasSkippedAndWhy) {
  const std::string lowerCaseBlank = ":04001000fffffffff0";
  const std::vector<std::string> lines{
      Record(0, 0x04, "0001"),          Record(0x0000, 0x00, "00112233"), "",
      Record(0x0010, 0x00, "FFFFFFFF"), lowerCaseBlank,                   Record(0xF7FC, 0x00, "0102030405"),
      Record(0xF800, 0x00, "0102"),     Record(0x0000, 0x05, "00000100"), EndOfFile};
  std::string content = "\xEF\xBB\xBF";
  for (const std::string& line : lines) content += line + "\r\n";
  const TProgramFileCheck check = CheckProgramText("unit.hex", content);
  EXPECT_EQ(check.FileName, "unit.hex");
  EXPECT_EQ(check.Size, content.size());
  EXPECT_EQ(check.Sha256, Sha256Hex(content));
  EXPECT_EQ(check.RecordsInFile, 8);
  EXPECT_EQ(check.RecordsToSend, (std::vector<std::string>{lines[0], lines[1], lowerCaseBlank, lines[5], lines[7],
                                                           EndOfFile}));
  EXPECT_EQ(check.SkippedProtected, 1);
  EXPECT_EQ(check.SkippedBlank, 1);
  // Behind the extended linear address 0001: from 0x10000 to the last byte below F800.
  EXPECT_EQ(check.SentData.First, 0x10000u);
  EXPECT_EQ(check.SentData.Last, 0x1F800u);
}

class ProgramFileCheckFormTest : public FormTest {};

// The checker and the window's own load and filter agree on the samples, record for record.
TEST_F(ProgramFileCheckFormTest, TheSamplesRecordsToSendAreThoseTheWindowSends) {
  for (const char* name : {"master.hex", "slave.hex"}) {
    const std::string file = std::string(ZELMIRT_EXAMPLES_DIR) + "/" + name;
    const TProgramFileCheck check = CheckProgramFile(file);
    Form->LoadProgramFile(file);
    EXPECT_EQ(check.RecordsInFile, Form->ProgramLines().Count()) << name;
    Form->FilterProgramLines();
    std::vector<std::string> sent;
    for (int i = 0; i < Form->ProgramLines().Count(); ++i) sent.push_back(Form->ProgramLines().Strings(i));
    EXPECT_EQ(check.RecordsToSend, sent) << name;
    EXPECT_EQ(check.RecordsInFile - check.SkippedProtected - check.SkippedBlank, static_cast<int>(sent.size())) << name;
    EXPECT_EQ(check.Size, ReadFileText(file).size()) << name;
    EXPECT_EQ(check.Sha256, Sha256Hex(ReadFileText(file))) << name;
  }
}

// A file checked again is read again: whatever its bytes are now decides, whether the same
// bytes were found sound a moment before, under this name or another. The same bytes under
// the same name give the check made of them before, shared rather than copied. Steps of one
// file, in order: what it holds, the records to send or the refusal that names its line,
// and the earlier step whose check it shares.
TEST(ProgramFileCheckTest, EveryCheckOfAFileJudgesTheBytesItHoldsNow) {
  TTempFolder folder;
  const std::string first = Record(0x0000, 0x00, "00112233");
  const std::string second = Record(0x0010, 0x00, "44556677");
  const std::string badSum = first.substr(0, first.size() - 2) + "00";
  struct TStep {
    const char* Name;
    std::string Content;
    std::vector<std::string> Sent;  // empty: refused
    const char* Refusal;
    int SharesCheckOf;  // -1: a check of its own
  };
  const std::vector<TStep> steps{
      {"sound", first + "\n" + EndOfFile + "\n", {first, EndOfFile}, "", -1},
      {"the same again", first + "\n" + EndOfFile + "\n", {first, EndOfFile}, "", 0},
      {"another record", second + "\n" + EndOfFile + "\n", {second, EndOfFile}, "", -1},
      {"a bad checksum", badSum + "\n" + EndOfFile + "\n", {}, "line 1", -1},
      {"sound once more", first + "\n" + EndOfFile + "\n", {first, EndOfFile}, "", 0},
      {"its end lost", first + "\n", {}, "end-of-file", -1},
  };
  // Every sound check so far, with the step whose check it is.
  std::vector<std::pair<TSharedFileCheck, size_t>> checks;
  for (const char* name : {"unit.hex", "other.hex"}) {
    const std::string path = folder.File(name);
    // Where each step's check went into checks.
    std::vector<size_t> positionOfStep;
    for (const TStep& step : steps) {
      folder.WriteFile(name, step.Content);
      positionOfStep.push_back(checks.size());
      try {
        const TSharedFileCheck check = ShareProgramFileCheck(path);
        EXPECT_EQ(check->FileName, path) << step.Name;
        EXPECT_EQ(check->RecordsToSend, step.Sent) << name << ": " << step.Name;
        EXPECT_EQ(check->Sha256, Sha256Hex(step.Content)) << name << ": " << step.Name;
        const size_t owner =
            step.SharesCheckOf < 0 ? checks.size() : positionOfStep[static_cast<size_t>(step.SharesCheckOf)];
        for (const auto& [earlier, earlierOwner] : checks)
          EXPECT_EQ(earlier == check, earlierOwner == owner) << name << ": " << step.Name;
        checks.emplace_back(check, owner);
      } catch (const EProgramFileError& E) {
        EXPECT_TRUE(step.Sent.empty()) << name << ": " << step.Name << ": " << E.Message();
        EXPECT_NE(E.Message().find(step.Refusal), std::string::npos) << name << ": " << E.Message();
        EXPECT_NE(E.Message().find(path), std::string::npos) << E.Message();
      }
    }
  }
}

// A file that is no regular file is refused before a byte is read from it.
TEST(ProgramFileCheckTest, WhatIsNotARegularFileIsRefusedWithoutReadingIt) {
  TTempFolder folder;
  const std::string fifo = folder.File("pipe.hex");
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  for (const std::string& path : {fifo, std::string("/dev/zero"), folder.Path(), folder.File("missing.hex")}) {
    try {
      CheckProgramFile(path);
      ADD_FAILURE() << path << " was accepted";
    } catch (const EProgramFileError& E) {
      EXPECT_NE(E.Message().find(path), std::string::npos) << E.Message();
    }
  }
}
}  // namespace
