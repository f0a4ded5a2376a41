#include "ipsock/IpDebugLog.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <string>

#include "ipsock/IpDebugText.h"
#include "ipsock/IpLockGuard.h"
#include "platform/Clock.h"
#include "platform/LogFile.h"

static_assert(std::endian::native == std::endian::little, "the ring stores its words little-endian");

namespace {
using TGuard = TIpLockGuard<const TIpDebugLog>;

struct TPackedHeader {
  uint8_t Bytes[TIpDebugLog::HeaderSize];
};

template <class T>
void Put(uint8_t*& At, T Value) {
  std::memcpy(At, &Value, sizeof Value);
  At += sizeof Value;
}

template <class T>
T Get(const uint8_t*& At) {
  T value;
  std::memcpy(&value, At, sizeof value);
  At += sizeof value;
  return value;
}

TPackedHeader Pack(TIpDebugRenderer Renderer, uint32_t Tick, uint32_t Socket, uint32_t Type, uintptr_t Value1,
                   uint32_t Value2) {
  TPackedHeader header;
  uint8_t* at = header.Bytes;
  Put(at, reinterpret_cast<uint64_t>(Renderer));
  Put(at, Tick);
  Put(at, Socket);
  Put(at, Type);
  Put(at, static_cast<uint64_t>(Value1));
  Put(at, Value2);
  return header;
}

TIpDebugEntry Unpack(const TPackedHeader& Header) {
  const uint8_t* at = Header.Bytes;
  TIpDebugEntry entry;
  entry.Renderer = reinterpret_cast<TIpDebugRenderer>(Get<uint64_t>(at));
  entry.Tick = Get<uint32_t>(at);
  entry.Socket = Get<uint32_t>(at);
  entry.Type = Get<uint32_t>(at);
  entry.Value1 = static_cast<uintptr_t>(Get<uint64_t>(at));
  entry.Value2 = Get<uint32_t>(at);
  return entry;
}
}  // namespace

TIpDebugLog::TIpDebugLog(TIpBaseComponent* Owner) : TIpBaseLog(Owner), FStartTick(GetTickCount()) {
  FFileName = "debug.log";
}

void TIpDebugLog::AllocateBuffers() {
  if (FBuffer.empty()) FBuffer.resize(FBufferSize);
  if (FStaging.empty()) FStaging.resize(InitialStagingSize);
}

void TIpDebugLog::SetEnabled(bool Value) {
  TGuard guard(*this);
  if (Value) {
    AllocateBuffers();
    FEnabled = true;
    AddEntry(nullptr, 0, IpLogEnabledEntry, 0, 0);
  } else {
    AddEntry(nullptr, 0, IpLogDisabledEntry, 0, 0);
    FEnabled = false;
  }
}

bool TIpDebugLog::IsBufferEmpty() const {
  TGuard guard(*this);
  return FReadPos == FWritePos;
}

uint32_t TIpDebugLog::FreeSpace() const {
  TGuard guard(*this);
  if (FBufferSize == 0) return 0;
  if (FWritePos < FReadPos) return FReadPos - FWritePos - 1;
  return FBufferSize + FReadPos - FWritePos - 1;
}

void TIpDebugLog::ClearBuffer() {
  TGuard guard(*this);
  FReadPos = 0;
  FWritePos = 0;
}

uint32_t TIpDebugLog::BufferSize() const {
  TGuard guard(*this);
  return FBufferSize;
}

void TIpDebugLog::SetBufferSize(uint32_t Value) {
  TGuard guard(*this);
  if (Value == FBufferSize) return;
  FBufferSize = Value;
  FBuffer.assign(Value, 0);
  ClearBuffer();
}

TIpWriteMode TIpDebugLog::WriteMode() const {
  TGuard guard(*this);
  return FWriteMode;
}

void TIpDebugLog::SetWriteMode(TIpWriteMode Value) {
  TGuard guard(*this);
  FWriteMode = Value;
}

void TIpDebugLog::CopyIn(const uint8_t* Source, uint32_t Count) {
  const uint32_t first = std::min(Count, FBufferSize - FWritePos);
  std::memcpy(FBuffer.data() + FWritePos, Source, first);
  std::memcpy(FBuffer.data(), Source + first, Count - first);
  FWritePos = first == Count ? FWritePos + Count : Count - first;
  if (FWritePos == FBufferSize) FWritePos = 0;
}

