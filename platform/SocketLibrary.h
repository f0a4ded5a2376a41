#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/MessageWindow.h"

// The socket library the engine loads and binds by name: Winsock behaviour (results, error
// codes, option numbers, asynchronous selection onto message windows) over POSIX sockets.

using TSocket = uintptr_t;
constexpr TSocket INVALID_SOCKET = ~TSocket{0};
constexpr int SOCKET_ERROR = -1;

constexpr int WS_AF_INET = 2;
constexpr int WS_SOCK_STREAM = 1;
constexpr int WS_SOCK_DGRAM = 2;
constexpr uint32_t WS_INADDR_NONE = 0xFFFFFFFFu;

// Option levels and numbers as the engine passes them.
constexpr int WS_SOL_SOCKET = 0xFFFF;
constexpr int WS_SO_DEBUG = 0x0001;
constexpr int WS_SO_REUSEADDR = 0x0004;
constexpr int WS_SO_KEEPALIVE = 0x0008;
constexpr int WS_SO_DONTROUTE = 0x0010;
constexpr int WS_SO_BROADCAST = 0x0020;
constexpr int WS_SO_SNDBUF = 0x1001;
constexpr int WS_SO_RCVBUF = 0x1002;
constexpr int WS_SO_ERROR = 0x1007;
constexpr int WS_SO_TYPE = 0x1008;
constexpr int WS_IPPROTO_TCP = 6;
constexpr int WS_TCP_NODELAY = 0x0001;

constexpr int WS_SD_RECEIVE = 0;
constexpr int WS_SD_SEND = 1;
constexpr int WS_SD_BOTH = 2;

// Event bits of WSAAsyncSelect, in the mask and in the low word of the posted LParam.
constexpr int32_t FD_READ = 1;
constexpr int32_t FD_WRITE = 2;
constexpr int32_t FD_OOB = 4;
constexpr int32_t FD_ACCEPT = 8;
constexpr int32_t FD_CONNECT = 16;
constexpr int32_t FD_CLOSE = 32;

constexpr int WSAEINTR = 10004;
constexpr int WSAEBADF = 10009;
constexpr int WSAEACCES = 10013;
constexpr int WSAEFAULT = 10014;
constexpr int WSAEINVAL = 10022;
constexpr int WSAEMFILE = 10024;
constexpr int WSAEWOULDBLOCK = 10035;
constexpr int WSAEINPROGRESS = 10036;
constexpr int WSAEALREADY = 10037;
constexpr int WSAENOTSOCK = 10038;
constexpr int WSAENOPROTOOPT = 10042;
constexpr int WSAEAFNOSUPPORT = 10047;
constexpr int WSAENETDOWN = 10050;
constexpr int WSAENETRESET = 10052;
constexpr int WSAECONNABORTED = 10053;
constexpr int WSAECONNRESET = 10054;
constexpr int WSAEISCONN = 10056;
constexpr int WSAENOTCONN = 10057;
constexpr int WSAESHUTDOWN = 10058;
constexpr int WSAECONNREFUSED = 10061;
constexpr int WSAVERNOTSUPPORTED = 10092;
constexpr int WSANOTINITIALISED = 10093;
constexpr int WSASYSCALLFAILURE = 10107;
constexpr int WSAHOST_NOT_FOUND = 11001;
constexpr int WSATRY_AGAIN = 11002;
constexpr int WSANO_RECOVERY = 11003;
constexpr int WSANO_DATA = 11004;

struct TInAddr {
  uint32_t S_addr;  // network byte order
};

// The 16-byte IPv4 socket address record.
struct TSockAddrIn {
  uint16_t sin_family;
  uint16_t sin_port;  // network byte order
  TInAddr sin_addr;
  uint8_t sin_zero[8];
};
static_assert(sizeof(TSockAddrIn) == 16);

struct TWSAData {
  uint16_t wVersion;  // low byte major, high byte minor
  uint16_t wHighVersion;
  char szDescription[257];
  char szSystemStatus[129];
  uint16_t iMaxSockets;
  uint16_t iMaxUdpDg;
  char* lpVendorInfo;
};

struct THostEnt {
  char* h_name;
  char** h_aliases;
  int16_t h_addrtype;
  int16_t h_length;
  char** h_addr_list;  // ends with nullptr; each entry 4 bytes in network order
};

