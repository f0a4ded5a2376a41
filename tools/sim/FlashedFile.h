#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "base/Exception.h"
#include "tools/sim/SimDevice.h"

// Raised when a record the simulator keeps (flashed records, received bytes) cannot be
// written; the message names the file.
class ESimRecordError : public Exception {
public:
  using Exception::Exception;
};

// The file that shows what a simulated device's units hold: one line "MASTER <record>" per
// record the Master accepted since its last erase, in order, then "SLAVE <record>" lines.
// It is replaced whole, so a reader never sees a half-written state.
class TFlashedFile {
public:
  explicit TFlashedFile(std::string Path);
  const std::string& Path() const { return FPath; }

  // Writes the device's records when they changed since the last write.
  void Update(const TSimDevice& Device);
  static std::string Content(const TSimDevice& Device);

private:
  std::string FPath;
  std::optional<uint64_t> FWrittenRevision;
};
