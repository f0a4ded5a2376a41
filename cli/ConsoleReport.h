#pragma once

#include <string>

#include "app/ProgramFileCheck.h"
#include "app/ProgrammingRun.h"

class TConsoleScreen;
class TRunLog;

// How one device's run is shown: plain lines, or one JSON object per event (--json); its
// progress as a bar on a terminal, percentage lines otherwise; nothing but the result when
// quiet; every line also in the log. When several devices run, each line starts with the
// device's address.
class TConsoleReport {
public:
  struct TSettings {
    bool Quiet = false;
    bool Json = false;
    // Lines start with the address; the bar is labelled with it.
    bool Prefixed = false;
  };
  TConsoleReport(TSettings Settings, std::string Address, size_t BarIndex, TConsoleScreen& Screen, TRunLog& Log);

  // The events of a run, reported here.
  TRunEvents Events();
  void MemoLine(const std::string& Line);
  void Status(int Section, const std::string& Text);
  void Progress(const std::string& Unit, int Percent);
  // The checked file a unit is programmed from, before the run starts.
  void ProgramFile(const std::string& Unit, const TProgramFileCheck& File);
  // The run's end.
  void Result(const TRunResult& Result);

private:
  void Log(const std::string& Text);
  void Line(const std::string& Text);
  std::string JsonEvent(const std::string& Kind, const std::string& Fields) const;

  TSettings FSettings;
  std::string FAddress;
  std::string FPrefix;
  size_t FBarIndex;
  TConsoleScreen& FScreen;
  TRunLog& FLog;
};

// Text as a JSON string literal.
std::string JsonString(const std::string& Text);
