#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/ProgramOptions.h"

namespace {

const TProgramDescription Program{"zelmirt-test",
                                  "[OPTION]... FILE",
                                  "Do one thing well.",
                                  "Reads FILE.",
                                  {{"--wait", "MS", "wait MS milliseconds first"}},
                                  "Files:\n  none"};

// help2man reads the usage line, the options as "  -x, --long  text" lines, and sections
// opened by a line ending in ':'; the version line is "name (package) version".
TEST(ProgramOptionsTest, HelpAndVersionAreWrittenTheWayHelp2manReadsThem) {
  EXPECT_EQ(HelpText(Program),
            "Usage: zelmirt-test [OPTION]... FILE\n"
            "Do one thing well.\n"
            "\n"
            "Reads FILE.\n"
            "\n"
            "Options:\n"
            "      --wait=MS  wait MS milliseconds first\n"
            "  -h, --help     display this help and exit\n"
            "      --version  output version information and exit\n"
            "\n"
            "Files:\n  none\n");
  EXPECT_EQ(VersionText(Program), "zelmirt-test (Zelmirt Programming Utility) 1.1\n");
  EXPECT_EQ(ProgramVersion(), "1.1");
}

TEST(ProgramOptionsTest, AnswersHelpVersionAndAMissingValueAndLeavesEverythingElseToTheProgram) {
  using TArguments = std::vector<std::string>;
  for (const TArguments& arguments : {TArguments{"--help"}, TArguments{"-platform", "offscreen", "-h"}}) {
    const auto answer = AnswerStandardOptions(Program, arguments);
    ASSERT_TRUE(answer) << arguments.back();
    EXPECT_EQ(answer->ExitCode, 0);
    EXPECT_FALSE(answer->IsError);
    EXPECT_EQ(answer->Text, HelpText(Program));
  }
  const auto version = AnswerStandardOptions(Program, {"file.hex", "--version"});
  ASSERT_TRUE(version);
  EXPECT_EQ(version->Text, VersionText(Program));

  const auto missing = AnswerStandardOptions(Program, {"file.hex", "--wait"});
  ASSERT_TRUE(missing);
  EXPECT_EQ(missing->ExitCode, UsageExitCode);
  EXPECT_TRUE(missing->IsError);
  EXPECT_EQ(missing->Text, "zelmirt-test: option '--wait' needs a value (--wait=MS)\n");

  for (const TArguments& arguments : {TArguments{}, TArguments{"file.hex", "--wait", "5"}, TArguments{"-style", "x"},
                                      TArguments{"--helpful"}, TArguments{"--version-1"}})
    EXPECT_FALSE(AnswerStandardOptions(Program, arguments)) << arguments.size();
}

TEST(ProgramOptionsTest, AnOptionsValueFollowsAnEqualsSignOrComesNextAndTheLastOneCounts) {
  EXPECT_EQ(OptionValue({"--wait=250"}, "--wait"), "250");
  EXPECT_EQ(OptionValue({"a", "--wait", "250", "b"}, "--wait"), "250");
  EXPECT_EQ(OptionValue({"--wait=1", "--wait", "2"}, "--wait"), "2");
  EXPECT_EQ(OptionValue({"--wait="}, "--wait"), "");
  EXPECT_EQ(OptionValue({"--waiting=3", "x"}, "--wait"), std::nullopt);
  EXPECT_EQ(OptionValue({"--wait"}, "--wait"), std::nullopt);
  EXPECT_EQ(OptionValue({}, "--wait"), std::nullopt);

  char name[] = "zelmirt-test", first[] = "--wait", second[] = "7";
  char* argv[] = {name, first, second, nullptr};
  EXPECT_EQ(ArgumentsOf(3, argv), (std::vector<std::string>{"--wait", "7"}));
  EXPECT_TRUE(ArgumentsOf(1, argv).empty());
}

}  // namespace
