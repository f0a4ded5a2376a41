#include "ipsock/IpErrorText.h"

#include <utility>

#include "base/Format.h"
#include "platform/SystemError.h"

namespace {
constexpr std::pair<int32_t, const char*> ErrorTexts[] = {
    {10004, "Interrupted function call"},
    {10009, "Bad file descriptor"},
    {10013, "Permission denied"},
    {10014, "Bad address"},
    {10022, "Invalid argument"},
    {10024, "Too many open files"},
    {10035, "Resource temporarily unavailable"},
    {10036, "Operation now in progress"},
    {10037, "Operation already in progress"},
    {10038, "Socket operation on nonsocket"},
    {10039, "Destination address required"},
    {10040, "Message too long"},
    {10041, "Protocol wrong type for socket"},
    {10042, "Bad protocol option"},
    {10043, "Protocol not supported"},
    {10044, "Socket type not supported"},
    {10045, "Operation not supported"},
    {10046, "Protocol family not supported"},
    {10047, "Address family not supported by protocol family"},
    {10048, "Address already in use"},
    {10049, "Cannot assign requested address"},
    {10050, "Network is down"},
    {10051, "Network is unreachable"},
    {10052, "Network dropped connection on reset"},
    {10053, "Software caused connection abort"},
    {10054, "Connection reset by peer"},
    {10055, "No buffer space available"},
    {10056, "Socket is already connected"},
    {10057, "Socket is not connected"},
    {10058, "Cannot send after socket shutdown"},
    {10059, "Too many references; cannot splice"},
    {10060, "Connection timed out"},
    {10061, "Connection refused"},
    {10062, "Too many levels of symbolic links"},
    {10063, "File name too long"},
    {10064, "Host is down"},
    {10065, "No route to host"},
    {10066, "Directory not empty"},
    {10067, "Too many processes"},
    {10068, "Too many users"},
    {10069, "Disk quota exceeded"},
    {10070, "Stale NFS file handle"},
    {10071, "Too many levels of remote in path"},
    {10091, "Network subsystem is unavailable"},
    {10092, "WinSock DLL version not supported"},
    {10093, "Successful WSAStartup not yet performed"},
    {10101, "Graceful shutdown in progress"},
    {10102, "No more data available"},
    {10103, "Cancelled"},
    {10104, "Invalid procedure table from service provider"},
    {10105, "Invalid service provider version number"},
    {10106, "Unable to initialize a service provider"},
    {10107, "System call failure"},
    {10108, "Service not found"},
    {10109, "Type not found"},
    {10110, "No more data available"},
    {10111, "Lookup cancelled"},
    {10112, "Refused"},
    {11001, "Host not found"},
    {11002, "Nonauthoritative host not found"},
    {11003, "This is a nonrecoverable error"},
    {11004, "Valid name, no data record of requested type"},
    {11005, "At least one Reserve has arrived"},
    {11006, "At least one Path has arrived"},
    {11007, "There are no senders"},
    {11008, "There are no receivers"},
    {11009, "Reserve has been confirmed"},
    {11010, "Error due to lack of resources"},
    {11011, "Rejected for administrative reasons - bad credentials"},
    {11012, "Unknown or conflicting style"},
    {11013, "Problem filterspec or providerspecific buffer"},
    {11014, "Problem with some part of the flowspec"},
    {11015, "General error"},
};

constexpr std::pair<int32_t, const char*> EventNames[] = {
    {1, "Fd_Read"}, {2, "Fd_Write"}, {4, "Fd_Oob"}, {8, "Fd_Accept"}, {16, "Fd_Connect"}, {32, "Fd_Close"},
};

constexpr std::pair<int32_t, const char*> RequestNames[] = {
    {0, "WsaAsyncGetHostByName"},
    {1, "WsaAsyncGetHostByAddr"},
    {2, "WsaAsyncGetServByName"},
    {3, "WsaAsyncGetServByPort"},
};

template <size_t N>
const char* Lookup(const std::pair<int32_t, const char*> (&Table)[N], int32_t Key) {
  for (const auto& [key, text] : Table)
    if (key == Key) return text;
  return nullptr;
}
}  // namespace

std::string ErrorText(int32_t Code) {
  const char* text = Lookup(ErrorTexts, Code);
  return text != nullptr ? std::string(text) : SysErrorMessage(Code);
}

std::string WinSockErrorMessage(int32_t Code, const std::string& Api) {
  return Format("WinSock Error (%d): %s, on API '%s'", Code, ErrorText(Code).c_str(), Api.c_str());
}

void EventName(int32_t Event, std::string& Text) {
  if (const char* name = Lookup(EventNames, Event)) Text = name;
}

void RequestName(int32_t Request, std::string& Text) {
  if (const char* name = Lookup(RequestNames, Request)) Text = name;
}
