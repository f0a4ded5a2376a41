#pragma once

#include <string>
#include <vector>

#include "app/ProgrammingRun.h"
#include "base/UsageError.h"
#include "cli/DeviceList.h"

struct TFlashOptions {
  // Every device's request but its address.
  TRunRequest Request;
  // The devices, in the order given: the arguments, then the --devices file's.
  std::vector<TDeviceEntry> Devices;
  std::string LogFile;
  // One log file per device in this folder; none when empty.
  std::string LogFolder;
  std::string ReportFile;
  bool Quiet = false;
  bool Verbose = false;
  bool Json = false;
  bool Help = false;
  bool Version = false;
  // "check FILE..." or --check: the files are checked, nothing connects.
  bool Check = false;
  std::vector<std::string> CheckFiles;
};

// Reads zelmirt-flash's arguments (without the program name); raises EUsageError.
TFlashOptions ParseCommandLine(const std::vector<std::string>& Arguments);
// The --help text: usage, every option and every exit code.
std::string HelpText();
