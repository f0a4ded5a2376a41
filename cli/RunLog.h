#pragma once

#include <string>

#include "platform/LocalTime.h"

class TConsoleScreen;

// The --log file: every line appended with a time stamp. None when the name is empty.
class TRunLog {
public:
  explicit TRunLog(std::string FileName) : FFileName(std::move(FileName)) {}

  // Raises EFileError when the line cannot be appended.
  void Append(const std::string& Line);
  // From a run's events, which must not see the failure: it is reported once on Screen
  // and the log ends there.
  void AppendDuringRun(const std::string& Line, TConsoleScreen& Screen);
  // There is a file, and it has not failed.
  bool Writing() const { return !FFileName.empty(); }

private:
  std::string FFileName;
};

// The --log-dir file of one device's run: its address (anything but letters, digits, '.' and
// '-' as '_') and its local start time, "127.0.0.5_20261209-141530.log" in Folder.
std::string DeviceLogFileName(const std::string& Folder, const std::string& Address, const TLocalTime& Start);
