#include "platform/Files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>

#include "base/Format.h"

bool FileExists(const std::string& Path) {
  struct stat info {};
  return stat(Path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

namespace {
[[noreturn]] void RaiseFileError(const char* Action, const std::string& Path, int Error) {
  throw EFileError(Format("Cannot %s file \"%s\": %s", Action, Path.c_str(), std::strerror(Error)));
}

class TFileDescriptor {
public:
  explicit TFileDescriptor(int Descriptor) : FDescriptor(Descriptor) {}
  ~TFileDescriptor() {
    if (FDescriptor >= 0) close(FDescriptor);
  }
  TFileDescriptor(const TFileDescriptor&) = delete;
  TFileDescriptor& operator=(const TFileDescriptor&) = delete;
  int Get() const { return FDescriptor; }

private:
  int FDescriptor;
};
}  // namespace

std::string ReadFileText(const std::string& Path) {
  const TFileDescriptor file(open(Path.c_str(), O_RDONLY | O_CLOEXEC));
  if (file.Get() < 0) RaiseFileError("open", Path, errno);
  std::string content;
  char chunk[65536];
  for (;;) {
    const ssize_t got = read(file.Get(), chunk, sizeof chunk);
    if (got < 0) {
      if (errno == EINTR) continue;
      RaiseFileError("read", Path, errno);
    }
    if (got == 0) return content;
    content.append(chunk, static_cast<size_t>(got));
  }
}

namespace {
const char* FileKind(mode_t Mode) {
  if (S_ISDIR(Mode)) return "a folder";
  if (S_ISFIFO(Mode)) return "a FIFO";
  if (S_ISCHR(Mode)) return "a character device";
  if (S_ISBLK(Mode)) return "a block device";
  if (S_ISSOCK(Mode)) return "a socket";
  return "not a regular file";
}

void RequireRegularFile(const struct stat& Info, const std::string& Path, size_t MaxBytes) {
  if (!S_ISREG(Info.st_mode))
    throw EFileError(Format("Cannot read file \"%s\": it is %s, not a regular file", Path.c_str(),
                            FileKind(Info.st_mode)));
  if (static_cast<unsigned long long>(Info.st_size) > MaxBytes)
    throw EFileError(Format("Cannot read file \"%s\": it holds %lld bytes, more than the %zu bytes allowed",
                            Path.c_str(), static_cast<long long>(Info.st_size), MaxBytes));
}
}  // namespace

std::string ReadRegularFile(const std::string& Path, size_t MaxBytes) {
  struct stat info {};
  if (stat(Path.c_str(), &info) != 0) RaiseFileError("open", Path, errno);
  RequireRegularFile(info, Path, MaxBytes);
  // Without blocking: the name may have been replaced by a FIFO since.
  const TFileDescriptor file(open(Path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
  if (file.Get() < 0) RaiseFileError("open", Path, errno);
  if (fstat(file.Get(), &info) != 0) RaiseFileError("read", Path, errno);
  RequireRegularFile(info, Path, MaxBytes);
  std::string content;
  char chunk[65536];
  // One byte beyond the limit tells a file that grew since from one that did not.
  while (content.size() <= MaxBytes) {
    const size_t wanted = std::min(sizeof chunk, MaxBytes + 1 - content.size());
    const ssize_t got = read(file.Get(), chunk, wanted);
    if (got < 0) {
      if (errno == EINTR) continue;
      RaiseFileError("read", Path, errno);
    }
    if (got == 0) return content;
    content.append(chunk, static_cast<size_t>(got));
  }
  throw EFileError(Format("Cannot read file \"%s\": it grew beyond the %zu bytes allowed while it was read",
                          Path.c_str(), MaxBytes));
}

void MakeFolder(const std::string& Path) {
  std::error_code error;
  std::filesystem::create_directories(Path, error);
  if (error) throw EFileError(Format("Cannot make folder \"%s\": %s", Path.c_str(), error.message().c_str()));
}

std::string ExecutablePath() {
  std::string path(256, '\0');
  for (;;) {
    const ssize_t length = readlink("/proc/self/exe", path.data(), path.size());
    if (length < 0) throw EFileError(Format("Cannot read \"/proc/self/exe\": %s", std::strerror(errno)));
    if (static_cast<size_t>(length) < path.size()) {
      path.resize(static_cast<size_t>(length));
      return path;
    }
    path.resize(path.size() * 2);  // possibly cut; try again with more room
  }
}

std::string ExtractFilePath(const std::string& Path) {
  const size_t slash = Path.rfind('/');
  return slash == std::string::npos ? std::string() : Path.substr(0, slash + 1);
}

std::string ExtractFileName(const std::string& Path) {
  const size_t slash = Path.rfind('/');
  return slash == std::string::npos ? Path : Path.substr(slash + 1);
}

std::string ChangeFileExt(const std::string& Path, const std::string& Ext) {
  const size_t nameStart = Path.rfind('/') == std::string::npos ? 0 : Path.rfind('/') + 1;
  const size_t dot = Path.rfind('.');
  const size_t stemEnd = (dot == std::string::npos || dot < nameStart) ? Path.size() : dot;
  return Path.substr(0, stemEnd) + Ext;
}
