#include <gtest/gtest.h>
#include <sys/resource.h>
#include <fcntl.h>
#include <sys/fsuid.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <functional>
#include <string>
#include <thread>

#include "platform/Files.h"
#include "platform/IniFile.h"
#include "tests/support/TempFolder.h"

namespace {
class IniFileTest : public testing::Test {
protected:
  TTempFolder Folder;
  std::string Name = Folder.File("zelmirt-programmer.INI");
  TIniFile Ini{Name};

  std::string Content() const { return ReadFileText(Name); }

  // Expects the write to fail with the file's name, the old content to stay and no
  // temporary file to be left beside it.
  void ExpectWriteFails(TIniFile& Ini, const std::string& ExpectedListing) {
    const bool existed = FileExists(Ini.FileName());
    const std::string before = existed ? ReadFileText(Ini.FileName()) : "";
    try {
      Ini.WriteString("Master", "IP Address", "192.168.1.50 and some more text to outgrow the limit");
      ADD_FAILURE() << "no error writing " << Ini.FileName();
    } catch (const EIniFileException& e) {
      EXPECT_EQ(e.Message(), "Unable to write to " + Ini.FileName());
    }
    EXPECT_EQ(FileExists(Ini.FileName()), existed);
    if (existed) {
      EXPECT_EQ(ReadFileText(Ini.FileName()), before);
    }
    EXPECT_EQ(Folder.Listing(), ExpectedListing);
  }
};

// Runs Check on a thread whose file accesses are made as an ordinary user: root ignores
// permissions, so a root test process drops them on that thread alone (the file-system user
// is per thread). Answers Check's result.
bool WithoutFileRights(const std::function<bool()>& Check) {
  if (geteuid() != 0) return Check();
  constexpr uid_t Nobody = 65534;
  bool result = false;
  std::thread unprivileged([&] {
    setfsgid(Nobody);
    setfsuid(Nobody);
    if (static_cast<uid_t>(setfsuid(static_cast<uid_t>(-1))) == Nobody) result = Check();
  });
  unprivileged.join();
  return result;
}

bool CanOpenForWriting(const std::string& Path) {
  const int descriptor = open(Path.c_str(), O_WRONLY | O_CLOEXEC);
  if (descriptor < 0) return false;
  close(descriptor);
  return true;
}

// Whether a file can be created at Path (it is removed again).
bool CanCreate(const std::string& Path) {
  const int descriptor = open(Path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
  if (descriptor < 0) return false;
  close(descriptor);
  unlink(Path.c_str());
  return true;
}

const std::string Settings =
    "; written by the programming utility\n"
    "[Master]\n"
    "IP Address=192.168.1.20\n"
    "\n"
    "[Program]\n"
    "MasterFile=/data/master.hex\n"
    "SlaveFile = /data/slave.hex \n"
    "Selected=3\n";

std::string WithCrLf(const std::string& Text) {
  std::string result;
  for (char c : Text) result += c == '\n' ? std::string("\r\n") : std::string(1, c);
  return result;
}
}  // namespace

TEST_F(IniFileTest, AbsentFileSectionOrKeyGivesTheDefault) {
  EXPECT_EQ(Ini.ReadString("Master", "IP Address", "none"), "none");
  WriteWholeFile(Name, Settings);
  EXPECT_EQ(Ini.ReadString("Slave", "IP Address", "no section"), "no section");
  EXPECT_EQ(Ini.ReadString("Master", "Port", "no key"), "no key");
  EXPECT_EQ(Ini.ReadString("Program", "IP Address", "other section's key"), "other section's key");
  // A comment is not a key, and a line before any section belongs to none.
  WriteWholeFile(Name, "Selected=5\n;Selected=6\n[Program]\n;Selected=7\n");
  EXPECT_EQ(Ini.ReadString("Program", "Selected", "0"), "0");
  EXPECT_EQ(Ini.ReadString("Program", ";Selected", "0"), "0");
  EXPECT_FALSE(FileExists(Folder.File("absent.INI")));
}

TEST_F(IniFileTest, NamesMatchWithoutRegardToCaseAndBlanksAreDropped) {
  WriteWholeFile(Name, "  [ master ]  \n\t ip ADDRESS \t=  \t10.0.0.7 \t \n[PROGRAM]\nselected=\n");
  EXPECT_EQ(Ini.ReadString("Master", "IP Address", ""), "10.0.0.7");
  EXPECT_EQ(Ini.ReadString("MASTER", "ip address", ""), "10.0.0.7");
  EXPECT_EQ(Ini.ReadString("Program", "Selected", "default"), "") << "a present empty value is not the default";
  WriteWholeFile(Name, Settings);
  EXPECT_EQ(Ini.ReadString("program", "SLAVEFILE", ""), "/data/slave.hex");
  // The first of two equal keys counts, and '=' in a value belongs to the value.
  WriteWholeFile(Name, "[Program]\nMasterFile=a=b\nmasterfile=second\n");
  EXPECT_EQ(Ini.ReadString("Program", "MasterFile", ""), "a=b");
}

TEST_F(IniFileTest, ValuesAreCutAt2047Characters) {
  const std::string exact(TIniFile::MaxValueLength, 'x');
  const std::string longer = std::string(TIniFile::MaxValueLength, 'y') + "overflow";
  Ini.WriteString("Program", "MasterFile", exact);
  Ini.WriteString("Program", "SlaveFile", longer);
  EXPECT_EQ(Ini.ReadString("Program", "MasterFile", ""), exact);
  EXPECT_EQ(Ini.ReadString("Program", "SlaveFile", ""), longer.substr(0, 2047));
}

TEST_F(IniFileTest, WindowsLineEndsAreReadAndKept) {
  WriteWholeFile(Name, WithCrLf(Settings));
  EXPECT_EQ(Ini.ReadString("Master", "IP Address", ""), "192.168.1.20");
  EXPECT_EQ(Ini.ReadString("Program", "Selected", ""), "3");
  Ini.WriteString("Program", "Selected", "7");
  Ini.WriteString("Program", "Extra", "1");
  Ini.WriteString("Window", "Left", "10");
  std::string expected = Settings;
  expected.replace(expected.find("Selected=3"), 10, "Selected=7");
  expected += "Extra=1\n[Window]\nLeft=10\n";
  EXPECT_EQ(Content(), WithCrLf(expected));
  EXPECT_EQ(Ini.ReadString("Program", "Selected", ""), "7");
}

TEST_F(IniFileTest, AWriteChangesOnlyItsKeyAndKeepsTheFilesSpelling) {
  const std::string original = "# site settings, do not remove\n"
                               "[master]   ; the unit reachable over TCP\n"
                               "ip ADDRESS=192.168.1.20\n"
                               "  Comment  = keep  me  \n"
                               "\n\n"
                               "[Program]\n"
                               "MasterFile=/data/master.hex\n";
  WriteWholeFile(Name, original);
  Ini.WriteString("Master", "IP Address", "10.1.2.3");
  std::string expected = original;
  expected.replace(expected.find("192.168.1.20"), 12, "10.1.2.3");
  EXPECT_EQ(Content(), expected);

  // A new key goes after the section's last line, before the blank lines that end it.
  Ini.WriteString("MASTER", "Port", "4001");
  const std::string lastLine = "  Comment  = keep  me  \n";
  expected.insert(expected.find(lastLine) + lastLine.size(), "Port=4001\n");
  EXPECT_EQ(Content(), expected);
  EXPECT_EQ(Ini.ReadString("Master", "Port", ""), "4001");
  EXPECT_EQ(Ini.ReadString("Master", "Comment", ""), "keep  me");
}

TEST_F(IniFileTest, WritesCreateTheFileSectionsAndKeysInOrder) {
  Ini.WriteString("Master", "IP Address", "192.168.1.20");
  Ini.WriteString("Program", "MasterFile", "/data/master.hex");
  Ini.WriteString("Program", "SlaveFile", "/data/slave.hex");
  Ini.WriteString("Program", "Selected", "7");
  EXPECT_EQ(Content(),
            "[Master]\nIP Address=192.168.1.20\n[Program]\nMasterFile=/data/master.hex\n"
            "SlaveFile=/data/slave.hex\nSelected=7\n");
  // Writing the same keys again changes values in place, nothing else.
  Ini.WriteString("Program", "Selected", "0");
  Ini.WriteString("Master", "IP Address", "");
  EXPECT_EQ(Content(),
            "[Master]\nIP Address=\n[Program]\nMasterFile=/data/master.hex\n"
            "SlaveFile=/data/slave.hex\nSelected=0\n");
  EXPECT_EQ(Folder.Listing(), "zelmirt-programmer.INI");
}

TEST_F(IniFileTest, AFileWithoutFinalLineEndGetsOneOnlyWhereALineFollows) {
  WriteWholeFile(Name, "[Master]\nIP Address=1.1.1.1");
  Ini.WriteString("Master", "IP Address", "2.2.2.2");
  EXPECT_EQ(Content(), "[Master]\nIP Address=2.2.2.2");
  Ini.WriteString("Master", "Port", "4001");
  EXPECT_EQ(Content(), "[Master]\nIP Address=2.2.2.2\nPort=4001\n");
  WriteWholeFile(Name, "[Master]");
  Ini.WriteString("Program", "Selected", "1");
  EXPECT_EQ(Content(), "[Master]\n[Program]\nSelected=1\n");
}

TEST_F(IniFileTest, ARewriteKeepsTheFilesPermissionsAndANewFileFollowsTheUmask) {
  const auto modeOf = [](const std::string& Path) {
    struct stat info {};
    EXPECT_EQ(stat(Path.c_str(), &info), 0) << Path;
    return info.st_mode & 07777;
  };
  WriteWholeFile(Name, Settings);
  ASSERT_EQ(chmod(Name.c_str(), 0604), 0);
  Ini.WriteString("Program", "Selected", "1");
  EXPECT_EQ(modeOf(Name), 0604u);

  const mode_t previous = umask(027);
  TIniFile fresh(Folder.File("fresh.INI"));
  fresh.WriteString("Program", "Selected", "1");
  umask(previous);
  EXPECT_EQ(modeOf(fresh.FileName()), 0640u);
}

TEST_F(IniFileTest, AWriteThatCannotBeDoneLeavesTheOldFileAndNoTemporary) {
  // The folder is missing, or is a regular file.
  TIniFile inMissingFolder(Folder.File("missing/zelmirt-programmer.INI"));
  ExpectWriteFails(inMissingFolder, "");
  WriteWholeFile(Folder.File("plain"), "not a folder");
  TIniFile inPlainFile(Folder.File("plain/zelmirt-programmer.INI"));
  ExpectWriteFails(inPlainFile, "plain");
  // The name is a folder.
  ASSERT_EQ(mkdir(Name.c_str(), 0755), 0);
  ExpectWriteFails(Ini, "plain zelmirt-programmer.INI");
}

TEST_F(IniFileTest, ADiskErrorDuringTheWriteLeavesTheOldFileWhole) {
  WriteWholeFile(Name, Settings);
  // A file size limit makes every write past it fail, as a full disk would, even for root.
  rlimit saved{};
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
  const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
  rlimit limited = saved;
  limited.rlim_cur = 16;
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limited), 0);
  ExpectWriteFails(Ini, "zelmirt-programmer.INI");
  setrlimit(RLIMIT_FSIZE, &saved);
  std::signal(SIGXFSZ, previousHandler);
  EXPECT_EQ(Content(), Settings);
}

