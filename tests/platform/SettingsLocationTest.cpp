#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <optional>
#include <string>

#include "platform/Files.h"
#include "platform/SettingsLocation.h"
#include "tests/support/FileRights.h"
#include "tests/support/TempFolder.h"

namespace {

// Sets or unsets an environment variable for the test's lifetime.
class TScopedVariable {
public:
  TScopedVariable(const char* Name, const char* Value) : FName(Name) {
    if (const char* old = std::getenv(Name)) FOld = old;
    Value ? setenv(Name, Value, 1) : unsetenv(Name);
  }
  ~TScopedVariable() { FOld ? setenv(FName, FOld->c_str(), 1) : unsetenv(FName); }
  TScopedVariable(const TScopedVariable&) = delete;
  TScopedVariable& operator=(const TScopedVariable&) = delete;

private:
  const char* FName;
  std::optional<std::string> FOld;
};

mode_t ModeOf(const std::string& Path) {
  struct stat info {};
  return stat(Path.c_str(), &info) == 0 ? info.st_mode & 07777 : 0;
}

TEST(SettingsLocationTest, BesideAWritableExecutableElseInTheUsersConfigurationFolder) {
  TTempFolder folder;
  const std::string configHome = folder.File("config");
  TScopedVariable xdg("XDG_CONFIG_HOME", configHome.c_str());
  ASSERT_EQ(mkdir(folder.File("build").c_str(), 0755), 0);
  ASSERT_EQ(mkdir(folder.File("bin").c_str(), 0555), 0);
  // The configuration home is made below by the user the rights are dropped to.
  ASSERT_EQ(chmod(folder.Path().c_str(), 0777), 0);

  EXPECT_EQ(SettingsFileFor(folder.File("build/zelmirt-programmer")), folder.File("build/zelmirt-programmer.INI"));
  EXPECT_EQ(ModeOf(configHome), 0u) << "a program run from a writable folder leaves the configuration home alone";

  std::string installed;
  ASSERT_TRUE(RunWithoutFileRights([&] { installed = SettingsFileFor(folder.File("bin/zelmirt-programmer")); }))
      << "cannot drop the file rights";
  EXPECT_EQ(installed, configHome + "/zelmirt-programmer/zelmirt-programmer.INI");
  EXPECT_EQ(ModeOf(configHome + "/zelmirt-programmer"), 0700u) << "the folder is made for the first save";
  EXPECT_EQ(ModeOf(configHome), 0700u) << "missing parents are made too";
}

// Where each kind of program keeps its settings, and what it starts from. Every row has a
// configuration home of its own; "usr" is the install prefix.
TEST(SettingsLocationTest, InstalledProgramsUseTheUsersFileWhoeverRunsThemOthersTheirFolderWhenWritable) {
  struct TCase {
    const char* Name;
    const char* Executable;  // in the test's folder
    const char* Prefix;      // in the test's folder
    std::optional<std::string> Beside;    // the settings file beside the executable
    std::optional<std::string> UserFile;  // the user's settings file before the start
    bool WithoutFileRights;               // run as a user who cannot write the read-only folder
    bool ExpectBeside;
    std::string ExpectedContent;          // of the chosen file after the start ("" for none)
  };
  const std::string older = "[Master]\r\nIP Address=10.1.2.3\r\n";
  const std::string users = "[Master]\nIP Address=10.9.9.9\n";
  const TCase cases[] = {
      {"InstalledInAWritableFolderUsesTheUsersFile", "usr/bin/zelmirt-programmer", "usr", {}, {}, false, false, ""},
      {"InstalledStartsFromAnOlderFileBesideIt", "usr/bin/zelmirt-programmer", "usr", older, {}, false, false, older},
      {"InstalledKeepsAnExistingUsersFile", "usr/bin/zelmirt-programmer", "usr", older, users, false, false, users},
      {"APrefixWithATrailingSlashIsTheSame", "usr/bin/zelmirt-programmer", "usr/", {}, {}, false, false, ""},
      {"InstalledWithoutRightsStartsFromTheFileBesideIt", "ro/bin/zelmirt-programmer", "ro", older, {}, true, false,
       older},
      {"ElsewhereInAWritableFolderKeepsItBeside", "build/gui/zelmirt-programmer", "usr", older, {}, false, true,
       older},
      {"AFolderThatOnlyStartsLikeThePrefixIsElsewhere", "usr2/zelmirt-programmer", "usr", {}, {}, false, true, ""},
      {"ElsewhereInAReadOnlyFolderStartsFromTheFileBesideIt", "ro/bin/zelmirt-programmer", "usr", older, {}, true,
       false, older},
      {"ElsewhereInAReadOnlyFolderWithoutAFileStartsEmpty", "ro/empty/zelmirt-programmer", "usr", {}, {}, true, false,
       ""},
  };
  TTempFolder folder;
  // The configuration homes are made below by the user the rights are dropped to.
  ASSERT_EQ(chmod(folder.Path().c_str(), 0777), 0);
  for (const char* made : {"usr", "usr/bin", "usr2", "build", "build/gui", "ro", "ro/bin", "ro/empty"})
    ASSERT_EQ(mkdir(folder.File(made).c_str(), 0755), 0) << made;
  int row = 0;
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    const std::string configHome = folder.File(std::string("config-") + std::to_string(++row));
    TScopedVariable xdg("XDG_CONFIG_HOME", configHome.c_str());
    const std::string executable = folder.File(c.Executable);
    const std::string beside = ChangeFileExt(executable, ".INI");
    const std::string userFile = configHome + "/zelmirt-programmer/zelmirt-programmer.INI";
    const std::string executableFolder = ExtractFilePath(executable);
    ASSERT_EQ(chmod(executableFolder.c_str(), 0755), 0);
    unlink(beside.c_str());
    if (c.Beside) WriteWholeFile(beside, *c.Beside);
    if (c.UserFile) {
      ASSERT_EQ(mkdir(configHome.c_str(), 0777), 0);
      ASSERT_EQ(mkdir((configHome + "/zelmirt-programmer").c_str(), 0777), 0);
      WriteWholeFile(userFile, *c.UserFile);
    }
    if (c.WithoutFileRights) {
      ASSERT_EQ(chmod(executableFolder.c_str(), 0555), 0);
    }

    std::string chosen;
    const auto choose = [&] { chosen = SettingsFileFor(executable, folder.File(c.Prefix)); };
    if (c.WithoutFileRights) {
      ASSERT_TRUE(RunWithoutFileRights(choose)) << "cannot drop the file rights";
    } else {
      choose();
    }

    EXPECT_EQ(chosen, c.ExpectBeside ? beside : userFile);
    EXPECT_EQ(FileExists(chosen) ? ReadWholeFile(chosen) : "", c.ExpectedContent);
    if (!c.ExpectBeside) {
      EXPECT_EQ(ModeOf(configHome + "/zelmirt-programmer") & 0700, 0700u) << "the folder is there for the first save";
      EXPECT_EQ(c.Beside.has_value(), FileExists(beside)) << "the file beside the executable stays as it is";
    } else {
      EXPECT_EQ(ModeOf(configHome), 0u) << "a program keeping its settings beside it leaves the configuration home alone";
    }
  }
}

TEST(SettingsLocationTest, TheConfigurationHomeIsXdgConfigHomeWhenAbsoluteElseDotConfigInHome) {
  TScopedVariable home("HOME", "/home/operator");
  {
    TScopedVariable xdg("XDG_CONFIG_HOME", "/srv/settings");
    EXPECT_EQ(UserConfigHome(), "/srv/settings");
  }
  for (const char* ignored : {"", "relative/config"}) {
    TScopedVariable xdg("XDG_CONFIG_HOME", ignored);
    EXPECT_EQ(UserConfigHome(), "/home/operator/.config") << "XDG_CONFIG_HOME=" << ignored;
  }
  TScopedVariable xdg("XDG_CONFIG_HOME", nullptr);
  EXPECT_EQ(UserConfigHome(), "/home/operator/.config");
  TScopedVariable noHome("HOME", nullptr);
  EXPECT_EQ(UserConfigHome().substr(0, 1), "/") << "the home folder comes from the user database";
  EXPECT_TRUE(UserConfigHome().ends_with("/.config"));
}

}  // namespace
