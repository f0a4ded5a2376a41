#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

// Intel HEX records as a bootloader receives them: ':' + byte count (2 hex digits) +
// address (4) + record type (2) + data (2 per byte) + checksum (2).

// The whole record's length when Head holds at least the ':' and the byte count; nullopt
// while it is shorter or when the count is not hexadecimal.
std::optional<size_t> HexRecordLength(std::string_view Head);
// Empty when Text is one well-formed record whose checksum is right; otherwise what is wrong
// with it, e.g. "checksum 0x00, expected 0xF8".
std::string HexRecordDefect(std::string_view Text);
