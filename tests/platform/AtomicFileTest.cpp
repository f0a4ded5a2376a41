#include <gtest/gtest.h>
#include <sys/stat.h>

#include "platform/AtomicFile.h"
#include "tests/support/TempFolder.h"

TEST(AtomicFileTest, ReplacesTheWholeFileOrLeavesItAsItWas) {
  TTempFolder folder;
  const std::string path = folder.File("flashed.txt");
  for (const TReplaceSync sync : {TReplaceSync::rsToDisk, TReplaceSync::rsVisibleOnly}) {
    ASSERT_TRUE(ReplaceFileContent(path, "MASTER :00000001FF\n", std::nullopt, sync));
    EXPECT_EQ(ReadWholeFile(path), "MASTER :00000001FF\n");
    ASSERT_TRUE(ReplaceFileContent(path, "", 0640, sync));
    EXPECT_EQ(ReadWholeFile(path), "");
  }
  struct stat info {};
  ASSERT_EQ(stat(path.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0640u);
  EXPECT_EQ(folder.Listing(), "flashed.txt");

  EXPECT_FALSE(ReplaceFileContent(folder.File("none/flashed.txt"), "x", std::nullopt, TReplaceSync::rsVisibleOnly));
  ASSERT_EQ(mkdir(folder.File("taken").c_str(), 0755), 0);
  // A folder in the way: the rename fails after the content was written, and the
  // temporary file goes again.
  EXPECT_FALSE(ReplaceFileContent(folder.File("taken"), "x", std::nullopt, TReplaceSync::rsVisibleOnly));
  EXPECT_EQ(folder.Listing(), "flashed.txt taken");
}
