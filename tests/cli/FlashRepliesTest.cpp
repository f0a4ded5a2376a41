// zelmirt-flash against a device whose replies would pass for acknowledgements to a careless
// reader: a stray line ending in "." or a late copy of an earlier acknowledgement, each just
// before the device refuses a record. The run must end as a program error with the refusal
// in its output, and the unit must not be restarted, in the default mode and with --fast.
#include <gtest/gtest.h>

#include "tests/cli/FlashFixture.h"
#include "tests/cli/FlashProcess.h"
#include "tests/support/ScriptedDevice.h"
#include "tests/support/TempFolder.h"
#include "tests/support/ZelmirtScript.h"
#include "tests/tools/SimRecords.h"

namespace {
constexpr int ProgramRecords = 5;
constexpr int ProgramErrorCode = 8;

struct TMisleadingCase {
  const char* Name;
  const char* Address;
  bool Fast;
  bool Duplicate;
  // The refused record, counted from the erase record (1); 2 is the first program record.
  int RefusedRecord;
};

class FlashRepliesTest : public testing::TestWithParam<TMisleadingCase> {};

TEST_P(FlashRepliesTest, AMisleadingReplyBeforeARefusalIsAProgramError) {
  const TMisleadingCase& row = GetParam();
  TTempFolder folder;
  const std::string master = WriteProgram(folder, "master.hex", ProgramRecords);
  const std::vector<std::string> sent = SentRecords(Lines(ReadWholeFile(master)));
  const std::string refused = sent[static_cast<size_t>(row.RefusedRecord - 2)];
  TScriptedDevice device(row.Address);
  device.SetScript(TZelmirtScript({.RefusedRecord = row.RefusedRecord,
                                   .StrayLineBeforeRefusal = !row.Duplicate,
                                   .DuplicateBeforeRefusal = row.Duplicate}));

  QStringList arguments = Q({"-m", master, row.Address});
  if (row.Fast) arguments << "--fast";
  const TFlashRun run = RunFlash(arguments);
  EXPECT_EQ(run.ExitCode, ProgramErrorCode) << run.Output << run.Errors;
  EXPECT_NE(run.Output.find("\n" + refused + "!\n"), std::string::npos) << "the refusal is shown\n" << run.Output;
  EXPECT_EQ(device.Received().find(":020000030300F8"), std::string::npos) << "no restart";
}

INSTANTIATE_TEST_SUITE_P(
    BeforeARefusal, FlashRepliesTest,
    testing::Values(TMisleadingCase{"StrayDotLine", "127.73.1.1", false, false, 4},
                    TMisleadingCase{"StrayDotLineFast", "127.73.1.2", true, false, 4},
                    TMisleadingCase{"StrayDotLineBeforeTheLastRecord", "127.73.1.3", false, false,
                                    ProgramRecords + 2},
                    TMisleadingCase{"LateDuplicateOfTheLastButOne", "127.73.1.4", false, true, ProgramRecords + 2},
                    TMisleadingCase{"LateDuplicateOfTheLastButOneFast", "127.73.1.5", true, true,
                                    ProgramRecords + 2}),
    [](const testing::TestParamInfo<TMisleadingCase>& Info) { return std::string(Info.param.Name); });
}  // namespace
