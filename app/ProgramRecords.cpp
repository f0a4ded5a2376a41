#include "app/ProgramRecords.h"

#include <charconv>
#include <string>
#include <string_view>

#include "app/ProgramFileCheck.h"
#include "base/Exception.h"
#include "base/Format.h"
#include "platform/Files.h"

namespace {
// Offsets of the record's fields (after the ':' that is not examined).
constexpr size_t ByteCountOffset = 1;
constexpr size_t AddressOffset = 3;

// The hexadecimal field of Line at Offset, exactly Length digits.
unsigned HexField(const std::string& Line, int LineNumber, size_t Offset, size_t Length,
                  const char* FieldName) {
  if (Line.size() < Offset + Length)
    throw EConvertError(Format("Program file line %d: %s is too short for a record (no %s)",
                               LineNumber, QuotedRecord(Line).c_str(), FieldName));
  const std::string_view digits(Line.data() + Offset, Length);
  unsigned value = 0;
  const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value, 16);
  if (error != std::errc() || end != digits.data() + digits.size())
    throw EConvertError(Format("Program file line %d: %s: the %s \"%s\" is not hexadecimal", LineNumber,
                               QuotedRecord(Line).c_str(), FieldName, VisibleText(digits).c_str()));
  return value;
}

// Whether the record goes to the device; raises EConvertError for a malformed line.
bool IsSentRecord(const std::string& Line, int LineNumber) {
  const unsigned byteCount = HexField(Line, LineNumber, ByteCountOffset, 2, "byte count");
  const unsigned address = HexField(Line, LineNumber, AddressOffset, 4, "address");
  return FilterOf(Line, byteCount, address) == TRecordFilter::Sent;
}
}  // namespace

void LoadProgramLines(TStringList& Lines, const std::string& FileName) {
  Lines.SetText(std::string(WithoutByteOrderMark(ReadFileText(FileName))));
}

void FilterProgramLines(TStringList& Lines) {
  TStringList sent;
  for (int i = 0; i < Lines.Count(); ++i) {
    const std::string& line = Lines.Strings(i);
    if (IsSentRecord(line, i + 1)) sent.Add(line);
  }
  Lines.CopyFrom(sent);
}
