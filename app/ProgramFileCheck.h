#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/Exception.h"

// Raised for a program file that cannot program a unit. The message names the file, the line
// where the fault lies in one, and what is wrong.
class EProgramFileError : public Exception {
public:
  using Exception::Exception;
};

// Far above any real program, so that only a wrong file reaches it.
constexpr size_t MaxProgramFileBytes = 64u * 1024 * 1024;

// What every run's filter does with a record.
enum class TRecordFilter { Sent, Protected, Blank };
// The filter's verdict on a record whose byte count and address have been read: records at
// F800 and above are protected, data records of 1 to 32 bytes that are all FF (written in
// upper case) are blank, every other record is sent.
TRecordFilter FilterOf(std::string_view Record, unsigned ByteCount, unsigned Address);
// Text without the UTF-8 byte-order mark an editor may put at its start.
std::string_view WithoutByteOrderMark(std::string_view Text);
// A record as a message quotes it: control and non-ASCII bytes as \xHH, a long one cut.
std::string QuotedRecord(std::string_view Record);

// The absolute addresses of the data bytes a run sends, first and last.
struct TAddressRange {
  uint32_t First = 0;
  uint32_t Last = 0;
};

// A program file found whole and sound, and what a run sends of it.
struct TProgramFileCheck {
  std::string FileName;
  uint64_t Size = 0;
  std::string Sha256;
  int RecordsInFile = 0;
  // Verbatim and in file order, the end-of-file record last.
  std::vector<std::string> RecordsToSend;
  int SkippedProtected = 0;
  int SkippedBlank = 0;
  TAddressRange SentData;
};

// Reads FileName whole and checks every line before anything is sent: a regular file of at
// most MaxProgramFileBytes; after an optional UTF-8 byte-order mark, lines that are blank or
// Intel HEX records with a right length, hexadecimal digits, type (00 to 05) and checksum;
// one end-of-file record, last; at least one data record left to send after the filter.
// Raises EProgramFileError.
TProgramFileCheck CheckProgramFile(const std::string& FileName);
// A check that every holder of it shares.
using TSharedFileCheck = std::shared_ptr<const TProgramFileCheck>;
// CheckProgramFile without a copy of the check: the file is still read whole each time, and
// content read before, to the byte, gives the check made of it then. A station checks its
// files for each device three times (when the call starts, at the Program click, as the
// unit's run begins); a copy of every record at each look cost a station three copies of its
// files for every device.
TSharedFileCheck ShareProgramFileCheck(const std::string& FileName);
// The same for content already read; FileName only names it.
TProgramFileCheck CheckProgramText(const std::string& FileName, std::string_view Content);
