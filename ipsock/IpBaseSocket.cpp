#include "ipsock/IpBaseSocket.h"

#include "ipsock/IpExceptions.h"
#include "ipsock/IpLockGuard.h"
#include "ipsock/IpUtils.h"
#include "ipsock/IpWinSockAccess.h"

namespace {
using TGuard = TIpLockGuard<const TIpBaseSocket>;
constexpr int AddressLength = sizeof(TSockAddrIn);
}  // namespace

TIpBaseSocket::TIpBaseSocket(TIpSocketOwner* Owner, TSocket Handle, const TSockAddrIn& LocalAddress,
                             const TIpBaseInits* Settings, const TIpSocksServerInfo* SocksSettings)
    : TIpBaseSocket(Owner, Handle, LocalAddress, Settings, SocksSettings, IpBaseSocketEvents) {}

TIpBaseSocket::TIpBaseSocket(TIpSocketOwner* Owner, TSocket Handle, const TSockAddrIn& LocalAddress,
                             const TIpBaseInits* Settings, const TIpSocksServerInfo* SocksSettings,
                             int32_t EventMask)
    : FSocksServerInfo(std::make_unique<TIpSocksServerInfo>()), FOwner(Owner), FEventMask(EventMask) {
  if (SocksSettings != nullptr) FSocksServerInfo->CopyFrom(*SocksSettings);
  if (!FSocksServerInfo->Address().empty()) FSocksState = 1;
  try {
    if (Handle == INVALID_SOCKET)
      CreateSocket(LocalAddress, Settings);
    else
      AdoptSocket(Handle, Settings);
  } catch (...) {
    // The object is not constructed, so nobody else would ever close the handle.
    CloseHandle();
    throw;
  }
}

TIpBaseSocket::~TIpBaseSocket() {
  try {
    CloseHandle();
  } catch (...) {
    // A library that cannot be reached cannot close anything either.
  }
}

void TIpBaseSocket::CloseHandle() {
  if (FSocketHandle == INVALID_SOCKET || FHandleClosed) return;
  FHandleClosed = true;
  WinSockAccess().closesocket()(FSocketHandle);
}

void TIpBaseSocket::CreateSocket(const TSockAddrIn& LocalAddress, const TIpBaseInits* Settings) {
  TIpWinSockAccess& access = WinSockAccess();
  FSocketType = FOwner->SocketType();
  const TSocket handle = access.socket()(WS_AF_INET, FSocketType, 0);
  if (handle == INVALID_SOCKET) RaiseLastError("Socket");
  FSocketHandle = handle;
  SelectEvents();
  if (Settings != nullptr) SetSocketOptions(Settings->SocketOptions());
  const TSockAddrIn any = IpAnyAddress();
  FLocalAddress = any;
  if (CompareBytes(&LocalAddress, &any, sizeof any) != 0) {
    FLocalAddress = LocalAddress;
    // A local end that was asked for and cannot be had is a failure, not an unbound socket.
    if (access.bind()(FSocketHandle, &FLocalAddress, AddressLength) == SOCKET_ERROR) RaiseLastError("Bind");
  }
}

void TIpBaseSocket::AdoptSocket(TSocket Handle, const TIpBaseInits* Settings) {
  TIpWinSockAccess& access = WinSockAccess();
  FSocketHandle = Handle;
  int32_t type = 0;
  int length = sizeof type;
  if (access.getsockopt()(Handle, WS_SOL_SOCKET, WS_SO_TYPE, reinterpret_cast<char*>(&type), &length) ==
      SOCKET_ERROR)
    RaiseLastError("GetSockOpt");
  FSocketType = type;
  SelectEvents();
  if (Settings != nullptr) SetSocketOptions(Settings->SocketOptions());
  int addressLength = AddressLength;
  access.getsockname()(Handle, &FLocalAddress, &addressLength);
  addressLength = AddressLength;
  access.getpeername()(Handle, &FRemoteAddress, &addressLength);
}

void TIpBaseSocket::RaiseLastError(const char* Api) const { throw EIpWinSockError(LastError(), Api); }

int TIpBaseSocket::LastError() const { return WinSockAccess().WSAGetLastError()(); }

std::string TIpBaseSocket::RemoteName() const {
  TGuard guard(*this);
  return FRemoteName;
}

bool TIpBaseSocket::Connected() const {
  TGuard guard(*this);
  return FConnected;
}

TSocket TIpBaseSocket::SocketHandle() const {
  TGuard guard(*this);
  return FSocketHandle;
}

TSockAddrIn TIpBaseSocket::LocalAddress() const {
  TGuard guard(*this);
  return FLocalAddress;
}

TSockAddrIn TIpBaseSocket::RemoteAddress() const {
  TGuard guard(*this);
  return FRemoteAddress;
}

uint8_t TIpBaseSocket::SocksState() const {
  TGuard guard(*this);
  return FSocksState;
}

int32_t TIpBaseSocket::SocketType() const {
  TGuard guard(*this);
  return FSocketType;
}

bool TIpBaseSocket::DiscardReceived() const {
  TGuard guard(*this);
  return FDiscardReceived;
}

