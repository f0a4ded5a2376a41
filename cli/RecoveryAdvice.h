#pragma once

#include <string>
#include <vector>

#include "app/ProgrammingRun.h"

// What to do about a unit a failed run may have left waiting in its bootloader, where only a
// recovery run reaches it: the option that does, for one device on its own or, among
// several (whose options all share), the word after its address in a --devices file. None
// after a success or when no unit was reached.
std::vector<std::string> RecoveryAdvice(const TRunResult& Result, const TRunRequest& Request, bool SeveralDevices);
