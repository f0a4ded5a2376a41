#include "ipsock/IpWinSockAccess.h"

#include <atomic>

#include "ipsock/IpExceptions.h"
#include "ipsock/IpLockGuard.h"
#include "platform/SystemError.h"

namespace {
struct TLibraryChoice {
  const char* FileName;
  uint16_t Version;
};

// Tried in order; the first that exists and loads is used.
constexpr TLibraryChoice Libraries[] = {
    {WinSock2LibraryFile, 0x0202},
    {WinSock1LibraryFile, 0x0101},
};

constexpr const char* FunctionNames[] = {
    "bind",      "closesocket", "connect",        "gethostbyname",  "getpeername",           "getsockname",
    "getsockopt", "htons",      "inet_addr",      "inet_ntoa",      "ntohs",                 "recv",
    "send",      "setsockopt",  "shutdown",       "socket",         "WSAAsyncSelect",        "WSACancelAsyncRequest",
    "WSACleanup", "WSAGetLastError", "WSAStartup",
};
}  // namespace

TIpWinSockAccess::TIpWinSockAccess() {
  static_assert(std::size(FunctionNames) == FunctionCount);
  for (const TLibraryChoice& choice : Libraries) {
    if (!SocketLibraryFileExists(choice.FileName)) continue;
    const TLibraryHandle library = LoadSocketLibrary(choice.FileName);
    if (library == 0) continue;
    const auto startup = reinterpret_cast<TWSAStartupProc>(GetSocketProcAddress(library, "WSAStartup"));
    const int result = startup != nullptr ? startup(choice.Version, &FStartupData) : WSASYSCALLFAILURE;
    if (result != 0) {
      FreeSocketLibrary(library);
      throw EIpWinSockError(result, "WSAStartup");
    }
    FLibrary = library;
    FLibraryFile = choice.FileName;
    return;
  }
}

TIpWinSockAccess::~TIpWinSockAccess() {
  if (FLibrary == 0) return;
  if (const auto cleanup = reinterpret_cast<TWSACleanupProc>(GetSocketProcAddress(FLibrary, "WSACleanup")))
    cleanup();
  const TLibraryHandle library = FLibrary;
  FLibrary = 0;
  FreeSocketLibrary(library);
}

TProcAddress TIpWinSockAccess::EntryPoint(TFunction Function) {
  std::atomic<TProcAddress>& entry = FEntries[Function];
  if (const TProcAddress bound = entry.load(std::memory_order_acquire)) return bound;
  TIpLockGuard<TIpWinSockAccess> guard(*this);
  TProcAddress bound = entry.load(std::memory_order_relaxed);
  if (bound == nullptr) bound = GetSocketProcAddress(FLibrary, FunctionNames[Function]);
  if (bound == nullptr) throw EIpAccessException(FunctionNames[Function], GetLastSystemError());
  entry.store(bound, std::memory_order_release);
  return bound;
}

TBindProc TIpWinSockAccess::bind() { return Entry<TBindProc>(fnBind); }
TCloseSocketProc TIpWinSockAccess::closesocket() { return Entry<TCloseSocketProc>(fnCloseSocket); }
TConnectProc TIpWinSockAccess::connect() { return Entry<TConnectProc>(fnConnect); }
TGetHostByNameProc TIpWinSockAccess::gethostbyname() { return Entry<TGetHostByNameProc>(fnGetHostByName); }
TGetPeerNameProc TIpWinSockAccess::getpeername() { return Entry<TGetPeerNameProc>(fnGetPeerName); }
TGetSockNameProc TIpWinSockAccess::getsockname() { return Entry<TGetSockNameProc>(fnGetSockName); }
TGetSockOptProc TIpWinSockAccess::getsockopt() { return Entry<TGetSockOptProc>(fnGetSockOpt); }
THtonsProc TIpWinSockAccess::htons() { return Entry<THtonsProc>(fnHtons); }
TInetAddrProc TIpWinSockAccess::inet_addr() { return Entry<TInetAddrProc>(fnInetAddr); }
TInetNtoaProc TIpWinSockAccess::inet_ntoa() { return Entry<TInetNtoaProc>(fnInetNtoa); }
TNtohsProc TIpWinSockAccess::ntohs() { return Entry<TNtohsProc>(fnNtohs); }
TRecvProc TIpWinSockAccess::recv() { return Entry<TRecvProc>(fnRecv); }
TSendProc TIpWinSockAccess::send() { return Entry<TSendProc>(fnSend); }
TSetSockOptProc TIpWinSockAccess::setsockopt() { return Entry<TSetSockOptProc>(fnSetSockOpt); }
TShutdownProc TIpWinSockAccess::shutdown() { return Entry<TShutdownProc>(fnShutdown); }
TSocketProc TIpWinSockAccess::socket() { return Entry<TSocketProc>(fnSocket); }
TWSAAsyncSelectProc TIpWinSockAccess::WSAAsyncSelect() { return Entry<TWSAAsyncSelectProc>(fnWSAAsyncSelect); }
TWSACancelAsyncRequestProc TIpWinSockAccess::WSACancelAsyncRequest() {
  return Entry<TWSACancelAsyncRequestProc>(fnWSACancelAsyncRequest);
}
TWSACleanupProc TIpWinSockAccess::WSACleanup() { return Entry<TWSACleanupProc>(fnWSACleanup); }
TWSAGetLastErrorProc TIpWinSockAccess::WSAGetLastError() { return Entry<TWSAGetLastErrorProc>(fnWSAGetLastError); }
TWSAStartupProc TIpWinSockAccess::WSAStartup() { return Entry<TWSAStartupProc>(fnWSAStartup); }

namespace {
std::atomic<TIpWinSockAccess*> StartedAccess{nullptr};
}  // namespace

TIpWinSockAccess& WinSockAccess() {
  TIpWinSockAccess* access = StartedAccess.load();
  if (access == nullptr) throw EIpBaseException("The socket engine is not started: start its unit (TIpSockUnit) first");
  return *access;
}

TIpSockUnit::TIpSockUnit()
    : FAccess(std::make_unique<TIpWinSockAccess>()), FPrevious(StartedAccess.exchange(FAccess.get())) {}

TIpSockUnit::~TIpSockUnit() { StartedAccess = FPrevious; }
