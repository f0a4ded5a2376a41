#include "threads/KtUtils.h"

#include <mutex>

#include "threads/KtDebugLog.h"
#include "threads/KtParams.h"

namespace {
std::mutex UnitLock;
bool Started = false;
}  // namespace

void KtUtilsStart() {
  std::lock_guard<std::mutex> guard(UnitLock);
  if (Started) return;
  Started = true;
  KtDebugWrite("initialization: KtUtils");
}

void KtUtilsFinish() {
  std::lock_guard<std::mutex> guard(UnitLock);
  if (!Started) return;
  Started = false;
  KtDebugWrite("finalization: KtUtils");
  KtDebugWritef("Exiting with g_ParamListCount = %d", KtParamListCount());
}
