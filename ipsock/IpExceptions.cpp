#include "ipsock/IpExceptions.h"

#include "base/Format.h"
#include "ipsock/IpErrorText.h"
#include "platform/SystemError.h"

EIpAccessException::EIpAccessException(const std::string& FunctionName, int SystemError)
    : EIpBaseException(Format("Win32 error loading '%s' pointer: %s", FunctionName.c_str(),
                              SysErrorMessage(SystemError).c_str())) {}

EIpWinSockError::EIpWinSockError(int32_t ErrorCode, const std::string& Api)
    : EIpBaseException(WinSockErrorMessage(ErrorCode, Api)), FErrorCode(ErrorCode) {}

EIpActiveError::EIpActiveError() : EIpBaseException("Cannot set property on an active socket") {}

EIpIndexError::EIpIndexError() : EIpBaseException("Index out of range") {}

EIpNoSocketError::EIpNoSocketError() : EIpBaseException("Socket not assigned") {}
