#pragma once

#include <string>

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

private:
  std::string FFileName;
};
