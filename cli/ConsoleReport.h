#pragma once

#include <chrono>
#include <string>
#include <vector>

#include "app/ProgramFileCheck.h"
#include "app/ProgrammingRun.h"
#include "cli/RunLog.h"

class TConsoleScreen;

// How one device's run is shown: plain lines, or one JSON object per event (--json); its
// progress as a bar on a terminal, percentage lines otherwise; nothing but the result when
// quiet, the records' acknowledgements only when verbose. Every line also goes to the call's
// log and to the device's own log. When several devices run, each line starts with the
// device's address.
class TConsoleReport {
public:
  struct TSettings {
    bool Quiet = false;
    bool Verbose = false;
    bool Json = false;
    // Lines start with the address; the bar is labelled with it.
    bool Prefixed = false;
  };
  // DeviceLogFile: this device's own log, none when empty.
  TConsoleReport(TSettings Settings, std::string Address, size_t BarIndex, TConsoleScreen& Screen, TRunLog& Log,
                 std::string DeviceLogFile = {});

  // The events of a run, reported here.
  TRunEvents Events();
  void MemoLine(const std::string& Line, bool RecordReply = false);
  void Status(int Section, const std::string& Text);
  void Progress(const std::string& Unit, int Percent);
  void UnitBegins(const std::string& Unit);
  void Retry(const TUnitVerdict& Failed, int Attempt);
  // The checked file a unit is programmed from, before the run starts.
  void ProgramFile(const std::string& Unit, const TProgramFileCheck& File);
  // The run's end: its result, the verdict of every unit and attempt (as the --report file's
  // records, JSON objects), and what to do about a unit left in its bootloader. Advice is
  // shown here only for a device on its own; among several it follows the summary.
  void Result(const TRunResult& Result, const std::vector<std::string>& Verdicts = {},
              const std::vector<std::string>& Advice = {});

private:
  void Log(const std::string& Text);
  void Line(const std::string& Text);
  // An event of the unit under way, or of Unit.
  std::string JsonEvent(const std::string& Kind, const std::string& Fields) const;
  std::string JsonEvent(const std::string& Kind, const std::string& Unit, const std::string& Fields) const;

  TSettings FSettings;
  std::string FAddress;
  std::string FPrefix;
  size_t FBarIndex;
  TConsoleScreen& FScreen;
  TRunLog& FLog;
  TRunLog FDeviceLog;
  // The unit under way, once one began, and since when.
  std::string FUnit;
  std::chrono::steady_clock::time_point FUnitStarted;
};

// Text as a JSON string literal.
std::string JsonString(const std::string& Text);
// The time a unit still needs at Percent after Elapsed, as "ETA m:ss"; empty until there is
// progress to judge by, and at the end.
std::string EtaText(std::chrono::duration<double> Elapsed, int Percent);
