#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "ipsock/IpDataInits.h"

// Cuts the received bytes into lines for a data socket in line mode. The socket's receive
// buffer holds the unconsumed bytes Data[Head, Tail) of Capacity bytes; a line that outgrows
// the buffer is kept here until its end arrives.
class TIpLineSplitter {
public:
  enum TOutcome { lsNone, lsLine, lsTooLong };

  // Terminator ltNone cuts lines of FixedLength bytes (none when 0). A kept line start
  // longer than MaxLength is dropped.
  TIpLineSplitter(TIpLineTerminator Terminator, char TermChar, bool StripTerminator, uint32_t FixedLength,
                  size_t MaxLength);

  // One step over the buffer: takes the next complete line into Line (lsLine), or keeps the
  // start of a line that fills the whole buffer (lsTooLong when the kept start had grown
  // too long and was dropped); then moves the unconsumed bytes of a buffer more than half
  // full to its front.
  TOutcome Step(uint8_t* Data, int32_t Capacity, int32_t& Head, int32_t& Tail, std::string& Line);

private:
  bool ExtractLine(const uint8_t* Data, int32_t& Head, int32_t Tail, std::string& Line);
  bool ExtractFixedLine(const uint8_t* Data, int32_t& Head, int32_t Tail, std::string& Line);
  void KeepBeyondBuffer(const uint8_t* Data, int32_t Capacity, int32_t& Head, int32_t Tail);

  TIpLineTerminator FTerminator;
  char FTermChar;
  bool FStripTerminator;
  uint32_t FFixedLength;
  size_t FMaxLength;
  std::string FPartialLine;
};
