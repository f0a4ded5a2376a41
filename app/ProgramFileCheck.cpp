#include "app/ProgramFileCheck.h"

#include <algorithm>
#include <array>
#include <deque>
#include <mutex>

#include "base/Format.h"
#include "base/Sha256.h"
#include "platform/Files.h"

namespace {
constexpr unsigned ProtectedAddress = 0xF800;
constexpr unsigned MaxSkippedByteCount = 32;
// The record type and the data bytes start after ':', the byte count and the address.
constexpr size_t TypeOffset = 7;
// A line longer than this is cut in error messages.
constexpr size_t MaxQuotedLength = 48;
constexpr std::string_view ByteOrderMark = "\xEF\xBB\xBF";
// ':', byte count, address, type and checksum: the record without data.
constexpr size_t ShortestRecord = 11;

constexpr unsigned DataType = 0x00;
constexpr unsigned EndOfFileType = 0x01;
constexpr unsigned SegmentAddressType = 0x02;
constexpr unsigned LinearAddressType = 0x04;
constexpr unsigned HighestType = 0x05;
// The data bytes each record type holds; data records hold any number.
constexpr std::array<int, HighestType + 1> TypeDataBytes{-1, 0, 2, 4, 2, 4};

struct TRecord {
  unsigned ByteCount = 0;
  unsigned Address = 0;
  unsigned Type = 0;
  std::vector<unsigned> Data;
};

bool IsBlankLine(std::string_view Line) {
  return std::all_of(Line.begin(), Line.end(), [](char c) { return c == ' ' || c == '\t'; });
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

// Reads one record line; throws the reason it is not a sound record, as a bare text.
TRecord ReadRecord(std::string_view Line) {
  if (Line.front() != ':') throw EProgramFileError("the line does not start with \":\"");
  if (Line.size() < ShortestRecord)
    throw EProgramFileError(
        Format("too short for a record (%zu characters, a record has at least %zu)", Line.size(), ShortestRecord));
  for (size_t i = 1; i < Line.size(); ++i)
    if (HexDigit(Line[i]) < 0)
      throw EProgramFileError(Format("character %zu (%s) is not a hexadecimal digit", i + 1,
                                     VisibleText(Line.substr(i, 1)).c_str()));
  if (Line.size() % 2 == 0) throw EProgramFileError("an odd number of hexadecimal digits");
  std::vector<unsigned> bytes;
  for (size_t i = 1; i < Line.size(); i += 2)
    bytes.push_back(static_cast<unsigned>(HexDigit(Line[i]) * 16 + HexDigit(Line[i + 1])));
  TRecord record;
  record.ByteCount = bytes[0];
  record.Address = bytes[1] << 8 | bytes[2];
  record.Type = bytes[3];
  record.Data.assign(bytes.begin() + 4, bytes.end() - 1);
  if (record.Data.size() != record.ByteCount)
    throw EProgramFileError(Format("the byte count %02X says %u data bytes, the record holds %zu", record.ByteCount,
                                   record.ByteCount, record.Data.size()));
  if (record.Type > HighestType)
    throw EProgramFileError(Format("record type %02X is not one of 00 to 05", record.Type));
  const int typeBytes = TypeDataBytes[record.Type];
  if (typeBytes >= 0 && record.ByteCount != static_cast<unsigned>(typeBytes))
    throw EProgramFileError(
        Format("a record of type %02X holds %d data bytes, not %u", record.Type, typeBytes, record.ByteCount));
  unsigned sum = 0;
  for (size_t i = 0; i + 1 < bytes.size(); ++i) sum += bytes[i];
  const unsigned needed = (0x100 - (sum & 0xFF)) & 0xFF;
  if (bytes.back() != needed)
    throw EProgramFileError(Format("the checksum %02X is wrong, the record's bytes need %02X", bytes.back(), needed));
  return record;
}

// The lines of Content split as a run's load splits them: at CR, LF or CR LF, a break at the
// very end adding no line.
std::vector<std::string_view> LinesOf(std::string_view Content) {
  std::vector<std::string_view> lines;
  size_t start = 0;
  while (start < Content.size()) {
    const size_t end = std::min(Content.find_first_of("\r\n", start), Content.size());
    lines.push_back(Content.substr(start, end - start));
    const bool pair = end + 1 < Content.size() && Content[end] == '\r' && Content[end + 1] == '\n';
    start = end + (pair ? 2 : 1);
  }
  return lines;
}

// Walks the records of one file, keeping what a run sends of them.
class TProgramTextCheck {
public:
  TProgramTextCheck(const std::string& FileName, std::string_view Content) : FFileName(FileName), FContent(Content) {}

  TProgramFileCheck Run() {
    FResult.FileName = FFileName;
    FResult.Size = FContent.size();
    FResult.Sha256 = Sha256Hex(FContent);
    const std::vector<std::string_view> lines = LinesOf(WithoutByteOrderMark(FContent));
    if (lines.empty()) Refuse(1, "the file is empty: it holds no record", "");
    for (size_t i = 0; i < lines.size(); ++i) CheckLine(static_cast<int>(i + 1), lines[i]);
    const int lastLine = static_cast<int>(lines.size());
    if (FEndOfFileLine == 0)
      Refuse(lastLine, "the file ends without an end-of-file record (:00000001FF)", lines.back());
    if (FDataRecordsSent == 0)
      Refuse(FEndOfFileLine,
             Format("no data record is left to send (%d in the protected area at F800 and above, %d blank)",
                    FResult.SkippedProtected, FResult.SkippedBlank),
             lines[static_cast<size_t>(FEndOfFileLine - 1)]);
    return std::move(FResult);
  }

private:
  [[noreturn]] void Refuse(int LineNumber, const std::string& Reason, std::string_view Line) const {
    throw EProgramFileError(Format("%s: line %d: %s%s", FFileName.c_str(), LineNumber, Reason.c_str(),
                                   Line.empty() ? "" : (": " + QuotedRecord(Line)).c_str()));
  }

  void CheckLine(int LineNumber, std::string_view Line) {
    if (IsBlankLine(Line)) return;
    TRecord record;
    try {
      record = ReadRecord(Line);
    } catch (const EProgramFileError& E) {
      Refuse(LineNumber, E.Message(), Line);
    }
    if (FEndOfFileLine != 0)
      Refuse(LineNumber, Format("a record after the end-of-file record of line %d", FEndOfFileLine), Line);
    ++FResult.RecordsInFile;
    if (record.Type == EndOfFileType) FEndOfFileLine = LineNumber;
    if (record.Type == SegmentAddressType) FBase = (record.Data[0] << 8 | record.Data[1]) << 4;
    if (record.Type == LinearAddressType) FBase = (record.Data[0] << 8 | record.Data[1]) << 16;
    const TRecordFilter filter = FilterOf(Line, record.ByteCount, record.Address);
    // The unit would never hear the end of the file: refused before anything is erased.
    if (record.Type == EndOfFileType && filter == TRecordFilter::Protected)
      Refuse(LineNumber,
             Format("the end-of-file record is addressed at %04X, in the protected area at F800 and above that a run "
                    "does not send",
                    record.Address),
             Line);
    switch (filter) {
      case TRecordFilter::Protected: ++FResult.SkippedProtected; return;
      case TRecordFilter::Blank: ++FResult.SkippedBlank; return;
      case TRecordFilter::Sent: break;
    }
    FResult.RecordsToSend.emplace_back(Line);
    if (record.Type == DataType && record.ByteCount > 0) AddSentData(FBase + record.Address, record.ByteCount);
  }

  void AddSentData(uint32_t First, unsigned ByteCount) {
    const uint32_t last = First + ByteCount - 1;
    if (FDataRecordsSent++ == 0) FResult.SentData = {First, last};
    FResult.SentData.First = std::min(FResult.SentData.First, First);
    FResult.SentData.Last = std::max(FResult.SentData.Last, last);
  }

  const std::string& FFileName;
  std::string_view FContent;
  TProgramFileCheck FResult;
  int FEndOfFileLine = 0;
  int FDataRecordsSent = 0;
  uint32_t FBase = 0;
};
}  // namespace

TRecordFilter FilterOf(std::string_view Record, unsigned ByteCount, unsigned Address) {
  if (Address >= ProtectedAddress) return TRecordFilter::Protected;
  if (ByteCount == 0 || ByteCount > MaxSkippedByteCount) return TRecordFilter::Sent;
  const std::string blank = "00" + std::string(2 * ByteCount, 'F');
  return Record.substr(std::min(TypeOffset, Record.size())).starts_with(blank) ? TRecordFilter::Blank
                                                                               : TRecordFilter::Sent;
}

std::string_view WithoutByteOrderMark(std::string_view Text) {
  return Text.starts_with(ByteOrderMark) ? Text.substr(ByteOrderMark.size()) : Text;
}

std::string QuotedRecord(std::string_view Record) {
  // Appended piece by piece: GCC 12 at -O3 misreads "\"" + text as an overlapping copy.
  std::string quoted(1, '"');
  quoted += VisibleText(Record.substr(0, MaxQuotedLength));
  if (Record.size() > MaxQuotedLength) quoted += "...";
  quoted += '"';
  return quoted;
}

TProgramFileCheck CheckProgramText(const std::string& FileName, std::string_view Content) {
  return TProgramTextCheck(FileName, Content).Run();
}

namespace {
// A station checks one or two files once for every device's run, and again as each unit
// begins, all on one thread: the last few sound files are kept with their bytes, and a file
// that reads the same, to the byte, has the same outcome.
class TSoundFiles {
public:
  TSharedFileCheck Find(const std::string& FileName, const std::string& Content) {
    std::lock_guard<std::mutex> guard(FLock);
    for (const TKept& kept : FKept)
      if (kept.Check->FileName == FileName && kept.Content == Content) return kept.Check;
    return nullptr;
  }
  void Keep(std::string Content, const TSharedFileCheck& Check) {
    std::lock_guard<std::mutex> guard(FLock);
    if (FKept.size() == Kept) FKept.pop_front();
    FKept.push_back({std::move(Content), Check});
  }

private:
  static constexpr size_t Kept = 4;
  struct TKept {
    std::string Content;
    TSharedFileCheck Check;
  };
  std::mutex FLock;
  std::deque<TKept> FKept;
};

TSoundFiles& SoundFiles() {
  static TSoundFiles files;
  return files;
}
}  // namespace

TSharedFileCheck ShareProgramFileCheck(const std::string& FileName) {
  std::string content;
  try {
    content = ReadRegularFile(FileName, MaxProgramFileBytes);
  } catch (const EFileError& E) {
    throw EProgramFileError(E.Message());
  }
  if (TSharedFileCheck kept = SoundFiles().Find(FileName, content)) return kept;
  auto check = std::make_shared<const TProgramFileCheck>(CheckProgramText(FileName, content));
  SoundFiles().Keep(std::move(content), check);
  return check;
}

TProgramFileCheck CheckProgramFile(const std::string& FileName) { return *ShareProgramFileCheck(FileName); }
