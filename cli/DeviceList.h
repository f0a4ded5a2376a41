#pragma once

#include <string>
#include <vector>

// The addresses of a --devices file: one per line; blank lines and lines starting with '#'
// are skipped, and spaces around an address do not count. Raises EUsageError naming the
// file (and the line) when it cannot be read, holds no address, or a line is not one.
std::vector<std::string> ReadDeviceList(const std::string& FileName);
