#include "tests/cli/FlashFixture.h"

#include <sstream>

#include "tests/tools/SimRecords.h"

namespace {
const std::string EndOfFile = ":00000001FF";
}

std::vector<std::string> Lines(const std::string& Text) {
  std::vector<std::string> lines;
  std::istringstream stream(Text);
  for (std::string line; std::getline(stream, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
  }
  return lines;
}

std::vector<std::string> SentRecords(const std::vector<std::string>& FileLines) {
  std::vector<std::string> sent;
  for (const std::string& line : FileLines) {
    if (line.empty()) continue;
    const unsigned count = std::stoul(line.substr(1, 2), nullptr, 16);
    const unsigned address = std::stoul(line.substr(3, 4), nullptr, 16);
    const bool erased = count > 0 && count <= 32 && line.substr(7, 2) == "00" &&
                        line.substr(9, 2 * count) == std::string(2 * count, 'F');
    if (address < 0xF800 && !erased) sent.push_back(line);
  }
  return sent;
}

std::string Flashed(const char* Unit, const std::vector<std::string>& Records) {
  std::string text;
  for (const std::string& record : Records) text += std::string(Unit) + " " + record + "\n";
  return text;
}

std::string WriteProgram(const TTempFolder& Folder, const std::string& Name, int Count) {
  std::vector<std::string> records = SimRecords::Program(Count);
  records.push_back(SimRecords::DataRecord(static_cast<unsigned>(Count) * 16, std::vector<unsigned>(16, 0xFF)));
  records.push_back(SimRecords::DataRecord(0xF800, std::vector<unsigned>(16, 0x12)));
  records.push_back(EndOfFile);
  std::string text;
  for (const std::string& record : records) text += record + "\r\n";
  return Folder.WriteFile(Name, text);
}

QStringList Q(std::initializer_list<std::string> Texts) {
  QStringList list;
  for (const std::string& text : Texts) list << QString::fromStdString(text);
  return list;
}

TDevice::TDevice(const TTempFolder& Folder, const std::string& Address, QStringList Options)
    : Address(Address),
      FlashedFile(Folder.File(Address + "-flashed.txt")),
      ReceivedFile(Folder.File(Address + "-received.bin")),
      Sim(Options << "--listen" << QString::fromStdString(Address) << "--flashed" << QString::fromStdString(FlashedFile)
                  << "--received" << QString::fromStdString(ReceivedFile)) {}
