#pragma once

#include <cstdint>
#include <string>

// The text of a socket error code; a code outside the engine's table gives the system's text.
std::string ErrorText(int32_t Code);
// "WinSock Error (%d): %s, on API '%s'", as raised and as reported to OnError.
std::string WinSockErrorMessage(int32_t Code, const std::string& Api);

// Names used in error messages; a value without a name leaves Text as it was.
void EventName(int32_t Event, std::string& Text);
void RequestName(int32_t Request, std::string& Text);
