#include "platform/LogFile.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "base/Format.h"
#include "platform/Files.h"
#include "platform/SystemError.h"

namespace {
[[noreturn]] void RaiseFileError(const char* Action, const std::string& Path, int Error) {
  throw EFileError(Format("Cannot %s file \"%s\": %s", Action, Path.c_str(), SysErrorMessage(Error).c_str()));
}

class TFileDescriptor {
public:
  explicit TFileDescriptor(int Fd) : FFd(Fd) {}
  ~TFileDescriptor() {
    if (FFd >= 0) ::close(FFd);
  }
  TFileDescriptor(const TFileDescriptor&) = delete;
  TFileDescriptor& operator=(const TFileDescriptor&) = delete;
  int Get() const { return FFd; }
  // Closes now and answers errno of a failed close, 0 otherwise.
  int Close() {
    const int result = ::close(FFd);
    FFd = -1;
    return result == 0 ? 0 : errno;
  }

private:
  int FFd;
};

// Holds an open file's exclusive lock until it goes.
class TExclusiveLock {
public:
  TExclusiveLock(int Fd, const std::string& Path) : FFd(Fd) {
    if (::flock(FFd, LOCK_EX) != 0) RaiseFileError("lock", Path, errno);
  }
  ~TExclusiveLock() { ::flock(FFd, LOCK_UN); }
  TExclusiveLock(const TExclusiveLock&) = delete;
  TExclusiveLock& operator=(const TExclusiveLock&) = delete;

private:
  int FFd;
};

// 0 when every byte was written, else errno.
int WriteAll(int Fd, const std::string& Data) {
  size_t done = 0;
  while (done < Data.size()) {
    const ssize_t written = ::write(Fd, Data.data() + done, Data.size() - done);
    if (written < 0) {
      if (errno == EINTR) continue;
      return errno;
    }
    done += static_cast<size_t>(written);
  }
  return 0;
}
}  // namespace

void ReplaceFileContents(const std::string& Path, const std::string& Contents) {
  const std::string temporary = Path + ".tmp-XXXXXX";
  std::string name = temporary;
  TFileDescriptor file(::mkstemp(name.data()));
  if (file.Get() < 0) RaiseFileError("create", Path, errno);
  int error = WriteAll(file.Get(), Contents);
  if (error == 0 && ::fchmod(file.Get(), 0644) != 0) error = errno;
  if (error == 0 && ::fsync(file.Get()) != 0) error = errno;
  const int closeError = file.Close();
  if (error == 0) error = closeError;
  if (error == 0 && ::rename(name.c_str(), Path.c_str()) != 0) error = errno;
  if (error != 0) {
    ::unlink(name.c_str());
    RaiseFileError("write", Path, error);
  }
}

void AppendToFile(const std::string& Path, const std::string& HeaderIfEmpty, const std::string& Text) {
  TAppendingFile file(Path);
  file.Append(HeaderIfEmpty, Text);
  file.Close();
}

TAppendingFile::TAppendingFile(std::string Path)
    : FPath(std::move(Path)), FFd(::open(FPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644)) {
  if (FFd < 0) RaiseFileError("open", FPath, errno);
}

TAppendingFile::~TAppendingFile() {
  if (FFd >= 0) ::close(FFd);
}

void TAppendingFile::Append(const std::string& HeaderIfEmpty, const std::string& Text) {
  if (FFd < 0) RaiseFileError("write", FPath, EBADF);
  const TExclusiveLock lock(FFd, FPath);
  const off_t end = ::lseek(FFd, 0, SEEK_END);
  if (end < 0) RaiseFileError("seek in", FPath, errno);
  const int error = WriteAll(FFd, end == 0 ? HeaderIfEmpty + Text : Text);
  if (error != 0) {
    // Take back a partial append so the file keeps its old contents whole.
    [[maybe_unused]] const int truncated = ::ftruncate(FFd, end);
    RaiseFileError("write", FPath, error);
  }
}

void TAppendingFile::Close() {
  if (FFd < 0) return;
  const int result = ::close(FFd);
  FFd = -1;
  if (result != 0) RaiseFileError("write", FPath, errno);
}
