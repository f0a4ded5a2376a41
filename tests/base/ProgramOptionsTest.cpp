#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/ProgramOptions.h"
#include "base/UsageError.h"

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

// A command line read against the declared options: "name=value|..." for each option as
// given, "|" between them, then "operands: a b", or the usage error's message.
const std::vector<TProgramOption> Declared{
    {"--master", "FILE", "", "-m"},
    {"--quiet", "", "", "-q"},
    {"--verbose", "", "", "-v"},
    {"--listen", "ADDR", "", "", true},
    {"--fast", "", ""},
    HelpOption(),
};

std::string Parsed(const std::vector<std::string>& Arguments) {
  try {
    const TParsedArguments parsed = ParseArguments(Declared, Arguments);
    std::string text;
    for (const TGivenOption& given : parsed.Options)
      text += given.Name + "(" + given.GivenAs + ")=" + given.Value + "|";
    text += "operands:";
    for (const std::string& operand : parsed.Operands) text += " " + operand;
    return text;
  } catch (const EUsageError& e) {
    return "error: " + e.Message();
  }
}

TEST(ProgramOptionsTest, ParsesEveryFormOfOptionAndRefusesWhatCannotBeMeant) {
  struct TCase {
    const char* Name;
    std::vector<std::string> Arguments;
    std::string Expected;
  };
  const std::vector<TCase> cases{
      {"nothing", {}, "operands:"},
      {"operands only", {"a", "b"}, "operands: a b"},
      {"short with separate value", {"-m", "a.hex", "x"}, "--master(-m)=a.hex|operands: x"},
      {"short with glued value", {"-ma.hex"}, "--master(-m)=a.hex|operands:"},
      {"long with separate value", {"--master", "a.hex"}, "--master(--master)=a.hex|operands:"},
      {"long with equals", {"--master=a.hex"}, "--master(--master)=a.hex|operands:"},
      {"long with empty value", {"--master="}, "--master(--master)=|operands:"},
      {"value beginning with a dash", {"-m", "-q"}, "--master(-m)=-q|operands:"},
      {"long value beginning with a dash", {"--master", "--fast"}, "--master(--master)=--fast|operands:"},
      {"value holding an equals sign", {"--master=a=b"}, "--master(--master)=a=b|operands:"},
      {"long name that only begins like one", {"--master2"}, "error: unknown option \"--master2\""},
      {"grouped flags", {"-qv"}, "--quiet(-q)=|--verbose(-v)=|operands:"},
      {"flags then a glued value", {"-qma.hex"}, "--quiet(-q)=|--master(-m)=a.hex|operands:"},
      {"double dash ends the options", {"-q", "--", "-m", "--fast"}, "--quiet(-q)=|operands: -m --fast"},
      {"lone dash is an operand", {"-"}, "operands: -"},
      {"repeatable option", {"--listen", "1", "--listen=2"}, "--listen(--listen)=1|--listen(--listen)=2|operands:"},
      {"option given twice", {"-m", "a", "--master", "b"}, "error: --master given twice"},
      {"flag given twice", {"-q", "--quiet"}, "error: --quiet given twice"},
      {"grouped flag given twice", {"-qq"}, "error: -q given twice"},
      {"missing value", {"x", "-m"}, "error: -m needs a value"},
      {"missing long value", {"--master"}, "error: --master needs a value"},
      {"value given to a flag", {"--fast=yes"}, "error: --fast takes no value"},
      {"unknown long option", {"--frobnicate"}, "error: unknown option \"--frobnicate\""},
      {"unknown short option", {"-x"}, "error: unknown option \"-x\""},
      {"unknown flag in a group", {"-qz"}, "error: unknown option \"-z\""},
      {"unknown option with control bytes", {"--a\x1b"}, "error: unknown option \"--a\\x1B\""},
      {"help by its short name", {"-h"}, "--help(-h)=|operands:"},
  };
  for (const TCase& c : cases) EXPECT_EQ(Parsed(c.Arguments), c.Expected) << c.Name;
}

TEST(ProgramOptionsTest, HelpShowsShortNamesAndFlagsWithoutAValue) {
  const TProgramDescription program{"zelmirt-test", "", "Test.", "", {{"--quiet", "", "say less", "-q"}}, ""};
  EXPECT_NE(HelpText(program).find("  -q, --quiet    say less\n"), std::string::npos) << HelpText(program);
}

}  // namespace
