#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "platform/Files.h"
#include "tests/support/TempFolder.h"

TEST(FilesTest, FileExistsOnlyForRegularFiles) {
  TTempFolder folder;
  WriteWholeFile(folder.File("present.hex"), ":00000001FF\n");
  EXPECT_TRUE(FileExists(folder.File("present.hex")));
  EXPECT_FALSE(FileExists(folder.File("absent.hex")));
  EXPECT_FALSE(FileExists(folder.Path()));
  EXPECT_FALSE(FileExists(""));
}

TEST(FilesTest, ReadFileTextAnswersTheBytesOrNamesTheFileAndTheReason) {
  TTempFolder folder;
  const std::string bytes = std::string("line 1\r\nline 2\n\0binary\xff", 24);
  WriteWholeFile(folder.File("data.hex"), bytes);
  EXPECT_EQ(ReadFileText(folder.File("data.hex")), bytes);
  WriteWholeFile(folder.File("empty.hex"), "");
  EXPECT_EQ(ReadFileText(folder.File("empty.hex")), "");
  const std::string large(200'000, 'x');
  WriteWholeFile(folder.File("large.hex"), large);
  EXPECT_EQ(ReadFileText(folder.File("large.hex")), large);

  struct TCase {
    std::string Path;
    std::string Reason;
  };
  for (const TCase& c : {TCase{folder.File("absent.hex"), "No such file or directory"},
                         TCase{folder.Path(), "Is a directory"}}) {
    try {
      ReadFileText(c.Path);
      ADD_FAILURE() << "no error for " << c.Path;
    } catch (const EFileError& e) {
      EXPECT_NE(e.Message().find("\"" + c.Path + "\""), std::string::npos) << e.Message();
      EXPECT_NE(e.Message().find(c.Reason), std::string::npos) << e.Message();
    }
  }
}

TEST(FilesTest, ExecutablePathIsThisProgram) {
  const std::string path = ExecutablePath();
  ASSERT_FALSE(path.empty());
  EXPECT_EQ(path.front(), '/');
  EXPECT_EQ(ExtractFileName(path), "platform_tests");
  EXPECT_TRUE(FileExists(path));
  EXPECT_EQ(access(path.c_str(), X_OK), 0);
}

TEST(FilesTest, PathPartsAndExtensions) {
  EXPECT_EQ(ExtractFilePath("/opt/zelmirt/zelmirt-programmer"), "/opt/zelmirt/");
  EXPECT_EQ(ExtractFilePath("/zelmirt-programmer"), "/");
  EXPECT_EQ(ExtractFilePath("zelmirt-programmer"), "");
  EXPECT_EQ(ExtractFilePath("/opt/zelmirt/"), "/opt/zelmirt/");
  EXPECT_EQ(ExtractFileName("/opt/zelmirt/zelmirt-programmer"), "zelmirt-programmer");
  EXPECT_EQ(ExtractFileName("zelmirt-programmer"), "zelmirt-programmer");
  EXPECT_EQ(ExtractFileName("/opt/zelmirt/"), "");

  EXPECT_EQ(ChangeFileExt("/opt/zelmirt/zelmirt-programmer", ".INI"), "/opt/zelmirt/zelmirt-programmer.INI");
  EXPECT_EQ(ChangeFileExt("/opt/zelmirt/programmer.exe", ".INI"), "/opt/zelmirt/programmer.INI");
  EXPECT_EQ(ChangeFileExt("/opt/v1.1/programmer", ".INI"), "/opt/v1.1/programmer.INI");
  EXPECT_EQ(ChangeFileExt("archive.tar.gz", ".zip"), "archive.tar.zip");
  EXPECT_EQ(ChangeFileExt("notes.txt", ""), "notes");
}

// Nothing but a regular file within the limit is read; the rest is refused before reading,
// so that neither a FIFO without a writer nor /dev/zero holds the caller up.
TEST(FilesTest, ReadRegularFileRefusesWhatIsNotARegularFileOrTooLargeBeforeReadingIt) {
  TTempFolder folder;
  const std::string fifo = folder.File("pipe.hex");
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  WriteWholeFile(folder.File("ten.hex"), "0123456789");
  WriteWholeFile(folder.File("empty.hex"), "");
  struct TCase {
    const char* Name;
    std::string Path;
    size_t MaxBytes;
    std::string Content;  // empty with a Refusal
    std::string Refusal;
  };
  const std::vector<TCase> cases{
      {"regular file", folder.File("ten.hex"), 100, "0123456789", ""},
      {"exactly at the limit", folder.File("ten.hex"), 10, "0123456789", ""},
      {"empty file", folder.File("empty.hex"), 10, "", ""},
      {"one byte over the limit", folder.File("ten.hex"), 9, "", "holds 10 bytes, more than the 9 bytes allowed"},
      {"FIFO", fifo, 100, "", "it is a FIFO, not a regular file"},
      {"folder", folder.Path(), 100, "", "it is a folder, not a regular file"},
      {"endless device", "/dev/zero", 100, "", "it is a character device, not a regular file"},
      {"missing file", folder.File("absent.hex"), 100, "", "No such file or directory"},
  };
  for (const TCase& c : cases) {
    try {
      EXPECT_EQ(ReadRegularFile(c.Path, c.MaxBytes), c.Content) << c.Name;
      EXPECT_EQ(c.Refusal, "") << c.Name << " was read";
    } catch (const EFileError& e) {
      EXPECT_NE(c.Refusal, "") << c.Name << ": " << e.Message();
      EXPECT_NE(e.Message().find("\"" + c.Path + "\""), std::string::npos) << c.Name << ": " << e.Message();
      EXPECT_NE(e.Message().find(c.Refusal), std::string::npos) << c.Name << ": " << e.Message();
    }
  }
}
