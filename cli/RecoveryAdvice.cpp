#include "cli/RecoveryAdvice.h"

#include "base/Format.h"
#include "app/DeviceDialogue.h"

std::vector<std::string> RecoveryAdvice(const TRunResult& Result, const TRunRequest& Request, bool SeveralDevices) {
  if (Result.Outcome == TRunOutcome::Programmed || !Result.Verdict) return {};
  const TUnitVerdict* failed = nullptr;
  for (const TUnitVerdict& unit : Result.Verdict->Units)
    if (unit.Outcome != TRunOutcome::Programmed) failed = &unit;
  if (!failed) return {};
  const bool master = failed->Unit == MasterTarget;
  const char* name = UnitName(failed->Unit);
  const std::string option = SeveralDevices ? Format("%s after its address in a --devices file",
                                                     master ? "master-recover" : "slave-recover")
                                            : std::string(master ? "--master-recover" : "--slave-recover");
  if (failed->BootloaderEntered)
    return {Format("the %s may be waiting in its bootloader: program it again with %s", name, option.c_str())};
  const bool recovering = master ? Request.MasterRecover : Request.SlaveRecover;
  if (failed->Outcome == TRunOutcome::EnableFailed && !recovering)
    return {Format("if an earlier run left the %s in its bootloader, program it with %s", name, option.c_str())};
  return {};
}
