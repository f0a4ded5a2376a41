#include "cli/DeviceList.h"

#include <algorithm>

#include "base/Format.h"
#include "base/UsageError.h"
#include "platform/Files.h"

namespace {
constexpr const char* Blanks = " \t\r";

std::string Trimmed(const std::string& Text) {
  const size_t first = Text.find_first_not_of(Blanks);
  if (first == std::string::npos) return "";
  return Text.substr(first, Text.find_last_not_of(Blanks) - first + 1);
}
}  // namespace

std::vector<std::string> ReadDeviceList(const std::string& FileName) {
  std::string text;
  try {
    text = ReadFileText(FileName);
  } catch (const EFileError& E) {
    throw EUsageError(Format("--devices: %s", E.what()));
  }
  std::vector<std::string> addresses;
  size_t start = 0;
  for (int lineNumber = 1; start < text.size(); ++lineNumber) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    const std::string line = Trimmed(text.substr(start, end - start));
    start = end + 1;
    if (line.empty() || line.front() == '#') continue;
    const bool oneWord = std::none_of(line.begin(), line.end(), [](char c) {
      return c == ' ' || static_cast<unsigned char>(c) < 0x20;
    });
    if (!oneWord || line.front() == '-')
      throw EUsageError(Format("%s:%d: \"%s\" is not one device address", FileName.c_str(), lineNumber,
                               VisibleText(line).c_str()));
    addresses.push_back(line);
  }
  if (addresses.empty()) throw EUsageError(Format("%s holds no device address", FileName.c_str()));
  return addresses;
}
