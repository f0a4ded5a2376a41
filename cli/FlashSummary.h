#pragma once

#include <string>
#include <vector>

#include "app/ProgrammingRun.h"

// How one device's run ended, for the summary of a call with several devices.
struct TDeviceOutcome {
  std::string Address;
  std::string Units;
  TRunResult Result;
  int Records = 0;
  double Seconds = 0;
};

// "Master", "Slave" or "Master+Slave": the units a request programs.
std::string UnitsText(const TRunRequest& Request);
// The command's exit code: 0 when every device succeeded, else the first failed device's.
int SummaryExitCode(const std::vector<TDeviceOutcome>& Outcomes);
// A table of the devices in the order given: address, units, result, records, seconds.
std::vector<std::string> SummaryTable(const std::vector<TDeviceOutcome>& Outcomes);
// The last line: how many devices were programmed and which failed first.
std::string SummaryLine(const std::vector<TDeviceOutcome>& Outcomes);
// The summary as one JSON event.
std::string SummaryJson(const std::vector<TDeviceOutcome>& Outcomes);
