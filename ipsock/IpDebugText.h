#pragma once

#include <cstdint>
#include <string>

#include "ipsock/IpDebugLog.h"

// The texts of the debug log file.

// The header written once to an empty file, ending with an empty line.
std::string DebugLogHeader();
// "%07.7d : " of the milliseconds since the log started, with a point after the fourth
// character: 1234 gives "0001.234 : ".
std::string DebugTimePrefix(uint32_t ElapsedMilliseconds);
// The text of one entry: its renderer's, or the log's own for entries without one.
std::string DebugEntryText(const TIpDebugEntry& Entry);
// "[%d] Telnet %s %s %s": socket, command word, option name, direction word.
std::string TelnetEntryText(uint32_t Socket, uint32_t Direction, uint32_t CommandAndOption);
std::string TelnetOptionName(uint32_t Option);
// One 79-character line per 16 bytes: offset, two groups of eight bytes in hexadecimal and
// the bytes as characters.
std::string HexDump(const uint8_t* Data, uint32_t Length);
// The socket control's texts for the four data entries, each followed by the hex dump;
// any other type leaves Text as it was.
void FormatDataEntry(TSocket Socket, uint32_t Type, const uint8_t* Data, uint32_t Length, std::string& Text);
