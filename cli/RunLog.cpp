#include "cli/RunLog.h"

#include <cctype>

#include "base/Format.h"
#include "cli/ConsoleScreen.h"
#include "platform/LocalTime.h"

namespace {
std::string TimeStamp() {
  const TLocalTime now = LocalTimeNow();
  return Format("%04d-%02d-%02d %02d:%02d:%02d.%03d", now.Year, now.Month, now.Day, now.Hour, now.Minute,
                now.Second, now.Millisecond);
}
}  // namespace

void TRunLog::Append(const std::string& Line) {
  if (FFileName.empty()) return;
  if (!FFile) FFile = std::make_unique<TAppendingFile>(FFileName);
  FFile->Append("", TimeStamp() + " " + Line + "\n");
}

void TRunLog::AppendDuringRun(const std::string& Line, TConsoleScreen& Screen) {
  try {
    Append(Line);
  } catch (const std::exception& E) {
    EndAfterFailure(E, Screen);
  }
}

void TRunLog::CloseDuringRun(TConsoleScreen& Screen) {
  try {
    if (FFile) FFile->Close();
    FFile.reset();
  } catch (const std::exception& E) {
    EndAfterFailure(E, Screen);
  }
}

void TRunLog::EndAfterFailure(const std::exception& Failure, TConsoleScreen& Screen) {
  FFileName.clear();
  FFile.reset();
  Screen.ErrorLine(Format("zelmirt-flash: %s; the log ends here", Failure.what()));
}

std::string DeviceLogFileName(const std::string& Folder, const std::string& Address, const TLocalTime& Start) {
  std::string name;
  for (const char c : Address) name += std::isalnum(static_cast<unsigned char>(c)) || c == '.' || c == '-' ? c : '_';
  name += Format("_%04d%02d%02d-%02d%02d%02d.log", Start.Year, Start.Month, Start.Day, Start.Hour, Start.Minute,
                 Start.Second);
  return Folder.empty() || Folder.back() == '/' ? Folder + name : Folder + "/" + name;
}
