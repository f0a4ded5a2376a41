#include "app/ProgramRecords.h"

#include <charconv>
#include <string>
#include <string_view>

#include "base/Exception.h"
#include "base/Format.h"
#include "platform/Files.h"

namespace {
// Records at this address and above are never sent.
constexpr unsigned ProtectedAddress = 0xF800;
// All-FF data records up to this byte count are skipped.
constexpr unsigned MaxSkippedByteCount = 32;
// Offsets of the record's fields (after the ':' that is not examined).
constexpr size_t ByteCountOffset = 1;
constexpr size_t AddressOffset = 3;
constexpr size_t TypeOffset = 7;
// A line longer than this is cut in error messages.
constexpr size_t MaxQuotedLength = 48;

std::string Quoted(const std::string& Line) {
  if (Line.size() <= MaxQuotedLength) return "\"" + VisibleText(Line) + "\"";
  return "\"" + VisibleText(std::string_view(Line).substr(0, MaxQuotedLength)) + "...\"";
}

// The hexadecimal field of Line at Offset, exactly Length digits.
unsigned HexField(const std::string& Line, int LineNumber, size_t Offset, size_t Length,
                  const char* FieldName) {
  if (Line.size() < Offset + Length)
    throw EConvertError(Format("Program file line %d: %s is too short for a record (no %s)",
                               LineNumber, Quoted(Line).c_str(), FieldName));
  const std::string_view digits(Line.data() + Offset, Length);
  unsigned value = 0;
  const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value, 16);
  if (error != std::errc() || end != digits.data() + digits.size())
    throw EConvertError(Format("Program file line %d: %s: the %s \"%s\" is not hexadecimal", LineNumber,
                               Quoted(Line).c_str(), FieldName, VisibleText(digits).c_str()));
  return value;
}

bool IsBlankDataRecord(const std::string& Line, unsigned ByteCount) {
  const std::string blank = "00" + std::string(2 * ByteCount, 'F');
  return Line.compare(TypeOffset, blank.size(), blank) == 0;
}

// Whether the record goes to the device; raises EConvertError for a malformed line.
bool IsSentRecord(const std::string& Line, int LineNumber) {
  const unsigned byteCount = HexField(Line, LineNumber, ByteCountOffset, 2, "byte count");
  const unsigned address = HexField(Line, LineNumber, AddressOffset, 4, "address");
  if (address >= ProtectedAddress) return false;
  if (byteCount == 0 || byteCount > MaxSkippedByteCount) return true;
  return !IsBlankDataRecord(Line, byteCount);
}
}  // namespace

void LoadProgramLines(TStringList& Lines, const std::string& FileName) { Lines.SetText(ReadFileText(FileName)); }

void FilterProgramLines(TStringList& Lines) {
  TStringList sent;
  for (int i = 0; i < Lines.Count(); ++i) {
    const std::string& line = Lines.Strings(i);
    if (IsSentRecord(line, i + 1)) sent.Add(line);
  }
  Lines.CopyFrom(sent);
}
