#include "ipsock/IpSockControl.h"

#include <algorithm>

#include "base/Format.h"
#include "ipsock/IpDebugText.h"
#include "ipsock/IpErrorText.h"
#include "ipsock/IpExceptions.h"
#include "ipsock/IpNameLookup.h"
#include "ipsock/IpWinSockAccess.h"
#include "platform/Application.h"
#include "platform/Clock.h"

namespace {
// "a.b.c.d:port" of an address in network order and a port in host order.
std::string EndPointText(uint32_t Address, uint16_t Port) {
  const auto* bytes = reinterpret_cast<const uint8_t*>(&Address);
  return Format("%u.%u.%u.%u:%u", bytes[0], bytes[1], bytes[2], bytes[3], Port);
}

class ETimerError : public EIpBaseException {
public:
  ETimerError() : EIpBaseException("Not enough system timers available") {}
};
}  // namespace

TIpSockControl::TIpSockControl(TComponent* AOwner)
    : TIpBaseComponent(AOwner),
      FWindow(std::make_unique<TMessageWindow>(
          [this](uint32_t Msg, WPARAM WParam, LPARAM LParam) { return WndProc(Msg, WParam, LParam); })),
      FDebugLog(std::make_unique<TIpDebugLog>(this)),
      FEventLog(std::make_unique<TIpEventLog>(this)),
      FSockInits(std::make_unique<TIpDataInits>()),
      FStatusEvents(TIpStatusTypeSet{stConnect, stDisconnect, stProgress}.Bits()) {
  FEventLog->SetDateTimeFormat("yyyy.mm.dd hh:nn:ss");
  FEventLog->SetFileName("event.log");
  SetTimerInterval(DefaultTimerInterval);
  SetSockProtocol(spTcp);
}

TIpSockControl::~TIpSockControl() {
  try {
    SetTimerInterval(0);
    if (!FDebugLog->IsBufferEmpty()) FDebugLog->WriteToFile();
  } catch (...) {
    // A log that cannot be written must not keep the control alive.
  }
}

void TIpSockControl::FormatDebugEntry(TSocket Socket, uint32_t Type, const uint8_t* Data, uint32_t Length,
                                      std::string& Text) {
  TIpBaseComponent::FormatDebugEntry(Socket, Type, Data, Length, Text);
  FormatDataEntry(Socket, Type, Data, Length, Text);
}

void TIpSockControl::SetSockProtocol(TIpSockProtocol Value) {
  if (HasSocket()) throw EIpActiveError();
  FSockProtocol = Value;
}

std::string TIpSockControl::ProtocolName() const { return FSockProtocol == spTcp ? "tcp" : "udp"; }

int32_t TIpSockControl::SocketType() const { return FSockProtocol == spTcp ? WS_SOCK_STREAM : WS_SOCK_DGRAM; }

void TIpSockControl::SetTimerInterval(uint32_t Value) {
  if (Value == FTimerInterval) return;
  FTimerInterval = Value;
  FWindow->KillTimer(ControlTimerId);
  if (Value == 0) return;
  if (!FWindow->SetTimer(ControlTimerId, Value)) throw ETimerError();
  FLastTimerTick = GetTickCount();
}

std::shared_ptr<TIpDataSocket> TIpSockControl::FindSocket(TSocket, bool RaiseIfMissing) const {
  if (RaiseIfMissing) throw EIpNoSocketError();
  return nullptr;
}

LRESULT TIpSockControl::WndProc(uint32_t Msg, WPARAM WParam, LPARAM LParam) {
  switch (Msg) {
    case WM_TIMER:
      try {
        DoTimer();
      } catch (const std::exception& error) {
        SetTimerInterval(0);
        Application().HandleException(error);
      }
      return 0;
    case WM_QUERYENDSESSION:
      return 1;
    case IpSocketEventMessage:
      SocketEvent(WParam, static_cast<int32_t>(LParam & 0xFFFF), static_cast<int32_t>((LParam >> 16) & 0xFFFF));
      return 0;
    case IpFreeSocketMessage:
      // The socket may have gone already, by a disconnect that came first.
      FreeClosedSocket(WParam);
      return 0;
    case IpReadLineMessage:
      ReadLineMessage(WParam, LParam);
      return 0;
    default:
      return 0;
  }
}

void TIpSockControl::SocketEvent(TSocket Socket, int32_t Event, int32_t Error) {
  try {
    // Closing a socket ends its events: a notice that was already on its way (a connect
    // failing as it was closed, say) names a socket that is gone.
    if (!FindSocket(Socket, false)) return;
    if (Error != 0) {
      std::string api;
      EventName(Event, api);
      DoError(Socket, Error, WinSockErrorMessage(Error, api));
      if (Event == FD_CLOSE) DoClose(Socket);
      return;
    }
    switch (Event) {
      case FD_READ:
        DoRead(Socket);
        break;
      case FD_WRITE:
        DoWrite(Socket);
        break;
      case FD_OOB:
        DoOutOfBand(Socket);
        break;
      case FD_ACCEPT:
        DoAccept(Socket);
        break;
      case FD_CONNECT:
        DoConnect(Socket);
        break;
      case FD_CLOSE:
        DoClose(Socket);
        break;
      default:
        break;
    }
  } catch (const EIpWinSockError& error) {
    DoError(Socket, error.ErrorCode(), error.Message());
  } catch (const std::exception& error) {
    Application().HandleException(error);
  }
}

