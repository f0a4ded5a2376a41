#pragma once

#include <string>
#include <vector>

// Wire texts of the programming dialogue and well-formed records for the simulator's tests.
namespace SimRecords {
inline const std::string RecVersion = ":020000050F00EA";
inline const std::string RecErase = ":0100000307F5";
inline const std::string RecRestart = ":020000030300F8";

// A data record at Address with Bytes and the right checksum.
std::string DataRecord(unsigned Address, const std::vector<unsigned>& Bytes);
// Count data records of 16 bytes from address 0, each different.
std::vector<std::string> Program(int Count);
}  // namespace SimRecords
