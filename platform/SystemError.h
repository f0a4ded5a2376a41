#pragma once

#include <string>

// The calling thread's last system error (errno) and the system's text for a code.
int GetLastSystemError();
std::string SysErrorMessage(int Code);
