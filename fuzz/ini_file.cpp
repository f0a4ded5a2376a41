// Any bytes as a settings file, then one write. Properties: no value read holds a line break
// or exceeds the length limit; a refused write leaves the file byte for byte; after a
// write, the written key reads back and every other key reads as before.
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "fuzz/FuzzFolder.h"
#include "platform/Files.h"
#include "platform/IniFile.h"

namespace {
constexpr size_t MaxNames = 8;
constexpr const char* Absent = "\x01(absent)";
using TName = std::pair<std::string, std::string>;  // section, key

// The reader's own view of names and values, written independently of it.
std::string Trim(const std::string& Text) {
  const size_t first = Text.find_first_not_of(" \t");
  return first == std::string::npos ? std::string() : Text.substr(first, Text.find_last_not_of(" \t") - first + 1);
}

std::string Lower(std::string Text) {
  for (char& c : Text)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return Text;
}

bool SameName(const std::string& A, const std::string& B) { return Lower(Trim(A)) == Lower(Trim(B)); }

void AddOnce(std::vector<std::string>& Names, const std::string& Name) {
  if (Names.size() < MaxNames && std::find(Names.begin(), Names.end(), Name) == Names.end()) Names.push_back(Name);
}

// The section and key names the file's lines suggest, and the written ones.
std::vector<TName> NamesOf(const std::string& Content, const std::string& Section, const std::string& Key) {
  std::vector<std::string> sections{Section};
  std::vector<std::string> keys{Key};
  size_t start = 0;
  while (start <= Content.size()) {
    const size_t end = std::min(Content.find_first_of("\r\n", start), Content.size());
    const std::string line = Trim(Content.substr(start, end - start));
    if (!line.empty() && line.front() == '[' && line.find(']') != std::string::npos)
      AddOnce(sections, line.substr(1, line.find(']') - 1));
    else if (line.find('=') != std::string::npos)
      AddOnce(keys, line.substr(0, line.find('=')));
    start = end + 1;
  }
  std::vector<TName> names;
  for (const std::string& section : sections)
    for (const std::string& key : keys) names.emplace_back(section, key);
  return names;
}

std::map<TName, std::string> ReadAll(const TIniFile& Ini, const std::vector<TName>& Names) {
  std::map<TName, std::string> values;
  for (const TName& name : Names) {
    const std::string value = Ini.ReadString(name.first, name.second, Absent);
    if (value.find_first_of("\r\n") != std::string::npos)
      PropertyBroken("[" + name.first + "] " + name.second + " reads with a line break");
    if (value.size() > 4 * TIniFile::MaxValueLength)
      PropertyBroken("[" + name.first + "] " + name.second + " reads longer than the limit");
    values[name] = value;
  }
  return values;
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  FuzzedDataProvider input(Data, Size);
  const std::string section = input.ConsumeRandomLengthString(16);
  const std::string key = input.ConsumeRandomLengthString(16);
  const std::string value = input.ConsumeRandomLengthString(64);
  const std::vector<uint8_t> content = input.ConsumeRemainingBytes<uint8_t>();
  const std::string fileName = WriteFuzzFile("settings.INI", content.data(), content.size());
  const std::string before(content.begin(), content.end());

  TIniFile ini(fileName);
  const std::vector<TName> names = NamesOf(before, section, key);
  const std::map<TName, std::string> old = ReadAll(ini, names);
  try {
    ini.WriteString(section, key, value);
  } catch (const EIniFileException& E) {
    if (E.Message() != "Unable to write to " + fileName) PropertyBroken("unexpected message: " + E.Message());
    if (ReadFileText(fileName) != before) PropertyBroken("a refused write changed the file");
    return 0;
  }
  const std::map<TName, std::string> now = ReadAll(ini, names);
  for (const TName& name : names) {
    const std::string& read = now.at(name);
    if (!SameName(name.first, section) || !SameName(name.second, key)) {
      if (read != old.at(name)) PropertyBroken("the write changed [" + name.first + "] " + name.second);
    } else if (read != Trim(value) && Trim(value).size() <= TIniFile::MaxValueLength) {
      PropertyBroken("[" + name.first + "] " + name.second + " does not read back what was written");
    }
  }
  return 0;
}
