#include <gtest/gtest.h>

#include <QProcess>
#include <QStringList>
#include <set>
#include <string>
#include <vector>

#include "tests/support/TempFolder.h"

namespace {
// The completions bash offers for the command line Words, the last being the word under the
// cursor, with the installed completion loaded; Words[0] is the program's path.
std::set<std::string> Completions(const std::vector<std::string>& Words, const std::string& Folder) {
  QStringList arguments{"--norc", "--noprofile", "-c",
                        "source \"$0\" && cd \"$1\" && shift && COMP_WORDS=(\"$@\") && "
                        "COMP_CWORD=$(($# - 1)) && _zelmirt && printf '%s\\n' \"${COMPREPLY[@]}\"",
                        ZELMIRT_BASH_COMPLETION, QString::fromStdString(Folder)};
  for (const std::string& word : Words) arguments << QString::fromStdString(word);
  QProcess bash;
  bash.start("bash", arguments);
  if (!bash.waitForFinished(30000) || bash.exitCode() != 0) {
    ADD_FAILURE() << "bash failed: " << bash.readAllStandardError().toStdString();
    return {};
  }
  std::set<std::string> completions;
  for (const QString& line : QString::fromUtf8(bash.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts))
    completions.insert(line.toStdString());
  return completions;
}

TEST(BashCompletionTest, OptionsAndTheirValuesComeFromEachProgramsHelp) {
  const std::string flash = ZELMIRT_FLASH_EXECUTABLE;
  const std::string sim = ZELMIRT_SIM_EXECUTABLE;
  struct TCase {
    const char* Name;
    std::vector<std::string> Words;
    std::set<std::string> Expected;
  };
  const TCase cases[] = {
      {"LongOptionsByTheirStart", {flash, "--ma"}, {"--master", "--master-recover"}},
      {"ShortOptions", {flash, "-q"}, {"-q"}},
      {"ChoicesOfAShortOptionsValue", {flash, "-u", ""}, {"master", "slave", "all"}},
      {"ChoicesOfALongOptionsValue", {flash, "--units", "s"}, {"slave"}},
      {"AValueJoinedWithEqualsAsBashSplitsIt", {flash, "--units", "=", "a"}, {"all"}},
      {"AValueRightAfterEquals", {flash, "--units", "="}, {"master", "slave", "all"}},
      {"AValueJoinedWithEqualsInOneWord", {flash, "--units=m"}, {"master"}},
      {"FilesForAFileValue", {flash, "-m", "ma"}, {"master.hex", "maps"}},
      {"FilesForTheDevicesFile", {flash, "--devices", "d"}, {"devices.txt"}},
      {"NothingForANumber", {flash, "--connect-timeout", ""}, {}},
      {"NothingForAnAddress", {flash, "-q", ""}, {}},
      {"OptionsAfterAnOptionWithoutValue", {flash, "--fast", "--js"}, {"--json"}},
      {"TheSimulatorsOptions", {sim, "--refuse-"}, {"--refuse-connections", "--refuse-record"}},
      {"TheSimulatorsUnits", {sim, "--in-bootloader", ""}, {"master", "slave", "both"}},
      {"TheSimulatorsFiles", {sim, "--flashed", "dev"}, {"devices.txt"}},
      {"NothingForTheSimulatorsNumbers", {sim, "--delay", ""}, {}},
  };
  TTempFolder folder;
  folder.WriteFile("master.hex", ":00000001FF\n");
  folder.WriteFile("maps", "");
  folder.WriteFile("devices.txt", "127.70.0.1\n");
  folder.WriteFile("slave.hex", ":00000001FF\n");
  for (const TCase& c : cases) EXPECT_EQ(Completions(c.Words, folder.Path()), c.Expected) << c.Name;
}
}  // namespace
