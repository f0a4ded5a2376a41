#pragma once

#include <cstdio>
#include <string>

#include "app/ProgrammingRun.h"

// How a run is shown: plain lines, or one JSON object per event (--json); a progress bar
// that updates in place on a terminal, percentage lines otherwise; nothing but the result
// when quiet; and, with a log file, every line appended to it with a time stamp.
class TConsoleReport {
public:
  struct TSettings {
    bool Quiet = false;
    bool Json = false;
    bool Terminal = false;
    std::string LogFile;
  };
  TConsoleReport(TSettings Settings, FILE* Output, FILE* Errors);

  // The events of a run, reported here.
  TRunEvents Events();
  void MemoLine(const std::string& Line);
  void Status(int Section, const std::string& Text);
  void Progress(const std::string& Unit, int Percent);
  // The run's end: the last line of the output.
  void Result(const TRunResult& Result);
  // Appends a line to the log file only; raises EFileError when it cannot.
  void Log(const std::string& Line);

private:
  // Appends a line to the log file; a failure is reported and ends the log.
  void LogDuringRun(const std::string& Line);
  void Line(const std::string& Text);
  void ClearBar();
  void DrawBar();

  TSettings FSettings;
  FILE* FOutput;
  FILE* FErrors;
  bool FBarShown = false;
  std::string FBarUnit;
  int FBarPercent = 0;
};

// Text as a JSON string literal.
std::string JsonString(const std::string& Text);
