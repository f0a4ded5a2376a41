#include "cli/RunLog.h"

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
