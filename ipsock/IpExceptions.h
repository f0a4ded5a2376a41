#pragma once

#include <cstdint>
#include <string>

#include "base/Exception.h"

// The socket engine's failures; each kind carries its fixed message.
class EIpBaseException : public Exception {
public:
  using Exception::Exception;
};

// A socket function could not be bound: "Win32 error loading '%s' pointer: %s".
class EIpAccessException : public EIpBaseException {
public:
  EIpAccessException(const std::string& FunctionName, int SystemError);
};

// "WinSock Error (%d): %s, on API '%s'" with the code, its text and the failed operation.
class EIpWinSockError : public EIpBaseException {
public:
  EIpWinSockError(int32_t ErrorCode, const std::string& Api);
  int32_t ErrorCode() const { return FErrorCode; }

private:
  int32_t FErrorCode;
};

class EIpActiveError : public EIpBaseException {
public:
  EIpActiveError();
};

class EIpIndexError : public EIpBaseException {
public:
  EIpIndexError();
};

class EIpNoSocketError : public EIpBaseException {
public:
  EIpNoSocketError();
};
