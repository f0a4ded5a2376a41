#include "cli/CheckCommand.h"

#include "app/ProgramFileCheck.h"
#include "app/RunOutcome.h"
#include "base/Format.h"
#include "cli/ConsoleReport.h"
#include "cli/ConsoleScreen.h"

namespace {
std::string AddressText(uint32_t Address) { return Format("%04X", Address); }

std::vector<std::string> CheckLines(const TProgramFileCheck& Check) {
  return {
      Check.FileName + ": accepted",
      Format("  records in the file: %d", Check.RecordsInFile),
      Format("  records to send:     %zu", Check.RecordsToSend.size()),
      Format("  skipped:             %d in the protected area (F800 and above), %d blank (all FF)",
             Check.SkippedProtected, Check.SkippedBlank),
      "  address range sent:  " + AddressText(Check.SentData.First) + "-" + AddressText(Check.SentData.Last),
      Format("  size:                %llu bytes", static_cast<unsigned long long>(Check.Size)),
      "  SHA-256:             " + Check.Sha256,
  };
}

std::string CheckJson(const TProgramFileCheck& Check) {
  return Format(
      "{\"file\":%s,\"accepted\":true,\"records\":%d,\"recordsToSend\":%zu,\"skippedProtected\":%d,"
      "\"skippedBlank\":%d,\"firstAddress\":\"%s\",\"lastAddress\":\"%s\",\"size\":%llu,\"sha256\":\"%s\"}",
      JsonString(Check.FileName).c_str(), Check.RecordsInFile, Check.RecordsToSend.size(), Check.SkippedProtected,
      Check.SkippedBlank, AddressText(Check.SentData.First).c_str(), AddressText(Check.SentData.Last).c_str(),
      static_cast<unsigned long long>(Check.Size), Check.Sha256.c_str());
}

std::string RefusalJson(const std::string& File, const std::string& Message) {
  return Format("{\"file\":%s,\"accepted\":false,\"error\":%s}", JsonString(File).c_str(),
                JsonString(Message).c_str());
}
}  // namespace

int RunCheckCommand(const std::vector<std::string>& Files, bool Json, TConsoleScreen& Screen) {
  bool allAccepted = true;
  for (const std::string& file : Files) {
    try {
      const TProgramFileCheck check = CheckProgramFile(file);
      if (Json) {
        Screen.Line(CheckJson(check));
      } else {
        for (const std::string& line : CheckLines(check)) Screen.Line(line);
      }
    } catch (const EProgramFileError& E) {
      allAccepted = false;
      if (Json)
        Screen.Line(RefusalJson(file, E.Message()));
      else
        Screen.ErrorLine("zelmirt-flash: " + E.Message());
    }
  }
  return static_cast<int>(allAccepted ? TRunOutcome::Programmed : TRunOutcome::BadProgramFile);
}
