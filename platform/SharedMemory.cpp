#include "platform/SharedMemory.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {
std::string SystemName(const std::string& Name) { return "/" + Name; }
}  // namespace

TSharedMemory::~TSharedMemory() { Close(); }

TSharedMemory::TResult TSharedMemory::Open(const std::string& Name, size_t Size, bool ReadOnly) {
  Close();
  const std::string name = SystemName(Name);
  constexpr mode_t Everyone = 0666;
  const int fd = shm_open(name.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, Everyone);
  if (fd < 0) return TResult::CreateFailed;
  // Readable and writable by everyone, like a section without an access list. The umask
  // took some of those rights at creation; it is not cleared around shm_open because it
  // belongs to the whole process and other threads create files meanwhile. Only the
  // block's owner may widen them, and a block of another user keeps what it has.
  fchmod(fd, Everyone);
  struct stat info {};
  if (fstat(fd, &info) != 0 ||
      (static_cast<size_t>(info.st_size) < Size && ftruncate(fd, static_cast<off_t>(Size)) != 0)) {
    close(fd);
    return TResult::CreateFailed;
  }
  void* view = mmap(nullptr, Size, ReadOnly ? PROT_READ : PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
  if (view == MAP_FAILED) {
    close(fd);
    return TResult::MapFailed;
  }
  FDescriptor = fd;
  FView = view;
  FSize = Size;
  return TResult::Opened;
}

bool TSharedMemory::Close() {
  if (!FView) return false;
  munmap(FView, FSize);
  close(FDescriptor);
  FView = nullptr;
  FDescriptor = -1;
  FSize = 0;
  return true;
}

void TSharedMemory::Unlink(const std::string& Name) { shm_unlink(SystemName(Name).c_str()); }