void TIpDebugLog::CopyOut(uint8_t* Target, uint32_t Count) {
  const uint32_t first = std::min(Count, FBufferSize - FReadPos);
  std::memcpy(Target, FBuffer.data() + FReadPos, first);
  std::memcpy(Target + first, FBuffer.data(), Count - first);
  FReadPos = first == Count ? FReadPos + Count : Count - first;
  if (FReadPos == FBufferSize) FReadPos = 0;
}

void TIpDebugLog::AddEntry(TIpDebugRenderer Renderer, uint32_t Socket, uint32_t Type, uintptr_t Value1,
                           uint32_t Value2) {
  TGuard guard(*this);
  if (!FEnabled) return;
  const uint32_t tick = GetTickCount();
  const uint32_t dataLength = (Type & IpDebugDataFlag) != 0 ? Value2 : 0;
  const uint64_t entrySize = uint64_t{HeaderSize} + dataLength;
  // The ring holds at most BufferSize - 1 bytes, since a full ring would read as empty: an
  // entry that cannot fit is dropped before it pushes out any older one.
  if (entrySize >= FBufferSize) return;
  const auto* data = reinterpret_cast<const uint8_t*>(Value1);
  if (dataLength > 0 && data == nullptr) return;
  TIpDebugEntry discarded;
  while (FreeSpace() < entrySize && TakeEntry(discarded)) {
  }
  const TPackedHeader header = Pack(Renderer, tick, Socket, Type, Value1, Value2);
  const auto size = static_cast<uint32_t>(entrySize);
  if (FWritePos + size <= FBufferSize) {
    std::memcpy(FBuffer.data() + FWritePos, header.Bytes, HeaderSize);
    if (dataLength > 0) std::memcpy(FBuffer.data() + FWritePos + HeaderSize, data, dataLength);
    FWritePos += size;
    if (FWritePos == FBufferSize) FWritePos = 0;
    return;
  }
  // The entry wraps round the end of the ring: assemble it whole, then copy it in two parts.
  if (FStaging.size() < size) FStaging.resize(size);
  std::memcpy(FStaging.data(), header.Bytes, HeaderSize);
  if (dataLength > 0) std::memcpy(FStaging.data() + HeaderSize, data, dataLength);
  CopyIn(FStaging.data(), size);
}

void TIpDebugLog::AddDataEntry(TIpDebugRenderer Renderer, uint32_t Socket, uint32_t Type, const void* Data,
                               uint32_t Length) {
  AddEntry(Renderer, Socket, Type, reinterpret_cast<uintptr_t>(Data), Length);
}

bool TIpDebugLog::TakeEntry(TIpDebugEntry& Entry) {
  TGuard guard(*this);
  if (FReadPos == FWritePos) return false;
  TPackedHeader header;
  CopyOut(header.Bytes, HeaderSize);
  Entry = Unpack(header);
  if (!Entry.HasData()) return true;
  const uint32_t length = Entry.Value2;
  if (FReadPos + length <= FBufferSize) {
    Entry.Value1 = reinterpret_cast<uintptr_t>(FBuffer.data() + FReadPos);
    FReadPos += length;
    if (FReadPos == FBufferSize) FReadPos = 0;
    return true;
  }
  if (FStaging.size() < length) FStaging.resize(length);
  CopyOut(FStaging.data(), length);
  Entry.Value1 = reinterpret_cast<uintptr_t>(FStaging.data());
  return true;
}

void TIpDebugLog::WriteToFile() {
  // Held throughout, so entries added meanwhile wait.
  TGuard guard(*this);
  const uint32_t firstEntry = FReadPos;
  std::string text;
  TIpDebugEntry entry;
  while (TakeEntry(entry))
    text += DebugTimePrefix(entry.Tick - FStartTick) + DebugEntryText(entry) + "\r\n";
  try {
    if (FWriteMode == wmAppend)
      AppendToFile(FFileName, DebugLogHeader(), text);
    else
      ReplaceFileContents(FFileName, DebugLogHeader() + text);
  } catch (...) {
    // Taking entries leaves the ring's bytes as they were, so they can all be put back.
    FReadPos = firstEntry;
    throw;
  }
}
