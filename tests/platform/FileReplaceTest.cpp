#include <gtest/gtest.h>
#include <sys/stat.h>

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
