#include "platform/FileReplace.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <optional>

#include "base/Format.h"
#include "platform/Files.h"

namespace {
// As many links as the system follows in one path.
constexpr int MaxLinkHops = 40;

[[noreturn]] void RaiseWriteError(const std::string& Path, const char* Step, const char* Reason) {
  throw EFileError(Format("Cannot write file \"%s\" (%s): %s", Path.c_str(), Step, Reason));
}

[[noreturn]] void RaiseWriteError(const std::string& Path, const char* Step, int Error) {
  RaiseWriteError(Path, Step, std::strerror(Error));
}

// The file Path finally names, its symbolic links followed. A link to nothing names the file
// it would create; a loop of links is left for the system to refuse.
std::string ResolveLinks(const std::string& Path) {
  std::string path = Path;
  for (int hop = 0; hop < MaxLinkHops; ++hop) {
    struct stat info {};
    if (lstat(path.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) return path;
    std::string target(static_cast<size_t>(info.st_size) + 1, '\0');
    const ssize_t length = readlink(path.c_str(), target.data(), target.size());
    if (length < 0 || static_cast<size_t>(length) == target.size()) return path;
    target.resize(static_cast<size_t>(length));
    path = target.front() == '/' ? target : ExtractFilePath(path) + target;
  }
  return path;
}

class TDescriptor {
public:
  explicit TDescriptor(int Descriptor = -1) : FDescriptor(Descriptor) {}
  ~TDescriptor() { Close(); }
  TDescriptor(const TDescriptor&) = delete;
  TDescriptor& operator=(const TDescriptor&) = delete;
  int Get() const { return FDescriptor; }
  void Reset(int Descriptor) {
    Close();
    FDescriptor = Descriptor;
  }
  // Answers whether the close went well; a failed close can mean lost data.
  bool Close() {
    if (FDescriptor < 0) return true;
    const int descriptor = FDescriptor;
    FDescriptor = -1;
    return close(descriptor) == 0;
  }

private:
  int FDescriptor;
};

bool WriteAllAt(int Descriptor, const std::string& Content, off_t Offset) {
  size_t done = 0;
  while (done < Content.size()) {
    const ssize_t written =
        pwrite(Descriptor, Content.data() + done, Content.size() - done, Offset + static_cast<off_t>(done));
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) {
      if (written == 0) errno = EIO;
      return false;
    }
    done += static_cast<size_t>(written);
  }
  return true;
}

// Makes a rename in the folder durable; the file is whole either way.
void SyncFolder(const std::string& Path) {
  const std::string folder = ExtractFilePath(Path);
  const TDescriptor descriptor(open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (descriptor.Get() >= 0) fsync(descriptor.Get());
}

// A new file beside the target that takes the target's place once complete; removed when it
// did not.
class TReplacementFile {
public:
  explicit TReplacementFile(const std::string& Target) : FTarget(Target) {}
  ~TReplacementFile() {
    FFile.Close();
    if (!FName.empty()) unlink(FName.c_str());
  }
  TReplacementFile(const TReplacementFile&) = delete;
  TReplacementFile& operator=(const TReplacementFile&) = delete;

  // Not mkstemp: its 0600 would need the process-wide umask changed and restored to find
  // the mode a new file should have. Leaves errno set on failure.
  bool Create() {
    static std::atomic<unsigned> counter{0};
    for (int attempt = 0; attempt < 100; ++attempt) {
      const std::string name = Format("%s.%s.%d.%u.tmp", ExtractFilePath(FTarget).c_str(),
                                      ExtractFileName(FTarget).c_str(), static_cast<int>(getpid()), ++counter);
      const int descriptor = open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
      if (descriptor >= 0) {
        FFile.Reset(descriptor);
        FName = name;
        return true;
      }
      if (errno != EEXIST) return false;
    }
    return false;
  }

  // Gives the new file the old one's owner and mode; false when the owner cannot be kept.
  bool TakeOwnerAndMode(const struct stat& Old) {
    struct stat own {};
    if (fstat(FFile.Get(), &own) != 0) return false;
    if ((own.st_uid != Old.st_uid || own.st_gid != Old.st_gid) && fchown(FFile.Get(), Old.st_uid, Old.st_gid) != 0)
      return false;
    // After the owner: a change of owner clears the set-id bits.
    return fchmod(FFile.Get(), Old.st_mode & 07777) == 0;
  }

  void Commit(const std::string& Path, const std::string& Content, TReplaceSync Sync) {
    const bool toDisk = Sync == TReplaceSync::rsToDisk;
    if (!WriteAllAt(FFile.Get(), Content, 0)) RaiseWriteError(Path, "writing the new content", errno);
    if ((toDisk && fsync(FFile.Get()) != 0) || !FFile.Close())
      RaiseWriteError(Path, "flushing the new content", errno);
    if (rename(FName.c_str(), FTarget.c_str()) != 0) RaiseWriteError(Path, "putting the new content in place", errno);
    FName.clear();
    if (toDisk) SyncFolder(FTarget);
  }

private:
  const std::string& FTarget;
  TDescriptor FFile;
  std::string FName;
};

// Writes Content over the file where it stands. Growing claims the space first, so that a
// full disk or a size limit fails the write before a byte has changed; a write that fails
// all the same puts the old content back as far as it can.
void RewriteInPlace(const std::string& Path, const std::string& Target, const std::string& Content) {
  const std::string previous = ReadFileText(Target);
  TDescriptor file(open(Target.c_str(), O_WRONLY | O_CLOEXEC));
  if (file.Get() < 0) RaiseWriteError(Path, "opening it", errno);
  const auto size = static_cast<off_t>(Content.size());
  if (Content.size() > previous.size()) {
    if (fallocate(file.Get(), FALLOC_FL_KEEP_SIZE, 0, size) != 0 && errno != EOPNOTSUPP)
      RaiseWriteError(Path, "claiming space", errno);
    if (ftruncate(file.Get(), size) != 0) RaiseWriteError(Path, "claiming space", errno);
  }
  if (!WriteAllAt(file.Get(), Content, 0) || ftruncate(file.Get(), size) != 0 || fsync(file.Get()) != 0) {
    const int error = errno;
    // Putting the old content back is all that is left to try; the error reported is the
    // first one either way.
    if (WriteAllAt(file.Get(), previous, 0) && ftruncate(file.Get(), static_cast<off_t>(previous.size())) == 0)
      fsync(file.Get());
    RaiseWriteError(Path, "rewriting it in place", error);
  }
  if (!file.Close()) RaiseWriteError(Path, "flushing it", errno);
}

bool CanOpenForWriting(const std::string& Path) { return TDescriptor(open(Path.c_str(), O_WRONLY | O_CLOEXEC)).Get() >= 0; }
}  // namespace

void ReplaceFileContent(const std::string& Path, const std::string& Content, TReplaceSync Sync) {
  const std::string target = ResolveLinks(Path);
  struct stat info {};
  std::optional<struct stat> old;
  if (stat(target.c_str(), &info) == 0) {
    if (!S_ISREG(info.st_mode)) RaiseWriteError(Path, "checking it", "not a regular file");
    // The folder's permission would allow the rename; a file that may not be written to
    // must stay as it is all the same.
    if (!CanOpenForWriting(target)) RaiseWriteError(Path, "checking it", errno);
    old = info;
  } else if (errno != ENOENT) {
    RaiseWriteError(Path, "checking it", errno);
  }

  TReplacementFile replacement(target);
  if (!replacement.Create()) {
    const int error = errno;
    if (old && (error == EACCES || error == EPERM)) return RewriteInPlace(Path, target, Content);
    RaiseWriteError(Path, "creating the new content beside it", error);
  }
  if (old && !replacement.TakeOwnerAndMode(*old)) return RewriteInPlace(Path, target, Content);
  replacement.Commit(Path, Content, Sync);
}
