#pragma once

#include <cstdint>
#include <vector>

#include "base/Object.h"

enum class TSeekOrigin { soBeginning, soCurrent, soEnd };

// A growable in-memory byte stream with a position.
class TMemoryStream : public TObject {
public:
  // Copies up to Count bytes from the position on; answers how many were copied.
  int64_t Read(void* Buffer, int64_t Count);
  // Writes Count bytes at the position, growing the stream as needed.
  int64_t Write(const void* Buffer, int64_t Count);
  // Answers the new position; a position before the start raises EStreamError.
  int64_t Seek(int64_t Offset, TSeekOrigin Origin);

  int64_t Position() const { return FPosition; }
  void SetPosition(int64_t Value) { Seek(Value, TSeekOrigin::soBeginning); }
  int64_t Size() const { return static_cast<int64_t>(FData.size()); }
  // A position beyond the new size moves back to the end.
  void SetSize(int64_t Value);
  void Clear();
  const uint8_t* Memory() const { return FData.data(); }
  uint8_t* Memory() { return FData.data(); }

private:
  std::vector<uint8_t> FData;
  int64_t FPosition = 0;
};
