#pragma once

#include <cstdint>
#include <vector>

#include "ipsock/IpBaseLog.h"

enum TIpWriteMode { wmOverwrite, wmAppend };

// Entry types; the data flag means that Value2 data bytes follow the header.
constexpr uint32_t IpDebugDataFlag = 0x80000000u;
constexpr uint32_t IpLogEnabledEntry = 1;
constexpr uint32_t IpLogDisabledEntry = 2;
constexpr uint32_t IpTelnetEntry = 3;
constexpr uint32_t IpTextEntry = 0x80000000u;
constexpr uint32_t IpReadDataEntry = 0x80000001u;
constexpr uint32_t IpWriteDataEntry = 0x80000002u;
constexpr uint32_t IpRecvDataEntry = 0x80000003u;
constexpr uint32_t IpSendDataEntry = 0x80000004u;

// One entry as it comes out of the ring. For a data entry Value1 is the address of the data
// copy, valid until the next AddEntry or TakeEntry.
struct TIpDebugEntry {
  TIpDebugRenderer Renderer;
  uint32_t Tick;
  uint32_t Socket;
  uint32_t Type;
  uintptr_t Value1;
  uint32_t Value2;

  bool HasData() const { return (Type & IpDebugDataFlag) != 0; }
  const uint8_t* Data() const { return reinterpret_cast<const uint8_t*>(Value1); }
};

// Records socket activity as compact binary entries in a ring that keeps the newest ones;
// all text formatting waits for WriteToFile. Recording an entry is a copy of its header and
// data into the preallocated ring, with a reusable staging buffer for entries that wrap.
class TIpDebugLog : public TIpBaseLog {
public:
  // Renderer and Value1 take a pointer's width: renderer (8), tick (4), socket (4),
  // type (4), value 1 (8), value 2 (4), little-endian, packed.
  static constexpr uint32_t HeaderSize = 32;
  static constexpr uint32_t DefaultBufferSize = 65536;
  static constexpr uint32_t InitialStagingSize = 1024;

  explicit TIpDebugLog(TIpBaseComponent* Owner);

  // Enabling allocates the buffers and records a type 1 entry; disabling records a type 2
  // entry first and keeps the buffers.
  void SetEnabled(bool Value) override;

  // For a data entry (type with the data flag) Value1 is the data's address and Value2 its
  // length. Nothing is recorded while disabled; an entry that does not fit the ring
  // (BufferSize bytes or more) is dropped and the older entries stay.
  void AddEntry(TIpDebugRenderer Renderer, uint32_t Socket, uint32_t Type, uintptr_t Value1, uint32_t Value2);
  void AddDataEntry(TIpDebugRenderer Renderer, uint32_t Socket, uint32_t Type, const void* Data, uint32_t Length);
  // Removes the oldest entry; false when the ring is empty.
  bool TakeEntry(TIpDebugEntry& Entry);

  bool IsBufferEmpty() const;
  uint32_t FreeSpace() const;
  void ClearBuffer();
  uint32_t BufferSize() const;
  // Resizes the ring; buffered entries are lost.
  void SetBufferSize(uint32_t Value);
  TIpWriteMode WriteMode() const;
  void SetWriteMode(TIpWriteMode Value);
  uint32_t StartTick() const { return FStartTick; }

  // Writes every buffered entry to the file (a header first when the file is empty) and
  // empties the ring. Raises EFileError when the file cannot be written; the entries then
  // stay buffered and the file keeps its old contents.
  void WriteToFile();

private:
  void AllocateBuffers();
  void CopyIn(const uint8_t* Source, uint32_t Count);
  void CopyOut(uint8_t* Target, uint32_t Count);

  uint32_t FBufferSize = DefaultBufferSize;
  TIpWriteMode FWriteMode = wmOverwrite;
  std::vector<uint8_t> FBuffer;
  uint32_t FReadPos = 0;
  uint32_t FWritePos = 0;
  std::vector<uint8_t> FStaging;
  const uint32_t FStartTick;
};
