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

}  // namespace
