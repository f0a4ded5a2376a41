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

constexpr uid_t Nobody = 65534;

// Runs Check on a thread whose file accesses are made as an ordinary user: root ignores
// permissions, so a root test process drops them on that thread alone (the file-system user
// is per thread). Answers Check's result.
bool WithoutFileRights(const std::function<bool()>& Check) {
  if (geteuid() != 0) return Check();
  bool result = false;
  std::thread unprivileged([&] {
    setfsgid(Nobody);
    setfsuid(Nobody);
    if (static_cast<uid_t>(setfsuid(static_cast<uid_t>(-1))) == Nobody) result = Check();
  });
  unprivileged.join();
  return result;
}

std::string OwnerAndMode(uid_t Owner, gid_t Group, mode_t Mode) {
  return std::to_string(Owner) + ":" + std::to_string(Group) + " " + std::to_string(Mode);
}

std::string OwnerAndMode(const std::string& Path) {
  struct stat info {};
  if (stat(Path.c_str(), &info) != 0) return "missing";
  return OwnerAndMode(info.st_uid, info.st_gid, info.st_mode & 07777);
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

TEST_F(IniFileTest, TheCutNeverSplitsACharacter) {
  // Two-, three- and four-byte characters straddling the limit stay whole or go whole.
  for (const std::string character : {"\u00e9", "\u20ac", "\U0001F600"}) {
    const std::string head(TIniFile::MaxValueLength - 1, 'x');
    Ini.WriteString("Program", "MasterFile", head + character + "tail");
    EXPECT_EQ(Ini.ReadString("Program", "MasterFile", ""), head + character) << character.size() << " bytes";
  }
  // Characters count, not bytes; a stray byte counts as one.
  std::string wide;
  for (size_t i = 0; i < TIniFile::MaxValueLength; ++i) wide += i % 2 ? "\u20ac" : "\x80";
  Ini.WriteString("Program", "SlaveFile", wide + "\u20ac");
  EXPECT_EQ(Ini.ReadString("Program", "SlaveFile", ""), wide);
}

TEST_F(IniFileTest, LineEndsCrLfAndCrLfReadAlikeTheLastLineIncluded) {
  for (const std::string end : {"\n", "\r", "\r\n"}) {
    for (const bool finalEnd : {true, false}) {
      const std::string content = "[Master]" + end + "IP Address=192.168.0.10" + end + "[Program]" + end +
                                  "MasterFile=/data/m.hex" + end + "Selected=3" + (finalEnd ? end : "");
      WriteWholeFile(Name, content);
      const auto expectValues = [&](const char* Step) {
        EXPECT_EQ(Ini.ReadString("Master", "IP Address", ""), "192.168.0.10") << Step;
        EXPECT_EQ(Ini.ReadString("Program", "Selected", ""), "3") << Step;
        EXPECT_EQ(Ini.ReadString("Program", "MasterFile", ""), "/data/m.hex") << Step;
        EXPECT_EQ(Ini.ReadString("Program", "Master", "none"), "none") << Step;
      };
      expectValues("as found");
      // A write elsewhere keeps every other line, its line end included.
      Ini.WriteString("Program", "MasterFile", "/data/n.hex");
      std::string expected = content;
      expected.replace(expected.find("/data/m.hex"), 11, "/data/n.hex");
      EXPECT_EQ(Content(), expected);
      // A new key after an unterminated last line takes the file's own line end.
      Ini.WriteString("Program", "SlaveFile", "/data/s.hex");
      EXPECT_EQ(Content(), expected + (finalEnd ? "" : end) + "SlaveFile=/data/s.hex" + end);
      Ini.WriteString("Program", "MasterFile", "/data/m.hex");
      expectValues("after writes");
    }
  }
  // Mixed ends in one file.
  WriteWholeFile(Name, "[Master]\rIP Address=1.2.3.4\r\n[Program]\nSelected=7\r");
  EXPECT_EQ(Ini.ReadString("Master", "IP Address", ""), "1.2.3.4");
  EXPECT_EQ(Ini.ReadString("Program", "Selected", ""), "7");
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

TEST_F(IniFileTest, ASaveRemovesWhatSavesThatDiedLeftBesideTheFile) {
  WriteWholeFile(Name, "[Master]\nIP Address=10.0.0.1\n");
  Folder.WriteFile(".zelmirt-programmer.INI.4711.1.tmp", "[Master]\nIP Add");
  Folder.WriteFile(".zelmirt-programmer.INI.4711.2.tmp", "");
  Folder.WriteFile("notes.txt", "kept");
  Ini.WriteString("Master", "IP Address", "10.0.0.2");
  EXPECT_EQ(Content(), "[Master]\nIP Address=10.0.0.2\n");
  EXPECT_EQ(Folder.Listing(), "notes.txt zelmirt-programmer.INI");
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

TEST_F(IniFileTest, AWritableFileInAReadOnlyFolderIsRewrittenInPlace) {
  WriteWholeFile(Name, Settings);
  ASSERT_EQ(chown(Name.c_str(), Nobody, Nobody), 0);
  ASSERT_EQ(chmod(Name.c_str(), 0640), 0);
  ASSERT_EQ(chmod(Folder.Path().c_str(), 0555), 0);
  const bool enforced = WithoutFileRights([&] {
    if (CanCreate(Folder.File("probe")) || !CanOpenForWriting(Name)) return false;
    EXPECT_NO_THROW(Ini.WriteString("Program", "Selected", "1"));
    EXPECT_NO_THROW(Ini.WriteString("Master", "IP Address", "10.0.0.1"));
    std::string expected = Settings;
    expected.replace(expected.find("192.168.1.20"), 12, "10.0.0.1");
    expected.replace(expected.find("Selected=3"), 10, "Selected=1");
    EXPECT_EQ(Content(), expected);
    EXPECT_EQ(Folder.Listing(), "zelmirt-programmer.INI");
    // Space the file cannot get fails the write before anything is changed.
    rlimit saved{};
    EXPECT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit limited = saved;
    limited.rlim_cur = expected.size();
    EXPECT_EQ(setrlimit(RLIMIT_FSIZE, &limited), 0);
    ExpectWriteFails(Ini, "zelmirt-programmer.INI");
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previousHandler);
    return true;
  });
  chmod(Folder.Path().c_str(), 0755);
  if (!enforced) GTEST_SKIP() << "folder permissions are not enforced for this process";
  EXPECT_EQ(OwnerAndMode(Name), OwnerAndMode(Nobody, Nobody, 0640));

  // Neither the folder nor the file may be written: refused.
  ASSERT_EQ(chmod(Name.c_str(), 0444), 0);
  ASSERT_EQ(chmod(Folder.Path().c_str(), 0555), 0);
  WithoutFileRights([&] {
    ExpectWriteFails(Ini, "zelmirt-programmer.INI");
    return true;
  });
  chmod(Folder.Path().c_str(), 0755);
}

TEST_F(IniFileTest, AReplacedFileKeepsItsOwnerAndALinkKeepsPointingAtIt) {
  if (geteuid() != 0) GTEST_SKIP() << "giving a file to another owner needs root";
  // A file shared by a group and owned by another user stays theirs.
  WriteWholeFile(Name, Settings);
  constexpr uid_t OtherUser = 1234;
  constexpr gid_t SharedGroup = 4321;
  ASSERT_EQ(chown(Name.c_str(), OtherUser, SharedGroup), 0);
  ASSERT_EQ(chmod(Name.c_str(), 0664), 0);
  Ini.WriteString("Program", "Selected", "1");
  EXPECT_EQ(Ini.ReadString("Program", "Selected", ""), "1");
  EXPECT_EQ(OwnerAndMode(Name), OwnerAndMode(OtherUser, SharedGroup, 0664));
  // Another user of the group, who may write the file but not give it away, leaves it
  // theirs too: rewritten in place.
  ASSERT_EQ(chmod(Name.c_str(), 0666), 0);
  ASSERT_EQ(chmod(Folder.Path().c_str(), 0777), 0);
  const bool enforced = WithoutFileRights([&] {
    if (!CanCreate(Folder.File("probe"))) return false;
    EXPECT_NO_THROW(Ini.WriteString("Program", "Selected", "2"));
    return true;
  });
  chmod(Folder.Path().c_str(), 0755);
  EXPECT_TRUE(enforced);
  EXPECT_EQ(Ini.ReadString("Program", "Selected", ""), "2");
  EXPECT_EQ(OwnerAndMode(Name), OwnerAndMode(OtherUser, SharedGroup, 0666));
  EXPECT_EQ(Folder.Listing(), "zelmirt-programmer.INI");

  // The settings file is a link into another folder: the target gets the value.
  ASSERT_EQ(mkdir(Folder.File("shared").c_str(), 0755), 0);
  const std::string target = Folder.File("shared/site.INI");
  WriteWholeFile(target, Settings);
  const std::string link = Folder.File("linked.INI");
  ASSERT_EQ(symlink("shared/site.INI", link.c_str()), 0);
  TIniFile linked(link);
  linked.WriteString("Master", "IP Address", "10.0.0.2");
  struct stat info {};
  ASSERT_EQ(lstat(link.c_str(), &info), 0);
  EXPECT_TRUE(S_ISLNK(info.st_mode)) << "the link was replaced";
  EXPECT_EQ(TIniFile(target).ReadString("Master", "IP Address", ""), "10.0.0.2");
  EXPECT_EQ(Folder.Listing(), "linked.INI shared zelmirt-programmer.INI");
  // A link to a file not yet there creates the target.
  const std::string dangling = Folder.File("dangling.INI");
  ASSERT_EQ(symlink("shared/new.INI", dangling.c_str()), 0);
  TIniFile(dangling).WriteString("Program", "Selected", "2");
  EXPECT_EQ(TIniFile(Folder.File("shared/new.INI")).ReadString("Program", "Selected", ""), "2");
  ASSERT_EQ(lstat(dangling.c_str(), &info), 0);
  EXPECT_TRUE(S_ISLNK(info.st_mode));
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
      EXPECT_EQ(e.Message(), "Unable to write to " + Name);
      EXPECT_NE(e.Reason().find(c.Fault), std::string::npos) << e.Reason();
    }
  }
  EXPECT_EQ(Content(), Settings);
}
