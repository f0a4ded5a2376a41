#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <optional>
#include <string>

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
