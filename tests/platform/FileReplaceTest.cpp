#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <memory>
#include <vector>

#include "platform/FileReplace.h"
#include "platform/Files.h"
#include "tests/support/TempFolder.h"

TEST(FileReplaceTest, ReplacesTheWholeFileOrLeavesItAsItWasWithOrWithoutTheDiskSync) {
  TTempFolder folder;
  const std::string path = folder.File("flashed.txt");
  for (const TReplaceSync sync : {TReplaceSync::rsToDisk, TReplaceSync::rsVisibleOnly}) {
    ReplaceFileContent(path, "MASTER :00000001FF\n", sync);
    EXPECT_EQ(ReadWholeFile(path), "MASTER :00000001FF\n");
    ASSERT_EQ(chmod(path.c_str(), 0640), 0);
    ReplaceFileContent(path, "", sync);
    EXPECT_EQ(ReadWholeFile(path), "");
  }
  struct stat info {};
  ASSERT_EQ(stat(path.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0640u) << "the mode is kept";
  EXPECT_EQ(folder.Listing(), "flashed.txt");

  EXPECT_THROW(ReplaceFileContent(folder.File("none/flashed.txt"), "x", TReplaceSync::rsVisibleOnly), EFileError);
  ASSERT_EQ(mkdir(folder.File("taken").c_str(), 0755), 0);
  // A folder in the way is refused, and no temporary file is left.
  EXPECT_THROW(ReplaceFileContent(folder.File("taken"), "x", TReplaceSync::rsVisibleOnly), EFileError);
  EXPECT_EQ(folder.Listing(), "flashed.txt taken");
}

namespace {
// Holds File locked as a replacement in progress does, until it goes.
class THeldReplacement {
public:
  explicit THeldReplacement(const std::string& File) : FDescriptor(open(File.c_str(), O_RDONLY | O_CLOEXEC)) {
    if (FDescriptor < 0 || flock(FDescriptor, LOCK_EX) != 0) ADD_FAILURE() << "cannot lock " << File;
  }
  ~THeldReplacement() { close(FDescriptor); }
  THeldReplacement(const THeldReplacement&) = delete;
  THeldReplacement& operator=(const THeldReplacement&) = delete;

private:
  int FDescriptor;
};
}  // namespace

TEST(FileReplaceTest, RemovesOnlyLeftoversOfThatFilesReplacementsThatNoSaveHolds) {
  struct TCase {
    const char* Name;
    bool Held;
    bool Removed;
  };
  const TCase cases[] = {
      {".settings.INI.123.4.tmp", false, true},     // a save that died
      {".settings.INI.99999.17.tmp", false, true},  // another process's that died
      {".settings.INI.55.6.tmp", true, false},      // a save in progress
      {".other.INI.123.4.tmp", false, false},       // another file's
      {".settings.INI.tmp", false, false},
      {".settings.INI.12.x.tmp", false, false},
      {".settings.INI.12.tmp", false, false},
      {"settings.INI.1.2.tmp", false, false},
      {".settings.INI.1.2.tmp.bak", false, false},
      {".settings.INI..2.tmp", false, false},
  };
  TTempFolder folder;
  const std::string path = folder.WriteFile("settings.INI", "[Master]\n");
  std::vector<std::unique_ptr<THeldReplacement>> held;
  for (const TCase& c : cases) {
    folder.WriteFile(c.Name, "partial");
    if (c.Held) held.push_back(std::make_unique<THeldReplacement>(folder.File(c.Name)));
  }
  ASSERT_EQ(mkdir(folder.File(".settings.INI.7.8.tmp").c_str(), 0755), 0);

  RemoveStaleReplacements(path);
  for (const TCase& c : cases) EXPECT_EQ(FileExists(folder.File(c.Name)), !c.Removed) << c.Name;
  EXPECT_TRUE(std::filesystem::is_directory(folder.File(".settings.INI.7.8.tmp"))) << "a folder is no leftover";
  EXPECT_EQ(ReadWholeFile(path), "[Master]\n");

  held.clear();
  RemoveStaleReplacements(path);
  EXPECT_FALSE(FileExists(folder.File(".settings.INI.55.6.tmp"))) << "removed once its save is gone";
}

TEST(FileReplaceTest, AReplacementHeldByAnotherProcessStaysUntilThatProcessIsKilled) {
  TTempFolder folder;
  const std::string path = folder.WriteFile("settings.INI", "[Master]\n");
  const std::string leftover = folder.WriteFile(".settings.INI.4242.1.tmp", "partial");
  int ready[2];
  ASSERT_EQ(pipe(ready), 0);
  const pid_t saver = fork();
  ASSERT_GE(saver, 0);
  if (saver == 0) {
    // Only async-signal-safe calls after fork: lock, tell, wait for the kill.
    const int descriptor = open(leftover.c_str(), O_RDONLY | O_CLOEXEC);
    const char locked = descriptor >= 0 && flock(descriptor, LOCK_EX) == 0 ? 'y' : 'n';
    if (write(ready[1], &locked, 1) != 1) _exit(1);
    for (;;) pause();
  }
  close(ready[1]);
  char locked = 0;
  ASSERT_EQ(read(ready[0], &locked, 1), 1);
  close(ready[0]);
  ASSERT_EQ(locked, 'y');

  RemoveStaleReplacements(path);
  EXPECT_TRUE(FileExists(leftover)) << "the other process's save is in progress";
  ASSERT_EQ(kill(saver, SIGKILL), 0);
  int status = 0;
  ASSERT_EQ(waitpid(saver, &status, 0), saver);
  RemoveStaleReplacements(path);
  EXPECT_FALSE(FileExists(leftover)) << "its process is gone";
  EXPECT_EQ(folder.Listing(), "settings.INI");
}
