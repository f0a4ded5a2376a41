#pragma once

#include <exception>
#include <memory>
#include <string>

#include "platform/LocalTime.h"
#include "platform/LogFile.h"

class TConsoleScreen;

// The --log file: every line appended with a time stamp. None when the name is empty. The
// file is opened at the first line and kept open; each line still goes in whole under the
// file's lock, so the lines of several calls sharing one log never interleave.
class TRunLog {
public:
  explicit TRunLog(std::string FileName) : FFileName(std::move(FileName)) {}

  // Raises EFileError when the line cannot be appended.
  void Append(const std::string& Line);
  // From a run's events, which must not see the failure: it is reported once on Screen
  // and the log ends there.
  void AppendDuringRun(const std::string& Line, TConsoleScreen& Screen);
  // Closes the file after the run's last line, so that a run that ended holds no descriptor;
  // a failure is reported once on Screen. A later line opens it again.
  void CloseDuringRun(TConsoleScreen& Screen);
  // There is a file, and it has not failed.
  bool Writing() const { return !FFileName.empty(); }

private:
  // Ends the log after a failure, reported once on Screen.
  void EndAfterFailure(const std::exception& Failure, TConsoleScreen& Screen);

  std::string FFileName;
  std::unique_ptr<TAppendingFile> FFile;
};

// The --log-dir file of one device's run: its address (anything but letters, digits, '.' and
// '-' as '_') and its local start time, "127.0.0.5_20261209-141530.log" in Folder.
std::string DeviceLogFileName(const std::string& Folder, const std::string& Address, const TLocalTime& Start);
