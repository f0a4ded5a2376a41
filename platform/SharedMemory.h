#pragma once

#include <cstddef>
#include <string>

// A named block of shared memory (POSIX shm), created when it does not exist yet. The block
// stays in the system after the last process closes it, as a named section would while its
// creator lives; Unlink removes the name.
class TSharedMemory {
public:
  TSharedMemory() = default;
  ~TSharedMemory();
  TSharedMemory(const TSharedMemory&) = delete;
  TSharedMemory& operator=(const TSharedMemory&) = delete;

  enum class TResult { Opened, CreateFailed, MapFailed };
  // Opens (or creates) the block Name of Size bytes and maps all of it.
  TResult Open(const std::string& Name, size_t Size, bool ReadOnly);
  // Unmaps and closes; answers false when nothing was open.
  bool Close();
  void* View() const { return FView; }
  bool IsOpen() const { return FView != nullptr; }

  // Removes the name from the system (the block goes when the last mapping does).
  static void Unlink(const std::string& Name);

private:
  int FDescriptor = -1;
  void* FView = nullptr;
  size_t FSize = 0;
};
