#include "base/MemoryStream.h"

#include <algorithm>
#include <cstring>

#include "base/Exception.h"
#include "base/Format.h"

int64_t TMemoryStream::Read(void* Buffer, int64_t Count) {
  if (Count <= 0 || FPosition >= Size()) return 0;
  const int64_t n = std::min(Count, Size() - FPosition);
  std::memcpy(Buffer, FData.data() + FPosition, static_cast<size_t>(n));
  FPosition += n;
  return n;
}

int64_t TMemoryStream::Write(const void* Buffer, int64_t Count) {
  if (Count <= 0) return 0;
  const int64_t end = FPosition + Count;
  if (end > Size()) FData.resize(static_cast<size_t>(end));
  std::memcpy(FData.data() + FPosition, Buffer, static_cast<size_t>(Count));
  FPosition = end;
  return Count;
}

int64_t TMemoryStream::Seek(int64_t Offset, TSeekOrigin Origin) {
  int64_t base = 0;
  if (Origin == TSeekOrigin::soCurrent) base = FPosition;
  if (Origin == TSeekOrigin::soEnd) base = Size();
  const int64_t target = base + Offset;
  if (target < 0) throw EStreamError(Format("Stream seek to %lld is before the start", static_cast<long long>(target)));
  FPosition = target;
  return FPosition;
}

void TMemoryStream::SetSize(int64_t Value) {
  if (Value < 0) throw EStreamError(Format("Stream size %lld is negative", static_cast<long long>(Value)));
  FData.resize(static_cast<size_t>(Value));
  FPosition = std::min(FPosition, Value);
}

void TMemoryStream::Clear() {
  FData.clear();
  FData.shrink_to_fit();
  FPosition = 0;
}