TEST_F(IniFileTest, AReadOnlyFolderRefusesTheWrite) {
  WriteWholeFile(Name, Settings);
  ASSERT_EQ(chmod(Folder.Path().c_str(), 0555), 0);
  const bool enforced = WithoutFileRights([&] {
    if (CanCreate(Folder.File("probe"))) return false;
    ExpectWriteFails(Ini, "zelmirt-programmer.INI");
    return true;
  });
  chmod(Folder.Path().c_str(), 0755);
  if (!enforced) GTEST_SKIP() << "folder permissions are not enforced for this process";
}

TEST_F(IniFileTest, AReadOnlyFileIsNotReplaced) {
  WriteWholeFile(Name, Settings);
  ASSERT_EQ(chmod(Folder.Path().c_str(), 0777), 0);
  ASSERT_EQ(chmod(Name.c_str(), 0444), 0);
  const bool enforced = WithoutFileRights([&] {
    if (!CanCreate(Folder.File("probe")) || CanOpenForWriting(Name)) return false;
    ExpectWriteFails(Ini, "zelmirt-programmer.INI");
    return true;
  });
  if (!enforced) GTEST_SKIP() << "file permissions are not enforced for this process";
}

TEST_F(IniFileTest, NamesAndValuesThatWouldBreakTheFileAreRefused) {
  WriteWholeFile(Name, Settings);
  struct TCase {
    std::string Section, Key, Value, Fault;
  };
  for (const TCase& c : {TCase{"Program", "MasterFile", "a\nSelected=7", "value"},
                         TCase{"Program", "MasterFile", "a\rb", "value"},
                         TCase{"Program", "Master=File", "x", "key name"}, TCase{"Program", "  ", "x", "key name"},
                         TCase{"Program", ";Selected", "x", "key name"}, TCase{"Program", "[Master]", "x", "key name"},
                         TCase{"Pro]gram", "Selected", "1", "section name"}, TCase{"", "Selected", "1", "section name"},
                         TCase{"Pro\ngram", "Selected", "1", "section name"}}) {
    try {
      Ini.WriteString(c.Section, c.Key, c.Value);
      ADD_FAILURE() << "accepted [" << c.Section << "] " << c.Key;
    } catch (const EIniFileException& e) {
      EXPECT_EQ(e.Message().rfind("Unable to write to " + Name, 0), 0u) << e.Message();
      EXPECT_NE(e.Message().find(c.Fault), std::string::npos) << e.Message();
    }
  }
  EXPECT_EQ(Content(), Settings);
}
