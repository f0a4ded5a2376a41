#include "cli/DeviceList.h"

#include <algorithm>

#include "base/Format.h"
#include "base/UsageError.h"
#include "platform/Files.h"

namespace {
constexpr const char* Separators = " \t\r";

std::vector<std::string> Words(const std::string& Line) {
  std::vector<std::string> words;
  for (size_t start = Line.find_first_not_of(Separators); start != std::string::npos;
       start = Line.find_first_not_of(Separators, start)) {
    const size_t end = std::min(Line.find_first_of(Separators, start), Line.size());
    words.push_back(Line.substr(start, end - start));
    start = end;
  }
  return words;
}

bool IsAddress(const std::string& Word) {
  return Word.front() != '-' &&
         std::none_of(Word.begin(), Word.end(), [](char c) { return static_cast<unsigned char>(c) < 0x20; });
}
}  // namespace

std::vector<TDeviceEntry> ReadDeviceList(const std::string& FileName) {
  std::string text;
  try {
    text = ReadFileText(FileName);
  } catch (const EFileError& E) {
    throw EUsageError(Format("--devices: %s", E.what()));
  }
  std::vector<TDeviceEntry> devices;
  size_t start = 0;
  for (int lineNumber = 1; start < text.size(); ++lineNumber) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    const std::vector<std::string> words = Words(text.substr(start, end - start));
    start = end + 1;
    if (words.empty() || words.front().front() == '#') continue;
    if (!IsAddress(words.front()))
      throw EUsageError(Format("%s:%d: \"%s\" is not a device address", FileName.c_str(), lineNumber,
                               VisibleText(words.front()).c_str()));
    TDeviceEntry device{words.front()};
    for (size_t i = 1; i < words.size(); ++i) {
      if (words[i] == "master-recover")
        device.MasterRecover = true;
      else if (words[i] == "slave-recover")
        device.SlaveRecover = true;
      else
        throw EUsageError(Format("%s:%d: \"%s\" is not a device option (master-recover, slave-recover)",
                                 FileName.c_str(), lineNumber, VisibleText(words[i]).c_str()));
    }
    devices.push_back(std::move(device));
  }
  if (devices.empty()) throw EUsageError(Format("%s holds no device address", FileName.c_str()));
  return devices;
}
