#include "cli/RunLog.h"

#include <cctype>

#include "base/Format.h"
#include "cli/ConsoleScreen.h"
#include "platform/LocalTime.h"
#include "platform/LogFile.h"

namespace {
std::string TimeStamp() {
  const TLocalTime now = LocalTimeNow();
  return Format("%04d-%02d-%02d %02d:%02d:%02d.%03d", now.Year, now.Month, now.Day, now.Hour, now.Minute,
                now.Second, now.Millisecond);
}
}  // namespace

void TRunLog::Append(const std::string& Line) {
  if (!FFileName.empty()) AppendToFile(FFileName, "", TimeStamp() + " " + Line + "\n");
}

void TRunLog::AppendDuringRun(const std::string& Line, TConsoleScreen& Screen) {
  try {
    Append(Line);
  } catch (const std::exception& E) {
    FFileName.clear();
    Screen.ErrorLine(Format("zelmirt-flash: %s; the log ends here", E.what()));
  }
}

std::string DeviceLogFileName(const std::string& Folder, const std::string& Address, const TLocalTime& Start) {
  std::string name;
  for (const char c : Address) name += std::isalnum(static_cast<unsigned char>(c)) || c == '.' || c == '-' ? c : '_';
  name += Format("_%04d%02d%02d-%02d%02d%02d.log", Start.Year, Start.Month, Start.Day, Start.Hour, Start.Minute,
                 Start.Second);
  return Folder.empty() || Folder.back() == '/' ? Folder + name : Folder + "/" + name;
}
