#include "platform/LogFile.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <unistd.h>

#include <csignal>

#include "platform/Files.h"
#include "tests/support/TempFolder.h"

TEST(LogFileTest, AppendsOfSeveralWritersFollowEachOtherWholeWithTheHeaderOnce) {
  TTempFolder folder;
  const std::string path = folder.File("station.log");
  // Two calls of a station sharing one log each keep it open; a third writes a line and goes.
  TAppendingFile first(path);
  TAppendingFile second(path);
  first.Append("# header\n", "127.0.0.1 erase\n");
  second.Append("# header\n", "127.0.0.2 erase\n");
  AppendToFile(path, "# header\n", "summary\n");
  first.Append("# header\n", "127.0.0.1 done\n");
  second.Close();
  EXPECT_EQ(ReadWholeFile(path), "# header\n127.0.0.1 erase\n127.0.0.2 erase\nsummary\n127.0.0.1 done\n");
  EXPECT_THROW(second.Append("", "after its close\n"), EFileError);
  EXPECT_THROW(TAppendingFile(folder.File("no-folder/station.log")), EFileError);
}

namespace {
// Lets this process write files only up to Bytes long, until it goes; a write beyond it
// fails (EFBIG) instead of raising a signal.
class TFileSizeLimit {
public:
  explicit TFileSizeLimit(rlim_t Bytes) : FOldHandler(std::signal(SIGXFSZ, SIG_IGN)) {
    getrlimit(RLIMIT_FSIZE, &FOldLimit);
    const rlimit limit{Bytes, FOldLimit.rlim_max};
    if (setrlimit(RLIMIT_FSIZE, &limit) != 0) ADD_FAILURE() << "cannot limit the file size";
  }
  ~TFileSizeLimit() {
    setrlimit(RLIMIT_FSIZE, &FOldLimit);
    std::signal(SIGXFSZ, FOldHandler);
  }
  TFileSizeLimit(const TFileSizeLimit&) = delete;
  TFileSizeLimit& operator=(const TFileSizeLimit&) = delete;

private:
  rlimit FOldLimit{};
  void (*FOldHandler)(int);
};
}  // namespace

TEST(LogFileTest, AnAppendThatCannotBeWrittenWholeIsTakenBackAndLeavesTheFileUnlocked) {
  TTempFolder folder;
  const std::string path = folder.File("run.log");
  TAppendingFile log(path);
  log.Append("", "first line\n");
  {
    // Room for part of the next line only: the write stops halfway, as on a full disk.
    const TFileSizeLimit limit(16);
    try {
      log.Append("", "second line, longer than the room\n");
      ADD_FAILURE() << "the append did not fail";
    } catch (const EFileError& E) {
      EXPECT_EQ(std::string(E.what()).find("Cannot write file \"" + path + "\""), 0u) << E.what();
    }
  }
  EXPECT_EQ(ReadWholeFile(path), "first line\n") << "no part of the failed line stays";
  // Another writer gets the lock at once: the failed append let go of it.
  const int other = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  ASSERT_GE(other, 0);
  EXPECT_EQ(flock(other, LOCK_EX | LOCK_NB), 0);
  close(other);
  log.Append("", "third line\n");
  EXPECT_EQ(ReadWholeFile(path), "first line\nthird line\n");
}