bool TIpBaseSocket::EchoReceived() const {
  TGuard guard(*this);
  return FEchoReceived;
}

bool TIpBaseSocket::EchoSent() const {
  TGuard guard(*this);
  return FEchoSent;
}

bool TIpBaseSocket::StripHighBit() const {
  TGuard guard(*this);
  return FStripHighBit;
}

bool TIpBaseSocket::Telnet() const {
  TGuard guard(*this);
  return FTelnet;
}

void TIpBaseSocket::SetOption(int Level, int Option, bool On) {
  const int32_t value = On ? -1 : 0;
  if (WinSockAccess().setsockopt()(FSocketHandle, Level, Option, reinterpret_cast<const char*>(&value),
                                   sizeof value) == SOCKET_ERROR)
    RaiseLastError("SetSockOpt");
}

void TIpBaseSocket::SetSocketOptions(TIpSockOptionSet Options) {
  TGuard guard(*this);
  if (FSocketType == WS_SOCK_DGRAM) SetOption(WS_SOL_SOCKET, WS_SO_BROADCAST, Options.Contains(soBroadcast));
  if (FSocketType == WS_SOCK_STREAM) {
    SetOption(WS_IPPROTO_TCP, WS_TCP_NODELAY, Options.Contains(soNoDelay));
    SetOption(WS_SOL_SOCKET, WS_SO_KEEPALIVE, Options.Contains(soKeepAlive));
  }
  SetOption(WS_SOL_SOCKET, WS_SO_DEBUG, Options.Contains(soDebug));
  SetOption(WS_SOL_SOCKET, WS_SO_DONTROUTE, Options.Contains(soDontRoute));
  SetOption(WS_SOL_SOCKET, WS_SO_REUSEADDR, Options.Contains(soReuseAddr));
  FDiscardReceived = Options.Contains(soDiscardReceived);
  FEchoReceived = Options.Contains(soEchoReceived);
  FEchoSent = Options.Contains(soEchoSent);
  FStripHighBit = Options.Contains(soStripHighBit);
  FTelnet = Options.Contains(soTelnet);
}

void TIpBaseSocket::SocksNegotiate() {}

void TIpBaseSocket::SelectEvents() {
  TGuard guard(*this);
  if (FSocketHandle == INVALID_SOCKET) return;
  if (WinSockAccess().WSAAsyncSelect()(FSocketHandle, FOwner->SocketWindow(), IpSocketEventMessage, FEventMask) ==
      SOCKET_ERROR)
    RaiseLastError("WsaAsyncSelect");
}

void TIpBaseSocket::CloseEvent() {
  TGuard guard(*this);
  FConnected = false;
}

TIpConnRec TIpBaseSocket::ConnectionRecord() const {
  TGuard guard(*this);
  const TNtohsProc ntohs = WinSockAccess().ntohs();
  return TIpConnRec{FRemoteAddress.sin_addr.S_addr, ntohs(FRemoteAddress.sin_port), FLocalAddress.sin_addr.S_addr,
                    ntohs(FLocalAddress.sin_port)};
}

void TIpBaseSocket::ConnectEvent() {
  TGuard guard(*this);
  try {
    int length = AddressLength;
    WinSockAccess().getsockname()(FSocketHandle, &FLocalAddress, &length);
    FConnected = true;
    if (FSocksState == 1) {
      // Reported as connected only once the proxy has agreed.
      FSocksState = 2;
      SocksNegotiate();
    } else {
      FOwner->DoStatus(FSocketHandle, stConnect, ConnectionRecord());
    }
  } catch (...) {
    // An event must never raise into the owner's message handling.
  }
}

void TIpBaseSocket::OobEvent() {}

void TIpBaseSocket::ReadEvent() {}

void TIpBaseSocket::TimerEvent(uint32_t) {}

void TIpBaseSocket::WriteEvent() {}

void TIpBaseSocket::CloseSocket() {
  TGuard guard(*this);
  try {
    CloseHandle();
    FOwner->DoStatus(FSocketHandle, stDisconnect, ConnectionRecord());
  } catch (...) {
    // Closing is always allowed to finish; a failing status handler cannot stop it.
  }
}

void TIpBaseSocket::Connect(const TSockAddrIn& Address, const std::string& Name) {
  TGuard guard(*this);
  FRemoteName = Name;
  FRemoteAddress = Address;
  TIpWinSockAccess& access = WinSockAccess();
  TSockAddrIn target = Address;
  const char* api = "Connect";
  if (FSocksState != 0) {
    target = IpAnyAddress();
    target.sin_port = access.htons()(FSocksServerInfo->Port());
    const std::string proxy = FSocksServerInfo->Address();
    const uint32_t dotted = access.inet_addr()(proxy.c_str());
    target.sin_addr.S_addr = dotted != WS_INADDR_NONE ? dotted : FOwner->LookupName(proxy);
    api = "SocksConnect";
  }
  if (access.connect()(FSocketHandle, &target, AddressLength) == SOCKET_ERROR) {
    const int error = LastError();
    // Would-block means under way: the outcome comes as the connect event.
    if (error != WSAEWOULDBLOCK) throw EIpWinSockError(error, api);
  }
}
