#include "tests/tools/SimRecords.h"

#include "base/Format.h"

namespace SimRecords {
std::string DataRecord(unsigned Address, const std::vector<unsigned>& Bytes) {
  std::string text = Format(":%2.2X%4.4X00", static_cast<unsigned>(Bytes.size()), Address);
  unsigned sum = static_cast<unsigned>(Bytes.size()) + (Address >> 8) + (Address & 0xFF);
  for (const unsigned byte : Bytes) {
    text += Format("%2.2X", byte);
    sum += byte;
  }
  return text + Format("%2.2X", (0x100 - (sum & 0xFF)) & 0xFF);
}

std::vector<std::string> Program(int Count) {
  std::vector<std::string> records;
  for (int r = 0; r < Count; ++r) {
    std::vector<unsigned> bytes;
    for (unsigned b = 0; b < 16; ++b) bytes.push_back((static_cast<unsigned>(r) * 16 + b) * 7 & 0xFF);
    records.push_back(DataRecord(static_cast<unsigned>(r) * 16, bytes));
  }
  return records;
}
}  // namespace SimRecords