void TIpSockControl::ReadLineMessage(TSocket Socket, LPARAM LineCopy) {
  // Takes the copy over first, so that it is freed whatever the handler does.
  const std::unique_ptr<std::string> line(reinterpret_cast<std::string*>(LineCopy));
  OnReadLine.Raise(this, Socket, *line);
}

void TIpSockControl::DoReadLine(TSocket Socket, const std::string& Line) {
  // The message owns the copy: delivery takes it over, a message that is never delivered
  // frees it.
  std::string* copy = std::make_unique<std::string>(Line).release();
  PostMessage(FWindow->Handle(), IpReadLineMessage, Socket, reinterpret_cast<LPARAM>(copy),
              [copy] { std::unique_ptr<std::string> discarded(copy); });
}

void TIpSockControl::PostFreeSocket(TSocket Socket) { PostMessage(FWindow->Handle(), IpFreeSocketMessage, Socket, 0); }

void TIpSockControl::DoStatus(TSocket Socket, TIpStatusType Event, const TIpConnRec& Connection) {
  if (OnStatus.Assigned() && StatusEvents().Contains(Event)) {
    const TIpSockStatRec stats = FindSocket(Socket, true)->GetStats();
    OnStatus.Raise(this, Socket, Event, Connection, stats);
  }
  if (Event != stConnect && Event != stDisconnect) return;
  const std::string local = EndPointText(Connection.LocalAddress, Connection.LocalPort);
  const std::string remote = EndPointText(Connection.RemoteAddress, Connection.RemotePort);
  FEventLog->AppendEvent(Format(Event == stConnect ? "Connect: Loc: %s Rem: %s" : "Close:   Loc: %s Rem: %s",
                                local.c_str(), remote.c_str()));
}

uint32_t TIpSockControl::LookupName(const std::string& Host) {
  // The library's host record is the calling thread's, so look-ups on several threads need
  // no lock between them: one that hangs holds up only its own thread.
  TIpWinSockAccess& access = WinSockAccess();
  const THostAddressAnswer answer = LookupHostAddress(access.gethostbyname(), access.WSAGetLastError(), Host);
  if (answer.Error != 0) throw EIpWinSockError(answer.Error, "GetHostByName");
  return answer.Address;
}

void TIpSockControl::DoError(TSocket Socket, int32_t ErrCode, const std::string& ErrStr) {
  OnError.Raise(this, Socket, ErrCode, ErrStr);
}

void TIpSockControl::DoIdleTimeout(TSocket Socket, bool& Reset) { OnIdleTimeout.Raise(this, Socket, Reset); }

void TIpSockControl::DoItemSent(TSocket Socket, uint32_t Handle, uint32_t Remaining) {
  OnItemSent.Raise(this, Socket, Handle, Remaining);
}

void TIpSockControl::DoAddressReply(uintptr_t Handle, const TInAddr& Address) {
  OnAddressReply.Raise(this, Handle, Address);
}

void TIpSockControl::DoErrorReply(uintptr_t Handle, int32_t ErrCode, const std::string& ErrStr) {
  OnErrorReply.Raise(this, Handle, ErrCode, ErrStr);
}

void TIpSockControl::DoNameReply(uintptr_t Handle, const std::string& Name) { OnNameReply.Raise(this, Handle, Name); }

void TIpSockControl::DoPortReply(uintptr_t Handle, int32_t Port) { OnPortReply.Raise(this, Handle, Port); }

void TIpSockControl::DoServiceReply(uintptr_t Handle, const std::string& Service) {
  OnServiceReply.Raise(this, Handle, Service);
}

void TIpSockControl::DoAccept(TSocket) {}

void TIpSockControl::DoClose(TSocket Socket) {
  if (const auto socket = FindSocket(Socket, false)) {
    socket->CloseEvent();
    FreeClosedSocket(Socket);
  }
}

void TIpSockControl::FreeClosedSocket(TSocket Socket) {
  try {
    FreeSocket(Socket);
  } catch (const EIpNoSocketError&) {
    // Another thread closed it at the same moment and freed it first: it is gone either way.
  }
}

void TIpSockControl::DoConnect(TSocket Socket) {
  if (const auto socket = FindSocket(Socket, false)) socket->ConnectEvent();
}

void TIpSockControl::DoOutOfBand(TSocket Socket) {
  if (const auto socket = FindSocket(Socket, false)) socket->OobEvent();
}

void TIpSockControl::DoRead(TSocket Socket) {
  if (const auto socket = FindSocket(Socket, false)) socket->ReadEvent();
}

void TIpSockControl::DoWrite(TSocket Socket) {
  if (const auto socket = FindSocket(Socket, false)) socket->WriteEvent();
}

void TIpSockControl::DoTimer() {
  const uint32_t now = GetTickCount();
  const uint32_t elapsed = now >= FLastTimerTick ? now - FLastTimerTick : 4294967295u - FLastTimerTick + now;
  FLastTimerTick = now;
  TimerTick(elapsed);
}

void TIpSockControl::TimerTick(uint32_t) {}

void TIpSockControl::AttachWindow(HWND Window) {
  std::lock_guard<std::mutex> guard(FAttachedWindowsLock);
  FAttachedWindows.push_back(Window);
}

void TIpSockControl::DetachWindow(HWND Window) {
  std::lock_guard<std::mutex> guard(FAttachedWindowsLock);
  const auto found = std::find(FAttachedWindows.begin(), FAttachedWindows.end(), Window);
  if (found != FAttachedWindows.end()) FAttachedWindows.erase(found);
}

std::vector<HWND> TIpSockControl::AttachedWindows() const {
  std::lock_guard<std::mutex> guard(FAttachedWindowsLock);
  return FAttachedWindows;
}
