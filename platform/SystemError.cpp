#include "platform/SystemError.h"

#include <cerrno>
#include <cstring>

int GetLastSystemError() { return errno; }

std::string SysErrorMessage(int Code) {
  char buffer[256];
  // The GNU strerror_r answers a pointer that need not be the buffer.
  return ::strerror_r(Code, buffer, sizeof buffer);
}
