#include "platform/SocketLibrary.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <map>
#include <mutex>
#include <utility>

#include "platform/SocketErrorMap.h"
#include "platform/SocketPoller.h"

namespace {
thread_local int LastWinSockError = 0;

int Fail(int Code) {
  LastWinSockError = Code;
  return SOCKET_ERROR;
}

int FailFromErrno() { return Fail(WinSockErrorFromErrno(errno)); }

struct TLibraryState {
  std::mutex Lock;
  std::vector<std::string> PresentFiles{WinSock2LibraryFile, WinSock1LibraryFile};
  int StartupError = 0;
  std::map<TLibraryHandle, std::string> Loaded;
  TLibraryHandle NextHandle = 1;
  TSetSockOptHook SetSockOptHook;
  THostLookupHook HostLookupHook;
};

TLibraryState& LibraryState() {
  static TLibraryState state;
  return state;
}

// ---- start-up ----

constexpr uint16_t VersionWord(unsigned Major, unsigned Minor) {
  return static_cast<uint16_t>(Major | (Minor << 8));
}
constexpr unsigned VersionOrder(uint16_t Word) { return (Word & 0xFFu) * 256u + (Word >> 8); }

void CopyText(char* Target, size_t Capacity, const char* Text) {
  std::strncpy(Target, Text, Capacity - 1);
  Target[Capacity - 1] = '\0';
}

template <uint16_t HighVersion>
int StartupUpTo(uint16_t VersionRequested, TWSAData* Data) {
  // The handle table must outlive every socket user that starts the library.
  TSocketPoller::Instance();
  {
    TLibraryState& state = LibraryState();
    std::lock_guard<std::mutex> guard(state.Lock);
    if (state.StartupError != 0) return state.StartupError;
  }
  if (Data == nullptr) return WSAEFAULT;
  if (VersionOrder(VersionRequested) < VersionOrder(VersionWord(1, 1))) return WSAVERNOTSUPPORTED;
  *Data = TWSAData{};
  Data->wVersion = VersionOrder(VersionRequested) < VersionOrder(HighVersion) ? VersionRequested : HighVersion;
  Data->wHighVersion = HighVersion;
  CopyText(Data->szDescription, sizeof Data->szDescription, "POSIX sockets (Winsock shim)");
  CopyText(Data->szSystemStatus, sizeof Data->szSystemStatus, "Running");
  Data->iMaxSockets = 0;  // no fixed limit
  Data->iMaxUdpDg = 0;
  return 0;
}

int WsCleanup() { return 0; }
int WsGetLastError() { return LastWinSockError; }

// ---- sockets ----

TSocketPoller& Poller() { return TSocketPoller::Instance(); }

TSocket WsSocket(int Af, int Type, int Protocol) {
  if (Af != WS_AF_INET) {
    Fail(WSAEAFNOSUPPORT);
    return INVALID_SOCKET;
  }
  const int fd = ::socket(AF_INET, Type | SOCK_CLOEXEC, Protocol);
  if (fd < 0) {
    FailFromErrno();
    return INVALID_SOCKET;
  }
  return Poller().Add(fd, Type);
}

// The descriptor of an open handle, or nullptr with WSAENOTSOCK as the last error.
TSocketPoller::TDescriptorRef Open(TSocket S) {
  auto descriptor = Poller().Find(S);
  if (!descriptor) Fail(WSAENOTSOCK);
  return descriptor;
}

// False, with the last error set, for a record that is not a whole IPv4 address.
bool ToPosix(const TSockAddrIn* Addr, int AddrLen, sockaddr_in& Out) {
  if (Addr == nullptr || AddrLen < static_cast<int>(sizeof(TSockAddrIn))) {
    Fail(WSAEFAULT);
    return false;
  }
  if (Addr->sin_family != WS_AF_INET) {
    Fail(WSAEAFNOSUPPORT);
    return false;
  }
  Out = sockaddr_in{};
  Out.sin_family = AF_INET;
  Out.sin_port = Addr->sin_port;
  Out.sin_addr.s_addr = Addr->sin_addr.S_addr;
  return true;
}

int WsBind(TSocket S, const TSockAddrIn* Addr, int AddrLen) {
  const auto descriptor = Open(S);
  sockaddr_in address;
  if (!descriptor || !ToPosix(Addr, AddrLen, address)) return SOCKET_ERROR;
  if (::bind(descriptor->Fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0)
    return FailFromErrno();
  return 0;
}

// Failures that are the connection's outcome rather than a refusal to start it.
bool IsConnectOutcome(int Errno) {
  return Errno == ECONNREFUSED || Errno == ETIMEDOUT || Errno == ENETUNREACH || Errno == EHOSTUNREACH;
}

int WsConnect(TSocket S, const TSockAddrIn* Addr, int AddrLen) {
  const auto descriptor = Open(S);
  sockaddr_in address;
  if (!descriptor || !ToPosix(Addr, AddrLen, address)) return SOCKET_ERROR;
  const bool async = Poller().IsAsync(S);
  if (async) {
    if (const int refusal = Poller().ConnectRefusal(S)) return Fail(refusal);
    if (Poller().LastConnectFailed(S)) {
      sockaddr unspecified{};
      unspecified.sa_family = AF_UNSPEC;
      ::connect(descriptor->Fd, &unspecified, sizeof unspecified);
    }
  }
  if (::connect(descriptor->Fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0) {
    if (async) Poller().ConnectStarted(S, 0);
    return 0;
  }
  const int error = errno;
  if (!async) return FailFromErrno();
  // Like Winsock, an asynchronous connect reports its outcome only as the connect event.
  if (error == EINPROGRESS) {
    Poller().ConnectStarted(S, std::nullopt);
    return Fail(WSAEWOULDBLOCK);
  }
  if (IsConnectOutcome(error)) {
    Poller().ConnectStarted(S, WinSockErrorFromErrno(error));
    return Fail(WSAEWOULDBLOCK);
  }
  return Fail(WinSockErrorFromErrno(error));
}

int WsCloseSocket(TSocket S) { return Poller().Remove(S) ? 0 : Fail(WSAENOTSOCK); }

int WsShutdown(TSocket S, int How) {
  const auto descriptor = Open(S);
  if (!descriptor) return SOCKET_ERROR;
  if (How < WS_SD_RECEIVE || How > WS_SD_BOTH) return Fail(WSAEINVAL);
  if (const int refusal = Poller().ShutdownRefusal(S)) return Fail(refusal);
  static_assert(WS_SD_RECEIVE == SHUT_RD && WS_SD_SEND == SHUT_WR && WS_SD_BOTH == SHUT_RDWR);
  if (::shutdown(descriptor->Fd, How) != 0) return FailFromErrno();
  if (How != WS_SD_RECEIVE) descriptor->SendShutDown = true;
  return 0;
}

struct TPosixOption {
  int Level;
  int Name;
};

// Trivially destructible tables: they must stay usable while other statics are destroyed.
struct TOptionTranslation {
  int Level;
  int Name;
  TPosixOption Posix;
};

constexpr TOptionTranslation OptionTable[] = {
    {WS_SOL_SOCKET, WS_SO_DEBUG, {SOL_SOCKET, SO_DEBUG}},
    {WS_SOL_SOCKET, WS_SO_REUSEADDR, {SOL_SOCKET, SO_REUSEADDR}},
    {WS_SOL_SOCKET, WS_SO_KEEPALIVE, {SOL_SOCKET, SO_KEEPALIVE}},
    {WS_SOL_SOCKET, WS_SO_DONTROUTE, {SOL_SOCKET, SO_DONTROUTE}},
    {WS_SOL_SOCKET, WS_SO_BROADCAST, {SOL_SOCKET, SO_BROADCAST}},
    {WS_SOL_SOCKET, WS_SO_SNDBUF, {SOL_SOCKET, SO_SNDBUF}},
    {WS_SOL_SOCKET, WS_SO_RCVBUF, {SOL_SOCKET, SO_RCVBUF}},
    {WS_SOL_SOCKET, WS_SO_ERROR, {SOL_SOCKET, SO_ERROR}},
    {WS_SOL_SOCKET, WS_SO_TYPE, {SOL_SOCKET, SO_TYPE}},
    {WS_IPPROTO_TCP, WS_TCP_NODELAY, {IPPROTO_TCP, TCP_NODELAY}},
};

bool TranslateOption(int Level, int OptName, TPosixOption& Out) {
  for (const TOptionTranslation& option : OptionTable) {
    if (option.Level == Level && option.Name == OptName) {
      Out = option.Posix;
      return true;
    }
  }
  return false;
}

int WsGetSockOpt(TSocket S, int Level, int OptName, char* OptVal, int* OptLen) {
  const auto descriptor = Open(S);
  if (!descriptor) return SOCKET_ERROR;
  if (OptVal == nullptr || OptLen == nullptr || *OptLen < 4) return Fail(WSAEFAULT);
  TPosixOption option;
  if (!TranslateOption(Level, OptName, option)) return Fail(WSAENOPROTOOPT);
  int value = 0;
  socklen_t length = sizeof value;
  if (::getsockopt(descriptor->Fd, option.Level, option.Name, &value, &length) != 0) return FailFromErrno();
  if (option.Name == SO_ERROR && option.Level == SOL_SOCKET && value != 0) value = WinSockErrorFromErrno(value);
  std::memcpy(OptVal, &value, 4);
  *OptLen = 4;
  return 0;
}

int WsSetSockOpt(TSocket S, int Level, int OptName, const char* OptVal, int OptLen) {
  const auto descriptor = Open(S);
  if (!descriptor) return SOCKET_ERROR;
  if (OptVal == nullptr || OptLen < 4) return Fail(WSAEFAULT);
  int32_t value;
  std::memcpy(&value, OptVal, 4);
  TSetSockOptHook hook;
  {
    TLibraryState& state = LibraryState();
    std::lock_guard<std::mutex> guard(state.Lock);
    hook = state.SetSockOptHook;
  }
  if (hook) {
    const int refused = hook(S, Level, OptName, value);
    if (refused != 0) return Fail(refused);
  }
  TPosixOption option;
  if (!TranslateOption(Level, OptName, option) || OptName == WS_SO_ERROR || OptName == WS_SO_TYPE)
    return Fail(WSAENOPROTOOPT);
  const int posixValue = value;
  if (::setsockopt(descriptor->Fd, option.Level, option.Name, &posixValue, sizeof posixValue) != 0) {
    // Winsock takes the debug option from every user; the system's tracing needs privilege.
    if (OptName == WS_SO_DEBUG && (errno == EACCES || errno == EPERM)) return 0;
    return FailFromErrno();
  }
  return 0;
}

int ReadAddress(TSocket S, TSockAddrIn* Addr, int* AddrLen, bool Peer) {
  const auto descriptor = Open(S);
  if (!descriptor) return SOCKET_ERROR;
  if (Addr == nullptr || AddrLen == nullptr || *AddrLen < static_cast<int>(sizeof(TSockAddrIn)))
    return Fail(WSAEFAULT);
  sockaddr_in address{};
  socklen_t length = sizeof address;
  const int result = Peer ? ::getpeername(descriptor->Fd, reinterpret_cast<sockaddr*>(&address), &length)
                          : ::getsockname(descriptor->Fd, reinterpret_cast<sockaddr*>(&address), &length);
  if (result != 0) return FailFromErrno();
  *Addr = TSockAddrIn{};
  Addr->sin_family = WS_AF_INET;
  Addr->sin_port = address.sin_port;
  Addr->sin_addr.S_addr = address.sin_addr.s_addr;
  *AddrLen = sizeof(TSockAddrIn);
  return 0;
}

int WsGetSockName(TSocket S, TSockAddrIn* Addr, int* AddrLen) { return ReadAddress(S, Addr, AddrLen, false); }
int WsGetPeerName(TSocket S, TSockAddrIn* Addr, int* AddrLen) { return ReadAddress(S, Addr, AddrLen, true); }

int WsRecv(TSocket S, char* Buffer, int Length, int Flags) {
  const auto descriptor = Open(S);
  if (!descriptor) return SOCKET_ERROR;
  if (Length < 0 || (Buffer == nullptr && Length > 0)) return Fail(WSAEFAULT);
  ++descriptor->CallsUnderWay;
  const ssize_t received = ::recv(descriptor->Fd, Buffer, static_cast<size_t>(Length), Flags);
  const int error = received < 0 ? errno : 0;
  Poller().Received(S, error);
  if (received < 0) return Fail(WinSockErrorFromErrno(error));
  return static_cast<int>(received);
}

int WsSend(TSocket S, const char* Buffer, int Length, int Flags) {
  const auto descriptor = Open(S);
  if (!descriptor) return SOCKET_ERROR;
  if (Length < 0 || (Buffer == nullptr && Length > 0)) return Fail(WSAEFAULT);
  if (descriptor->SendShutDown) return Fail(WSAESHUTDOWN);
  // A peer that went away is an error code here, never a signal that ends the process.
  ++descriptor->CallsUnderWay;
  const ssize_t sent = ::send(descriptor->Fd, Buffer, static_cast<size_t>(Length), Flags | MSG_NOSIGNAL);
  const int error = sent < 0 ? errno : 0;
  Poller().Sent(S, error);
  if (sent < 0) return Fail(WinSockErrorFromErrno(error));
  return static_cast<int>(sent);
}

int WsAsyncSelect(TSocket S, HWND Window, uint32_t Msg, int32_t Events) {
  const int error = Poller().Select(S, Window, Msg, Events);
  return error == 0 ? 0 : Fail(error);
}

int WsCancelAsyncRequest(uintptr_t) {
  // No asynchronous lookup is ever started, so there is nothing to cancel.
  return Fail(WSAEINVAL);
}

// ---- byte order, addresses, names ----

uint16_t WsHtons(uint16_t Value) { return htons(Value); }
uint16_t WsNtohs(uint16_t Value) { return ntohs(Value); }

uint32_t WsInetAddr(const char* Text) {
  in_addr address{};
  if (Text == nullptr || ::inet_aton(Text, &address) == 0) return WS_INADDR_NONE;
  return address.s_addr;
}

char* WsInetNtoa(TInAddr Address) {
  thread_local char text[INET_ADDRSTRLEN];
  in_addr address{};
  address.s_addr = Address.S_addr;
  ::inet_ntop(AF_INET, &address, text, sizeof text);
  return text;
}

// Per thread, like Winsock's: valid until the thread's next lookup.
struct THostLookup {
  std::string Name;
  std::vector<uint32_t> Addresses;
  std::vector<char*> AddressList;
  char* NoAliases[1] = {nullptr};
  THostEnt Entry{};
};

// The system resolver's IPv4 addresses of Name, in its order; 0 or the error code.
int ResolveWithSystem(const char* Name, std::vector<uint32_t>& Addresses) {
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  const int result = ::getaddrinfo(Name, nullptr, &hints, &found);
  if (result != 0) return result == EAI_SYSTEM ? WinSockErrorFromErrno(errno) : WinSockErrorFromResolver(result);
  for (const addrinfo* item = found; item != nullptr; item = item->ai_next)
    Addresses.push_back(reinterpret_cast<const sockaddr_in*>(item->ai_addr)->sin_addr.s_addr);
  ::freeaddrinfo(found);
  return 0;
}

THostEnt* WsGetHostByName(const char* Name) {
  if (Name == nullptr) {
    Fail(WSAEFAULT);
    return nullptr;
  }
  THostLookupHook hook;
  {
    TLibraryState& state = LibraryState();
    std::lock_guard<std::mutex> guard(state.Lock);
    hook = state.HostLookupHook;
  }
  // Called outside the lock: a hook may take its time, as a resolver may.
  std::vector<uint32_t> found;
  if (const int error = hook ? hook(Name, found) : ResolveWithSystem(Name, found)) {
    Fail(error);
    return nullptr;
  }
  thread_local THostLookup lookup;
  lookup.Name = Name;
  lookup.Addresses.clear();
  for (const uint32_t address : found)
    if (std::find(lookup.Addresses.begin(), lookup.Addresses.end(), address) == lookup.Addresses.end())
      lookup.Addresses.push_back(address);
  lookup.AddressList.clear();
  for (uint32_t& address : lookup.Addresses) lookup.AddressList.push_back(reinterpret_cast<char*>(&address));
  lookup.AddressList.push_back(nullptr);
  lookup.Entry.h_name = lookup.Name.data();
  lookup.Entry.h_aliases = lookup.NoAliases;
  lookup.Entry.h_addrtype = WS_AF_INET;
  lookup.Entry.h_length = 4;
  lookup.Entry.h_addr_list = lookup.AddressList.data();
  return &lookup.Entry;
}

// ---- the function table ----

template <class Proc>
TProcAddress Address(Proc Function) {
  return reinterpret_cast<TProcAddress>(Function);
}

TProcAddress FindFunction(const std::string& FileName, const std::string& Name) {
  if (Name == "WSAStartup")
    return FileName == WinSock1LibraryFile ? Address<TWSAStartupProc>(&StartupUpTo<VersionWord(1, 1)>)
                                           : Address<TWSAStartupProc>(&StartupUpTo<VersionWord(2, 2)>);
  struct TNamedFunction {
    const char* Name;
    TProcAddress Function;
  };
  static const TNamedFunction functions[] = {
      {"bind", Address<TBindProc>(&WsBind)},
      {"closesocket", Address<TCloseSocketProc>(&WsCloseSocket)},
      {"connect", Address<TConnectProc>(&WsConnect)},
      {"gethostbyname", Address<TGetHostByNameProc>(&WsGetHostByName)},
      {"getpeername", Address<TGetPeerNameProc>(&WsGetPeerName)},
      {"getsockname", Address<TGetSockNameProc>(&WsGetSockName)},
      {"getsockopt", Address<TGetSockOptProc>(&WsGetSockOpt)},
      {"htons", Address<THtonsProc>(&WsHtons)},
      {"inet_addr", Address<TInetAddrProc>(&WsInetAddr)},
      {"inet_ntoa", Address<TInetNtoaProc>(&WsInetNtoa)},
      {"ntohs", Address<TNtohsProc>(&WsNtohs)},
      {"recv", Address<TRecvProc>(&WsRecv)},
      {"send", Address<TSendProc>(&WsSend)},
      {"setsockopt", Address<TSetSockOptProc>(&WsSetSockOpt)},
      {"shutdown", Address<TShutdownProc>(&WsShutdown)},
      {"socket", Address<TSocketProc>(&WsSocket)},
      {"WSAAsyncSelect", Address<TWSAAsyncSelectProc>(&WsAsyncSelect)},
      {"WSACancelAsyncRequest", Address<TWSACancelAsyncRequestProc>(&WsCancelAsyncRequest)},
      {"WSACleanup", Address<TWSACleanupProc>(&WsCleanup)},
      {"WSAGetLastError", Address<TWSAGetLastErrorProc>(&WsGetLastError)},
  };
  for (const TNamedFunction& function : functions)
    if (Name == function.Name) return function.Function;
  return nullptr;
}
}  // namespace

bool SocketLibraryFileExists(const std::string& FileName) {
  TLibraryState& state = LibraryState();
  std::lock_guard<std::mutex> guard(state.Lock);
  return std::find(state.PresentFiles.begin(), state.PresentFiles.end(), FileName) != state.PresentFiles.end();
}

TLibraryHandle LoadSocketLibrary(const std::string& FileName) {
  TLibraryState& state = LibraryState();
  std::lock_guard<std::mutex> guard(state.Lock);
  if (std::find(state.PresentFiles.begin(), state.PresentFiles.end(), FileName) == state.PresentFiles.end()) {
    errno = ENOENT;
    return 0;
  }
  const TLibraryHandle handle = state.NextHandle++;
  state.Loaded.emplace(handle, FileName);
  return handle;
}

void FreeSocketLibrary(TLibraryHandle Library) {
  TLibraryState& state = LibraryState();
  std::lock_guard<std::mutex> guard(state.Lock);
  state.Loaded.erase(Library);
}

TProcAddress GetSocketProcAddress(TLibraryHandle Library, const std::string& Name) {
  std::string fileName;
  {
    TLibraryState& state = LibraryState();
    std::lock_guard<std::mutex> guard(state.Lock);
    const auto found = state.Loaded.find(Library);
    if (found == state.Loaded.end()) {
      errno = EBADF;
      return nullptr;
    }
    fileName = found->second;
  }
  const TProcAddress function = FindFunction(fileName, Name);
  if (function == nullptr) errno = ENOSYS;
  return function;
}

size_t LoadedSocketLibraryCount() {
  TLibraryState& state = LibraryState();
  std::lock_guard<std::mutex> guard(state.Lock);
  return state.Loaded.size();
}

TScopedSocketLibraryFiles::TScopedSocketLibraryFiles(std::vector<std::string> PresentFiles, int StartupError) {
  TLibraryState& state = LibraryState();
  std::lock_guard<std::mutex> guard(state.Lock);
  FPreviousFiles = std::exchange(state.PresentFiles, std::move(PresentFiles));
  FPreviousStartupError = std::exchange(state.StartupError, StartupError);
}

TScopedSocketLibraryFiles::~TScopedSocketLibraryFiles() {
  TLibraryState& state = LibraryState();
  std::lock_guard<std::mutex> guard(state.Lock);
  state.PresentFiles = std::move(FPreviousFiles);
  state.StartupError = FPreviousStartupError;
}

TScopedSetSockOptHook::TScopedSetSockOptHook(TSetSockOptHook Hook) {
  TLibraryState& state = LibraryState();
  std::lock_guard<std::mutex> guard(state.Lock);
  FPrevious = std::exchange(state.SetSockOptHook, std::move(Hook));
}

TScopedSetSockOptHook::~TScopedSetSockOptHook() {
  TLibraryState& state = LibraryState();
  std::lock_guard<std::mutex> guard(state.Lock);
  state.SetSockOptHook = std::move(FPrevious);
}

TScopedHostLookupHook::TScopedHostLookupHook(THostLookupHook Hook) {
  TLibraryState& state = LibraryState();
  std::lock_guard<std::mutex> guard(state.Lock);
  FPrevious = std::exchange(state.HostLookupHook, std::move(Hook));
}

TScopedHostLookupHook::~TScopedHostLookupHook() {
  TLibraryState& state = LibraryState();
  std::lock_guard<std::mutex> guard(state.Lock);
  state.HostLookupHook = std::move(FPrevious);
}
