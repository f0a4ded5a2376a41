#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/Readiness.h"
#include "tools/sim/SimOptions.h"

// Serves one simulated device per --listen address from one thread: accepts one connection
// per device at a time, feeds the device what arrives, and sends its replies as the reply
// schedule says.
class TSimServer {
public:
  using TPrint = std::function<void(const std::string& Line)>;

  // Binds every address and writes the empty --flashed and --received files; raises
  // ETcpServerError or ESimRecordError when that fails.
  TSimServer(const TSimOptions& Options, TPrint Print);
  ~TSimServer();
  TSimServer(const TSimServer&) = delete;
  TSimServer& operator=(const TSimServer&) = delete;

  // Serves until Stop becomes readable. Raises ESimRecordError when a --flashed or
  // --received file can no longer be written.
  void Run(const TPollable& Stop);

private:
  class TDeviceSlot;
  TPrint FPrint;
  std::vector<std::unique_ptr<TDeviceSlot>> FSlots;
};
