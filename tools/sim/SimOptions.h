#pragma once

#include <chrono>
#include <string>
#include <vector>

#include "base/UsageError.h"
#include "tools/sim/SimDevice.h"

// The port every simulated device listens on, as a Zelmirt does.
constexpr int SimDevicePort = 4001;

struct TSimOptions {
  std::vector<std::string> Listen;  // one device per address
  std::string FlashedPattern;       // empty: no record of flashed records
  std::string ReceivedPattern;      // empty: no record of received bytes
  TSimFaults Faults;
  std::chrono::milliseconds Delay{0};
  std::chrono::milliseconds Dribble{0};
  bool RefuseConnections = false;
  bool Help = false;
  bool Version = false;
};

// Raises EUsageError for an unknown option, a missing or bad value, an address outside
// 127.0.0.0/8, or a --flashed or --received name that cannot tell several devices apart.
TSimOptions ParseSimOptions(const std::vector<std::string>& Args);
// The file of the device at Address named by a --flashed or --received Pattern.
std::string DeviceFileName(const std::string& Pattern, const std::string& Address);
std::string SimHelpText();
