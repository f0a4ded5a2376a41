#include "ipsock/IpLineSplitter.h"

#include <algorithm>
#include <cstring>

#include "ipsock/IpExceptions.h"

namespace {
char TerminatorByte(TIpLineTerminator Terminator, char TermChar) {
  switch (Terminator) {
    case ltCR:
      return '\r';
    case ltLF:
    case ltCRLF:
      return '\n';
    case ltOther:
      return TermChar;
    default:
      throw EIpBaseException("Bad terminator");
  }
}

void CompactBuffer(uint8_t* Data, int32_t Capacity, int32_t& Head, int32_t& Tail) {
  if (Head == 0 || Tail <= Capacity / 2) return;
  std::memmove(Data, Data + Head, static_cast<size_t>(Tail - Head));
  Tail -= Head;
  Head = 0;
}
}  // namespace

TIpLineSplitter::TIpLineSplitter(TIpLineTerminator Terminator, char TermChar, bool StripTerminator,
                                 uint32_t FixedLength, size_t MaxLength)
    : FTerminator(Terminator),
      FTermChar(TermChar),
      FStripTerminator(StripTerminator),
      FFixedLength(FixedLength),
      FMaxLength(MaxLength) {}

TIpLineSplitter::TOutcome TIpLineSplitter::Step(uint8_t* Data, int32_t Capacity, int32_t& Head, int32_t& Tail,
                                                std::string& Line) {
  const bool delivered = FTerminator == ltNone ? ExtractFixedLine(Data, Head, Tail, Line)
                                               : ExtractLine(Data, Head, Tail, Line);
  TOutcome outcome = delivered ? lsLine : lsNone;
  if (FPartialLine.size() > FMaxLength) {
    FPartialLine.clear();
    outcome = lsTooLong;
  }
  // Only a buffer without a complete line spills into the kept start; one that still holds
  // lines gives them up first, so no terminator is ever hidden there.
  if (!delivered) KeepBeyondBuffer(Data, Capacity, Head, Tail);
  CompactBuffer(Data, Capacity, Head, Tail);
  return outcome;
}

bool TIpLineSplitter::ExtractLine(const uint8_t* Data, int32_t& Head, int32_t Tail, std::string& Line) {
  const char terminator = TerminatorByte(FTerminator, FTermChar);
  int32_t from = Head;
  while (from < Tail) {
    const void* found = std::memchr(Data + from, static_cast<unsigned char>(terminator), static_cast<size_t>(Tail - from));
    if (found == nullptr) return false;
    const int32_t at = static_cast<int32_t>(static_cast<const uint8_t*>(found) - Data);
    from = at + 1;
    if (FTerminator == ltCRLF && (at == Head || Data[at - 1] != '\r')) continue;
    int32_t end = at + 1;
    if (FStripTerminator) end -= FTerminator == ltCRLF ? 2 : 1;
    // A CRLF pair never starts the unconsumed bytes, so a stripped end never reaches back
    // into the kept start.
    Line = std::move(FPartialLine);
    FPartialLine.clear();
    Line.append(reinterpret_cast<const char*>(Data + Head), static_cast<size_t>(end - Head));
    Head = at + 1;
    return true;
  }
  return false;
}

bool TIpLineSplitter::ExtractFixedLine(const uint8_t* Data, int32_t& Head, int32_t Tail, std::string& Line) {
  if (FFixedLength == 0) return false;
  const size_t unconsumed = static_cast<size_t>(Tail - Head);
  if (FPartialLine.size() + unconsumed < FFixedLength) return false;
  const size_t take = FFixedLength - std::min<size_t>(FPartialLine.size(), FFixedLength);
  Line = std::move(FPartialLine);
  FPartialLine.clear();
  Line.append(reinterpret_cast<const char*>(Data + Head), take);
  Head += static_cast<int32_t>(take);
  return true;
}

void TIpLineSplitter::KeepBeyondBuffer(const uint8_t* Data, int32_t Capacity, int32_t& Head, int32_t Tail) {
  if (Tail != Capacity) return;
  // The last two bytes stay, so that a terminator pair split across receives is still seen.
  const int32_t keep = std::max(Head, Capacity - 2);
  FPartialLine.append(reinterpret_cast<const char*>(Data + Head), static_cast<size_t>(keep - Head));
  Head = keep;
}
