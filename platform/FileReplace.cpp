#include "platform/FileReplace.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <memory>
#include <optional>
#include <string_view>
#include <vector>

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

// A replacement's name is ".<name>.<process>.<serial>.tmp" beside the file <name>; these
// are its first and last parts.
std::string ReplacementNamePrefix(const std::string& Target) {
  std::string prefix(1, '.');
  prefix += ExtractFileName(Target);
  prefix += '.';
  return prefix;
}
constexpr std::string_view ReplacementNameSuffix = ".tmp";

bool AllDigits(std::string_view Text) {
  return !Text.empty() && Text.find_first_not_of("0123456789") == std::string_view::npos;
}

bool IsReplacementName(std::string_view Name, const std::string& Prefix) {
  if (Name.size() < Prefix.size() + ReplacementNameSuffix.size() || !Name.starts_with(Prefix) ||
      !Name.ends_with(ReplacementNameSuffix))
    return false;
  const std::string_view middle = Name.substr(Prefix.size(), Name.size() - Prefix.size() - ReplacementNameSuffix.size());
  const size_t dot = middle.find('.');
  return dot != std::string_view::npos && AllDigits(middle.substr(0, dot)) && AllDigits(middle.substr(dot + 1));
}

// A save holds its replacement locked from its creation until it has taken the file's place
// or is removed, so a replacement that can be locked was left by a save that died.
bool LockReplacement(int Descriptor, int Operation) {
  while (flock(Descriptor, Operation) != 0)
    if (errno != EINTR) return false;
  return true;
}

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
    FLockHolder.Close();
  }
  TReplacementFile(const TReplacementFile&) = delete;
  TReplacementFile& operator=(const TReplacementFile&) = delete;

  // Not mkstemp: its 0600 would need the process-wide umask changed and restored to find
  // the mode a new file should have. Leaves errno set on failure.
  bool Create() {
    static std::atomic<unsigned> counter{0};
    for (int attempt = 0; attempt < 100; ++attempt) {
      const std::string name = Format("%s%s%d.%u%s", ExtractFilePath(FTarget).c_str(),
                                      ReplacementNamePrefix(FTarget).c_str(), static_cast<int>(getpid()), ++counter,
                                      std::string(ReplacementNameSuffix).c_str());
      const int descriptor = open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
      if (descriptor < 0) {
        if (errno != EEXIST) return false;
        continue;
      }
      FFile.Reset(descriptor);
      if (!HoldLock()) {
        // Taken for a dead save's leftover and removed between its creation and the lock.
        FFile.Close();
        FLockHolder.Close();
        continue;
      }
      FName = name;
      return true;
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
  // Locks the new file for as long as it may be found under its name: a second descriptor
  // holds the lock while the first is closed before the rename, so that a failed close is
  // seen before the file takes the old one's place. Where the file system has no locks the
  // file stays unlocked, and the leftovers' removal finds none it may remove. False when the
  // file was removed before the lock was taken.
  bool HoldLock() {
    FLockHolder.Reset(dup(FFile.Get()));
    if (FLockHolder.Get() < 0 || !LockReplacement(FLockHolder.Get(), LOCK_EX)) return true;
    struct stat own {};
    return fstat(FLockHolder.Get(), &own) != 0 || own.st_nlink > 0;
  }

  const std::string& FTarget;
  TDescriptor FFile;
  TDescriptor FLockHolder;
  std::string FName;
};

// Removes the replacement Name in Folder when no save holds it, and only the file that was
// checked: the name must still lead to the locked file.
void RemoveIfStale(const std::string& Folder, const std::string& Name) {
  const std::string path = Folder + Name;
  const TDescriptor file(open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
  if (file.Get() < 0 || !LockReplacement(file.Get(), LOCK_EX | LOCK_NB)) return;
  struct stat locked {}, named {};
  if (fstat(file.Get(), &locked) != 0 || !S_ISREG(locked.st_mode) || lstat(path.c_str(), &named) != 0 ||
      named.st_dev != locked.st_dev || named.st_ino != locked.st_ino)
    return;
  unlink(path.c_str());
}

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

struct TFolderClose {
  void operator()(DIR* Folder) const { closedir(Folder); }
};

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

void RemoveStaleReplacements(const std::string& Path) {
  const std::string target = ResolveLinks(Path);
  const std::string folder = ExtractFilePath(target);
  const std::string prefix = ReplacementNamePrefix(target);
  const std::unique_ptr<DIR, TFolderClose> listing(opendir(folder.empty() ? "." : folder.c_str()));
  if (!listing) return;
  std::vector<std::string> stale;
  while (const dirent* entry = readdir(listing.get()))
    if (IsReplacementName(entry->d_name, prefix)) stale.emplace_back(entry->d_name);
  for (const std::string& name : stale) RemoveIfStale(folder, name);
}