// The entry points, by the types the engine casts them to.
using TWSAStartupProc = int (*)(uint16_t VersionRequested, TWSAData* Data);
using TWSACleanupProc = int (*)();
using TWSAGetLastErrorProc = int (*)();
using TWSAAsyncSelectProc = int (*)(TSocket S, HWND Window, uint32_t Msg, int32_t Events);
using TWSACancelAsyncRequestProc = int (*)(uintptr_t AsyncRequest);
using TSocketProc = TSocket (*)(int Af, int Type, int Protocol);
using TBindProc = int (*)(TSocket S, const TSockAddrIn* Addr, int AddrLen);
using TConnectProc = int (*)(TSocket S, const TSockAddrIn* Addr, int AddrLen);
using TCloseSocketProc = int (*)(TSocket S);
using TShutdownProc = int (*)(TSocket S, int How);
using TGetSockOptProc = int (*)(TSocket S, int Level, int OptName, char* OptVal, int* OptLen);
using TSetSockOptProc = int (*)(TSocket S, int Level, int OptName, const char* OptVal, int OptLen);
using TGetSockNameProc = int (*)(TSocket S, TSockAddrIn* Addr, int* AddrLen);
using TGetPeerNameProc = TGetSockNameProc;
using TRecvProc = int (*)(TSocket S, char* Buffer, int Length, int Flags);
using TSendProc = int (*)(TSocket S, const char* Buffer, int Length, int Flags);
using THtonsProc = uint16_t (*)(uint16_t Value);
using TNtohsProc = THtonsProc;
using TInetAddrProc = uint32_t (*)(const char* Text);
using TInetNtoaProc = char* (*)(TInAddr Address);
using TGetHostByNameProc = THostEnt* (*)(const char* Name);

// The library files of the table: the newer one negotiates up to 2.2, the older up to 1.1.
constexpr const char* WinSock2LibraryFile = "ws2_32.dll";
constexpr const char* WinSock1LibraryFile = "wsock32.dll";

using TLibraryHandle = uintptr_t;  // 0 is none
using TProcAddress = void (*)();

// The file-existence test for library files: true for the files currently presented.
bool SocketLibraryFileExists(const std::string& FileName);
// 0 (errno set) when the file is not presented. Handles are never reused.
TLibraryHandle LoadSocketLibrary(const std::string& FileName);
void FreeSocketLibrary(TLibraryHandle Library);
// The function of that exact name, or nullptr with errno set (EBADF: no such library,
// ENOSYS: no such function).
TProcAddress GetSocketProcAddress(TLibraryHandle Library, const std::string& Name);
// How many library handles are loaded and not yet freed.
size_t LoadedSocketLibraryCount();

// Test seams. Which library files exist and what their start-up call answers
// (0: negotiate normally; otherwise that error code), until the guard goes.
class TScopedSocketLibraryFiles {
public:
  TScopedSocketLibraryFiles(std::vector<std::string> PresentFiles, int StartupError = 0);
  ~TScopedSocketLibraryFiles();
  TScopedSocketLibraryFiles(const TScopedSocketLibraryFiles&) = delete;
  TScopedSocketLibraryFiles& operator=(const TScopedSocketLibraryFiles&) = delete;

private:
  std::vector<std::string> FPreviousFiles;
  int FPreviousStartupError;
};

// Sees every setsockopt call with the engine's level, option and 4-byte value; a nonzero
// answer makes the call fail with that error code instead of reaching the system.
using TSetSockOptHook = std::function<int(TSocket S, int Level, int OptName, int32_t Value)>;
class TScopedSetSockOptHook {
public:
  explicit TScopedSetSockOptHook(TSetSockOptHook Hook);
  ~TScopedSetSockOptHook();
  TScopedSetSockOptHook(const TScopedSetSockOptHook&) = delete;
  TScopedSetSockOptHook& operator=(const TScopedSetSockOptHook&) = delete;

private:
  TSetSockOptHook FPrevious;
};

// Answers every host-name look-up in place of the system's resolver, on the thread that
// looks up: fills Addresses (IPv4, network order) and answers 0, or answers the error code
// the look-up fails with.
using THostLookupHook = std::function<int(const std::string& Name, std::vector<uint32_t>& Addresses)>;
class TScopedHostLookupHook {
public:
  explicit TScopedHostLookupHook(THostLookupHook Hook);
  ~TScopedHostLookupHook();
  TScopedHostLookupHook(const TScopedHostLookupHook&) = delete;
  TScopedHostLookupHook& operator=(const TScopedHostLookupHook&) = delete;

private:
  THostLookupHook FPrevious;
};
