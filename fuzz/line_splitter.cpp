// Any bytes received in chunks of any size, cut into lines as a data socket in line mode
// does. Properties: the lines, their terminators put back, are the received bytes in order;
// each ends at its first terminator; and what is left holds no complete line.
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "fuzz/FuzzFolder.h"
#include "ipsock/IpDataSocket.h"
#include "ipsock/IpLineSplitter.h"

namespace {
constexpr int32_t Capacity = TIpDataSocket::RxBufferSize;

std::string TerminatorOf(TIpLineTerminator Terminator, char TermChar) {
  switch (Terminator) {
    case ltCR:
      return "\r";
    case ltLF:
      return "\n";
    case ltCRLF:
      return "\r\n";
    default:
      return std::string(1, TermChar);
  }
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  FuzzedDataProvider input(Data, Size);
  const auto terminator = static_cast<TIpLineTerminator>(input.ConsumeIntegralInRange<int>(ltNone, ltOther));
  const char termChar = input.ConsumeIntegral<char>();
  const bool strip = input.ConsumeBool();
  const auto fixedLength = input.ConsumeIntegralInRange<uint32_t>(0, 20000);
  // Small chunks mostly, sometimes more than the buffer holds.
  const auto largestChunk = input.ConsumeIntegralInRange<size_t>(1, 3 * Capacity);
  const std::string ending = terminator == ltNone ? "" : TerminatorOf(terminator, termChar);

  TIpLineSplitter splitter(terminator, termChar, strip, fixedLength, TIpDataSocket::MaxLineBuffer);
  std::array<uint8_t, Capacity> buffer{};
  int32_t head = 0;
  int32_t tail = 0;
  std::string received;
  std::string joined;  // the lines with stripped terminators put back
  std::string line;
  bool droppedAny = false;
  while (input.remaining_bytes() > 0) {
    std::string chunk = input.ConsumeBytesAsString(input.ConsumeIntegralInRange<size_t>(1, largestChunk));
    // Fed as the socket receives: into the free part of the buffer, a full buffer waiting.
    while (!chunk.empty()) {
      if (head >= tail) head = tail = 0;
      const size_t space = static_cast<size_t>(Capacity - tail);
      if (space == 0) PropertyBroken("the buffer stays full");
      const size_t taken = std::min(space, chunk.size());
      std::memcpy(buffer.data() + tail, chunk.data(), taken);
      tail += static_cast<int32_t>(taken);
      received.append(chunk, 0, taken);
      chunk.erase(0, taken);
      for (;;) {
        const TIpLineSplitter::TOutcome outcome = splitter.Step(buffer.data(), Capacity, head, tail, line);
        if (outcome == TIpLineSplitter::lsTooLong) droppedAny = true;
        if (outcome != TIpLineSplitter::lsLine) break;
        if (terminator == ltNone) {
          if (line.size() != fixedLength) PropertyBroken("a fixed line of another length");
        } else {
          const std::string whole = strip ? line + ending : line;
          if (!whole.ends_with(ending) || whole.find(ending) != whole.size() - ending.size())
            PropertyBroken("a line does not end at its first terminator");
          line = whole;
        }
        joined += line;
      }
    }
  }
  if (droppedAny) return 0;
  if (received.compare(0, joined.size(), joined) != 0) PropertyBroken("the lines are not the received bytes");
  const std::string rest = received.substr(joined.size());
  if (terminator == ltNone ? fixedLength > 0 && rest.size() >= fixedLength : rest.find(ending) != std::string::npos)
    PropertyBroken("a complete line was not delivered");
  return 0;
}
