#include "ipsock/IpCustomClient.h"

#include <utility>

#include "base/Exception.h"
#include "ipsock/IpAddress.h"
#include "ipsock/IpExceptions.h"
#include "ipsock/IpNameLookup.h"
#include "ipsock/IpWinSockAccess.h"

namespace {
constexpr int WSAEDESTADDRREQ = 10039;

uint16_t PortNumber(const std::string& Digits, const std::string& Address) {
  const auto badPort = [&] { return EConvertError("Bad port \"" + Digits + "\" in address \"" + Address + "\""); };
  unsigned long port = 0;
  for (const char digit : Digits) {
    if (digit < '0' || digit > '9') throw badPort();
    port = port * 10 + static_cast<unsigned long>(digit - '0');
    if (port > 65535) throw badPort();
  }
  return static_cast<uint16_t>(port);
}
}  // namespace

TIpCustomClient::TIpCustomClient(TComponent* AOwner)
    : TIpSockControl(AOwner), FSocksServer(std::make_unique<TIpSocksServerInfo>()) {}

TIpCustomClient::~TIpCustomClient() {
  FSocksServer.reset();
  std::shared_ptr<TIpDataSocket> socket;
  {
    std::lock_guard<std::mutex> guard(FDataSocketLock);
    socket = std::move(FDataSocket);
  }
}

std::shared_ptr<TIpDataSocket> TIpCustomClient::DataSocket() const {
  std::lock_guard<std::mutex> guard(FDataSocketLock);
  return FDataSocket;
}

std::shared_ptr<TIpDataSocket> TIpCustomClient::RequireSocket() const {
  std::shared_ptr<TIpDataSocket> socket = DataSocket();
  if (!socket) throw EIpNoSocketError();
  return socket;
}

bool TIpCustomClient::HasSocket() const { return DataSocket() != nullptr; }

std::shared_ptr<TIpDataSocket> TIpCustomClient::FindSocket(TSocket Socket, bool RaiseIfMissing) const {
  {
    std::lock_guard<std::mutex> guard(FDataSocketLock);
    if (FDataSocket && FDataSocketHandle == Socket) return FDataSocket;
  }
  if (RaiseIfMissing) throw EIpNoSocketError();
  return nullptr;
}

void TIpCustomClient::CreateSocket() {
  auto socket = std::make_shared<TIpDataSocket>(this, INVALID_SOCKET, LocalAddress(), &SockInits(), FSocksServer.get());
  const TSocket handle = socket->SocketHandle();
  std::shared_ptr<TIpDataSocket> replaced;
  std::lock_guard<std::mutex> guard(FDataSocketLock);
  replaced = std::exchange(FDataSocket, std::move(socket));
  FDataSocketHandle = handle;
}

void TIpCustomClient::FreeSocket(TSocket Socket) {
  FindSocket(Socket, true);
  std::shared_ptr<TIpDataSocket> freed;
  {
    std::lock_guard<std::mutex> guard(FDataSocketLock);
    // Only the socket asked for: another thread may have put a new one in its place.
    if (FDataSocket && FDataSocketHandle == Socket) {
      freed = std::move(FDataSocket);
      FDataSocketHandle = INVALID_SOCKET;
    }
  }
}

void TIpCustomClient::DoStatus(TSocket Socket, TIpStatusType Event, const TIpConnRec& Connection) {
  TIpSockControl::DoStatus(Socket, Event, Connection);
  if (Event != stConnect && Event != stDisconnect) return;
  const LPARAM notice = Event == stConnect ? IpConnectedNotice : IpClosedNotice;
  for (const HWND window : AttachedWindows()) PostMessage(window, IpConnectionChangeMessage, Socket, notice);
}

void TIpCustomClient::TimerTick(uint32_t Elapsed) {
  if (const auto socket = DataSocket()) socket->TimerEvent(Elapsed);
}

void TIpCustomClient::AttachWindow(HWND Window) {
  if (Connected()) PostMessage(Window, IpConnectionChangeMessage, SocketHandle(), IpConnectedNotice);
  TIpSockControl::AttachWindow(Window);
}

void TIpCustomClient::CloseClientSocket(TSocket Socket) {
  if (const auto socket = FindSocket(Socket, false)) {
    socket->CloseSocket();
    FreeClosedSocket(Socket);
  }
}

TSocket TIpCustomClient::Connect(const std::string& Address) { return ConnectSocket(Address); }

void TIpCustomClient::Disconnect() {
  if (const auto socket = DataSocket()) CloseClientSocket(socket->SocketHandle());
}

bool TIpCustomClient::Connected() const {
  const auto socket = DataSocket();
  return socket && socket->Connected();
}

TSocket TIpCustomClient::SocketHandle() const {
  const auto socket = DataSocket();
  return socket ? socket->SocketHandle() : INVALID_SOCKET;
}

void TIpCustomClient::SetReceiveStream(TMemoryStream* Stream) { RequireSocket()->SetReceiveStream(Stream); }

void TIpCustomClient::SetSendBufferSize(int32_t Size) { RequireSocket()->SetSendBufferSize(Size); }

uint32_t TIpCustomClient::SendString(const std::string& Text, bool CloseAfter) {
  return RequireSocket()->PutData(Text.data(), static_cast<uint32_t>(Text.size()), false, false, CloseAfter, nullptr);
}

TSocket TIpCustomClient::ConnectSocket(const std::string& Address) {
  std::shared_ptr<TIpDataSocket> socket = DataSocket();
  // A socket closed after its last item is only waiting to be freed; it cannot connect.
  if (socket && socket->Closed()) {
    FreeClosedSocket(socket->SocketHandle());
    socket.reset();
  }
  if (!socket) {
    CreateSocket();
    socket = RequireSocket();
  } else if (socket->Connected()) {
    throw EIpWinSockError(WSAEISCONN, "Connect");
  }
  try {
    std::string host;
    const TSockAddrIn target = ResolveAddress(Address, host);
    socket->Connect(target, host);
    return socket->SocketHandle();
  } catch (...) {
    // A connection that cannot be started is answered with the invalid handle, no event.
    return INVALID_SOCKET;
  }
}

TSockAddrIn TIpCustomClient::ResolveAddress(const std::string& Address, std::string& Host) {
  TIpWinSockAccess& access = WinSockAccess();
  TIpAddrRec rec;
  ParseAddress(Address, rec);
  TSockAddrIn target = IpAnyAddress();
  target.sin_port = access.htons()(rec.Port.empty() ? DefaultPort() : PortNumber(rec.Port, Address));
  Host = rec.Host;
  if (Host.empty()) throw EIpWinSockError(WSAEDESTADDRREQ, "Connect");
  const std::optional<uint32_t> literal = LiteralHostAddress(Host);
  target.sin_addr.S_addr = literal ? *literal : LookupName(Host);
  return target;
}
