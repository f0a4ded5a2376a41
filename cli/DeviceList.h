#pragma once

#include <string>
#include <vector>

// A device to program, with what its --devices line adds to the call's options.
struct TDeviceEntry {
  std::string Address;
  // The unit sits in its bootloader: that unit's run syncs to it at once.
  bool MasterRecover = false;
  bool SlaveRecover = false;
};

// The devices of a --devices file: one a line, the address first, then any of the words
// master-recover and slave-recover; blank lines and lines starting with '#' are skipped, and
// spaces around the words do not count. Raises EUsageError naming the file (and the line)
// when it cannot be read, holds no address, or a line is not an address and its options.
std::vector<TDeviceEntry> ReadDeviceList(const std::string& FileName);
