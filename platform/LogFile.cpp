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
  TFileDescriptor file(::open(Path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644));
  if (file.Get() < 0) RaiseFileError("open", Path, errno);
  if (::flock(file.Get(), LOCK_EX) != 0) RaiseFileError("lock", Path, errno);
  const off_t end = ::lseek(file.Get(), 0, SEEK_END);
  if (end < 0) RaiseFileError("seek in", Path, errno);
  const std::string data = end == 0 ? HeaderIfEmpty + Text : Text;
  const int error = WriteAll(file.Get(), data);
  if (error != 0) {
    // Take back a partial append so the file keeps its old contents whole.
    [[maybe_unused]] const int truncated = ::ftruncate(file.Get(), end);
    RaiseFileError("write", Path, error);
  }
  const int closeError = file.Close();
  if (closeError != 0) RaiseFileError("write", Path, closeError);
}
