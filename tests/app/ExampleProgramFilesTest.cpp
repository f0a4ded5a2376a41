#include <gtest/gtest.h>

#include <string>

#include "tests/app/FormFixture.h"

namespace {
struct TExample {
  const char* Name;
  int Records;
  int Sent;
};

class ExampleProgramFilesTest : public FormTest {};

// The sample files load, and the filter drops their erased stretches and the bootloader's
// area, keeping everything else in file order.
TEST_F(ExampleProgramFilesTest, TheFilterKeepsTheApplicationRecordsOfBothSamples) {
  for (const TExample& example : {TExample{"master.hex", 611, 482}, TExample{"slave.hex", 291, 242}}) {
    SCOPED_TRACE(example.Name);
    Form->LoadProgramFile(std::string(ZELMIRT_EXAMPLES_DIR) + "/" + example.Name);
    EXPECT_EQ(Form->ProgramLines().Count(), example.Records);
    Form->FilterProgramLines();
    const TStringList& sent = Form->ProgramLines();
    ASSERT_EQ(sent.Count(), example.Sent);
    EXPECT_EQ(sent.Strings(0), ":020000040000FA");
    EXPECT_EQ(sent.Strings(sent.Count() - 1), ":00000001FF");
    unsigned previous = 0;
    for (int i = 1; i + 1 < sent.Count(); ++i) {
      const std::string& line = sent.Strings(i);
      const unsigned address = static_cast<unsigned>(std::stoul(line.substr(3, 4), nullptr, 16));
      EXPECT_LT(address, 0xF800u) << line;
      EXPECT_NE(line.substr(7, 34), "00" + std::string(32, 'F')) << line;
      if (i > 1) {
        EXPECT_GT(address, previous) << line;
      }
      previous = address;
    }
  }
}
}  // namespace
