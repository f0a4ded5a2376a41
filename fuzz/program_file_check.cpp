// Any bytes as a program file, checked whole as before a run. Properties: a refusal names the
// file and a line and shows only printable ASCII; an accepted file's records to send are
// record lines of the file in file order, the end-of-file record last, and every record of
// the file is either sent or counted as skipped.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "app/ProgramFileCheck.h"
#include "base/Format.h"
#include "fuzz/FuzzFolder.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  const std::string content(reinterpret_cast<const char*>(Data), Size);
  TProgramFileCheck check;
  try {
    check = CheckProgramText("program.hex", content);
  } catch (const EProgramFileError& E) {
    const std::string& message = E.Message();
    if (!message.starts_with("program.hex: line ")) PropertyBroken("no file and line: " + message);
    for (const char c : message)
      if (static_cast<unsigned char>(c) < 0x20 || static_cast<unsigned char>(c) >= 0x7F)
        PropertyBroken("a byte that is not printable ASCII in the message: " + message);
    return 0;
  }
  if (check.RecordsToSend.empty() || check.RecordsToSend.back().substr(7, 2) != "01")
    PropertyBroken("the end-of-file record is not sent last");
  if (static_cast<int>(check.RecordsToSend.size()) + check.SkippedProtected + check.SkippedBlank !=
      check.RecordsInFile)
    PropertyBroken("records are neither sent nor skipped");
  size_t from = 0;
  for (const std::string& record : check.RecordsToSend) {
    if (record.empty() || record.front() != ':' || record.find_first_of("\r\n") != std::string::npos)
      PropertyBroken("a record sent is not one record line");
    const size_t at = content.find(record, from);
    if (at == std::string::npos) PropertyBroken(Format("record \"%s\" is not a line of the file in order", record.c_str()));
    from = at + record.size();
  }
  return 0;
}
