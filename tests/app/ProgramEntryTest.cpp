#include <gtest/gtest.h>

#include "app/ProgramEntry.h"
#include "tests/support/TempFolder.h"
#include "tests/support/TestApplication.h"

namespace {

TEST(ProgramEntryTest, TitlesTheApplicationCreatesTheWindowAndRunsIt) {
  TTempFolder folder;
  const std::string settings = folder.WriteFile("zelmirt-programmer.INI", "[Master]\nIP Address=10.0.0.9\n");
  TestApplication().SetTitle("");
  int runs = 0;
  const int exitCode = RunProgram(
      [&](TZelmirt_PgmForm& Form) {
        ++runs;
        EXPECT_EQ(TestApplication().Title(), "Zelmirt Program") << "the title comes before the window";
        EXPECT_EQ(Form.SettingsFileName(), settings);
        EXPECT_EQ(Form.ledtMasterIP.Text(), "10.0.0.9") << "FormCreate has loaded the settings";
        EXPECT_EQ(Form.StatusLine.Panel(0).Text, "No Connection");
        EXPECT_FALSE(Form.PgmTimer.Enabled()) << "the tick starts only when the window is shown";
        return 3;
      },
      settings);
  EXPECT_EQ(runs, 1);
  EXPECT_EQ(exitCode, 3);
}

TEST(ProgramEntryTest, TheSettingsFileLiesBesideTheExecutable) {
  const std::string name = TZelmirt_PgmForm::DefaultSettingsFileName();
  ASSERT_GE(name.size(), 4u);
  EXPECT_EQ(name.substr(name.size() - 4), ".INI");
  EXPECT_EQ(name.find("app_tests"), name.rfind('/') + 1) << name;
}

TEST(ProgramEntryTest, TheWindowsCommandLineAnswersHelpAndVersionAndReadsQuitAfter) {
  const TWindowOptions help = ReadWindowOptions({"-platform", "offscreen", "--help"});
  ASSERT_TRUE(help.Answer);
  EXPECT_EQ(help.Answer->ExitCode, 0);
  EXPECT_TRUE(help.Answer->Text.starts_with("Usage: zelmirt-programmer [OPTION]...\n")) << help.Answer->Text;
  EXPECT_NE(help.Answer->Text.find("$XDG_CONFIG_HOME/zelmirt-programmer/zelmirt-programmer.INI"), std::string::npos)
      << "the manual page tells where the settings are kept";
  const TWindowOptions version = ReadWindowOptions({"--version"});
  ASSERT_TRUE(version.Answer);
  EXPECT_EQ(version.Answer->Text, "zelmirt-programmer (Zelmirt Programming Utility) 1.1\n");

  const TWindowOptions plain = ReadWindowOptions({"-style", "fusion"});
  EXPECT_FALSE(plain.Answer) << "the toolkit's own arguments are left to it";
  EXPECT_FALSE(plain.QuitAfterMs);
  for (const auto& [argument, ms] : {std::pair{"--quit-after=0", 0}, std::pair{"--quit-after=1500", 1500}}) {
    const TWindowOptions quitting = ReadWindowOptions({argument});
    EXPECT_FALSE(quitting.Answer) << argument;
    EXPECT_EQ(quitting.QuitAfterMs, ms) << argument;
  }
  EXPECT_EQ(ReadWindowOptions({"--quit-after", "250"}).QuitAfterMs, 250);

  for (const char* bad : {"soon", "-5", "12ms", "", "86400001", "99999999999"}) {
    const TWindowOptions refused = ReadWindowOptions({"--quit-after", bad});
    ASSERT_TRUE(refused.Answer) << bad;
    EXPECT_EQ(refused.Answer->ExitCode, UsageExitCode);
    EXPECT_TRUE(refused.Answer->IsError);
    EXPECT_EQ(refused.Answer->Text, std::string("zelmirt-programmer: --quit-after '") + bad +
                                        "' is not a number of milliseconds from 0 to 86400000\n");
    EXPECT_FALSE(refused.QuitAfterMs);
  }
}

}  // namespace
