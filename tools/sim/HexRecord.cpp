#include "tools/sim/HexRecord.h"

#include <array>

#include "base/Format.h"

namespace {
constexpr size_t HeadLength = 3;       // ':' and the byte count
constexpr size_t FixedFieldBytes = 5;  // byte count, address (2), record type, checksum

constexpr unsigned NotHex = 0x100;

// A digit's value by its character; NotHex for every other character.
constexpr std::array<unsigned, 256> HexDigitValues = [] {
  std::array<unsigned, 256> values{};
  values.fill(NotHex);
  for (unsigned digit = 0; digit < 10; ++digit) values['0' + digit] = digit;
  for (unsigned digit = 0; digit < 6; ++digit) values['A' + digit] = values['a' + digit] = 10 + digit;
  return values;
}();

// Every record byte of every reply goes through here: a table, not a general number parser.
std::optional<unsigned> HexByte(std::string_view Text, size_t Offset) {
  const unsigned high = HexDigitValues[static_cast<unsigned char>(Text[Offset])];
  const unsigned low = HexDigitValues[static_cast<unsigned char>(Text[Offset + 1])];
  if ((high | low) & NotHex) return std::nullopt;
  return high << 4 | low;
}
}  // namespace

std::optional<size_t> HexRecordLength(std::string_view Head) {
  if (Head.size() < HeadLength || Head[0] != ':') return std::nullopt;
  const auto count = HexByte(Head, 1);
  if (!count) return std::nullopt;
  return 1 + 2 * (FixedFieldBytes + *count);
}

std::string HexRecordDefect(std::string_view Text) {
  if (Text.empty() || Text[0] != ':') return "no ':' at the start";
  const auto length = HexRecordLength(Text);
  if (!length) return "no hexadecimal byte count";
  if (Text.size() != *length) return Format("%d characters, the byte count asks for %d",
                                            static_cast<int>(Text.size()), static_cast<int>(*length));
  unsigned sum = 0;
  for (size_t offset = 1; offset + 2 < Text.size(); offset += 2) {
    const auto byte = HexByte(Text, offset);
    if (!byte) return Format("\"%.2s\" at position %d is not hexadecimal", Text.data() + offset,
                             static_cast<int>(offset + 1));
    sum += *byte;
  }
  const auto checksum = HexByte(Text, Text.size() - 2);
  if (!checksum) return "the checksum is not hexadecimal";
  const unsigned expected = (0x100 - (sum & 0xFF)) & 0xFF;
  if (*checksum != expected) return Format("checksum 0x%2.2X, expected 0x%2.2X", *checksum, expected);
  return {};
}
