#include "link/AppClSk.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <utility>

#include "ipsock/IpAddress.h"
#include "ipsock/IpExceptions.h"
#include "ipsock/IpWinSockAccess.h"
#include "threads/KtHostThread.h"

namespace {
constexpr auto TickPause = std::chrono::milliseconds(10);
constexpr uint32_t DebugLogBufferSize = 65536;

std::string CutToShortText(const std::string& Text) { return Text.substr(0, TCltSckObj::ShortTextLength); }
}  // namespace

TCltSckObj::TCltSckObj(TKtNotifier* Notifier, RxRing* Ring) : FRxRing(Ring) {
  SetState(lsClosed);
  SetNotifier(Notifier);
  SetAddress(DefaultAddress);
  {
    std::lock_guard<std::recursive_mutex> guard(FLock);
    FTickCount = 0;
  }
  SetState(lsCreated);
  {
    std::lock_guard<std::recursive_mutex> guard(FLock);
    FHost = FAddressCopy;
    FLastNotifyCode = 0;
  }
  FPort.store(DevicePort);
  FConfiguredPort.store(DevicePort);
  // Last: the loop starts on a whole object, and sees lsCreated until Start.
  StartLoop();
}

TCltSckObj::~TCltSckObj() {
  {
    std::lock_guard<std::recursive_mutex> guard(FLock);
    FRequestsClosed = true;
    FSocketRequests.clear();
    FRequestsOutstanding = 0;
  }
  if (FHasClient.load()) {
    SetState(lsCreated);
    FClient->OnError.Clear();
    FClient->OnReadLine.Clear();
    FClient->SetOnReadServed(nullptr);
    FClient->OnStatus.Clear();
    FClient->OnNameReply.Clear();
    FClient->OnItemSent.Clear();
    SetSocketOpen(false);
  }
  EndLoop();
  FHasClient.store(false);
  try {
    FClient.reset();
  } catch (...) {
    // The link swallows every failure of its own work.
  }
}

void TCltSckObj::Start() {
  TComponentPtr<TLinkClient> client(new TLinkClient(nullptr));
  client->SetDefaultPort(0);
  client->DebugLog().SetBufferSize(DebugLogBufferSize);
  client->DebugLog().SetWriteMode(wmOverwrite);
  client->DebugLog().SetEnabled(false);
  client->DebugLog().SetFileName("debug.log");
  client->EventLog().SetDateTimeFormat("yyyy.mm.dd hh:nn:ss");
  client->EventLog().SetEnabled(false);
  client->EventLog().SetFileName("event.log");
  client->SockInits().SetSocketOptions(FPromptReceive ? TIpSockOptionSet{soKeepAlive, soNoDelay}
                                                      : TIpSockOptionSet{soKeepAlive});
  client->SockInits().SetLogOptions({});
  client->SockInits().SetReceiveMode(rmStream);
  client->SetSockProtocol(spTcp);
  client->SocksServer().SetAddress("");
  client->SocksServer().SetPort(0);
  client->SocksServer().SetSocksVersion(svSocks4);
  client->SetStatusEvents({stConnect, stDisconnect, stProgress});
  client->SetTimerInterval(StartTimerInterval);
  client->OnError.Set([this](TObject* Sender, TSocket Socket, int32_t ErrCode, const std::string& ErrStr) {
    ClientError(Sender, Socket, ErrCode, ErrStr);
  });
  client->OnStatus.Set([this](TObject* Sender, TSocket Socket, TIpStatusType Event, const TIpConnRec& Connection,
                              const TIpSockStatRec& StatRec) {
    ClientStatus(Sender, Socket, Event, Connection, StatRec);
  });
  client->SetOnReadServed([this] { ClientReadServed(); });
  client->OnReadLine.Clear();
  client->OnNameReply.Clear();
  client->OnItemSent.Clear();
  FClient = std::move(client);
  FHasClient.store(true);
  SetState(lsIdle);
}

void TCltSckObj::SetAddress(const std::string& Text) {
  std::lock_guard<std::recursive_mutex> guard(FLock);
  if (Text == FAddress) return;
  FAddress = Text;
  FAddressCopy = CutToShortText(Text);
}

std::string TCltSckObj::Address() const {
  std::lock_guard<std::recursive_mutex> guard(FLock);
  return FAddress;
}

std::string TCltSckObj::Host() const {
  std::lock_guard<std::recursive_mutex> guard(FLock);
  return FHost;
}

void TCltSckObj::SetSocketOpen(bool Value) {
  if (!FHasClient.load()) return;
  try {
    if (Value) {
      if (FSocketOpen.load()) return;
      std::string target;
      {
        std::lock_guard<std::recursive_mutex> guard(FLock);
        FRxStream.Clear();
        target = FHost + ":" + std::to_string(FPort.load());
      }
      ConnectTo(target);
      FSocketOpen.store(true);
    } else {
      if (!FSocketOpen.load()) return;
      FSocketOpen.store(false);
      FNameLookup.reset();
      const auto socket = FClient->DataSocket();
      if (socket && socket->Connected()) FClient->Disconnect();
    }
  } catch (...) {
    // A control that raises leaves the request undone; the supervision tries again.
  }
}

void TCltSckObj::ConnectTo(const std::string& Target) {
  TIpAddrRec rec;
  ParseAddress(Target, rec);
  if (rec.Host.empty() || LiteralHostAddress(rec.Host)) {
    FClient->Connect(Target);
    return;
  }
  // A resolver may take seconds or hang: the name is looked up off this thread, which
  // serves every other link and the window meanwhile.
  FNameLookup = std::make_unique<TIpNameLookup>(rec.Host, MessageWindow(), NameLookupMessage);
  FNameLookupPort = rec.Port;
}

void TCltSckObj::NameLookupAnswered() {
  // An answer of a look-up given up since then finds another one here, or none.
  if (!FNameLookup || !FNameLookup->Done()) return;
  const THostAddressAnswer answer = FNameLookup->Answer();
  const std::string port = FNameLookupPort;
  FNameLookup.reset();
  // A name that cannot be looked up is an attempt that never connects: the supervision
  // withdraws it and tries again, as it does for an address that does not answer.
  if (!FSocketOpen.load() || answer.Error != 0) return;
  try {
    const std::string dotted = WinSockAccess().inet_ntoa()(TInAddr{answer.Address});
    FClient->Connect(port.empty() ? dotted : dotted + ":" + port);
  } catch (...) {
    // As for a connection started at once.
  }
}

void TCltSckObj::SetTimerInterval(uint16_t Ms) {
  if (FHasClient.load()) FClient->SetTimerInterval(Ms);
}

void TCltSckObj::SendText(const std::string& Text) {
  if (!FHasClient.load()) throw EIpNoSocketError();
  FClient->SendString(Text, false);
  FBytesSent += Text.size();
}

uint64_t TCltSckObj::BytesReceived() const {
  std::lock_guard<std::recursive_mutex> guard(FLock);
  return FBytesPassed + static_cast<uint64_t>(FRxStream.Size());
}

void TCltSckObj::ResetRxRing() {
  FRxRing->ReadPos = 0;
  FRxRing->WritePos = 0;
  FRxRing->Overflowed = false;
}

void TCltSckObj::Close() {
  if (FState.load() == lsConnected) {
    SetState(lsClosing);
    try {
      FClient->Disconnect();
    } catch (...) {
      // The link swallows every failure of its own work.
    }
  }
  SetNotifier(nullptr);
}

std::vector<TLinkStateChange> TCltSckObj::StateHistory() const {
  std::lock_guard<std::recursive_mutex> guard(FLock);
  return FHistory;
}

void TCltSckObj::SetState(TLinkState New) {
  std::lock_guard<std::recursive_mutex> guard(FLock);
  FState.store(New);
  if (FHistory.size() == HistoryLength) FHistory.erase(FHistory.begin());
  FHistory.push_back({FTicks.load(), New});
  // The status text went with the notification just queued, which the window's own loop
  // delivers. No pass of messages here: on the creating thread this runs inside the
  // control's events, under its socket's lock, and a pass would run every other link's
  // socket events inside it.
  if (New != lsCreated) FStatusText.clear();
}

void TCltSckObj::RunLoop(TObject*, const std::shared_ptr<IKtParams>&) {
  TKtHostThread* worker = CurrentHostThread();
  while (!worker->Terminated() && LoopMayRun()) {
    try {
      ProcessMessages();
      SupervisionTick();
    } catch (...) {
      // A failed tick is dropped; the next one runs as usual.
    }
    PauseLoop(TickPause);
  }
}

bool TCltSckObj::TakeAddress() {
  const bool changed = FHost != FAddressCopy || FPort.load() != FConfiguredPort.load();
  if (changed) {
    FHost = FAddressCopy;
    FPort.store(FConfiguredPort.load());
  }
  return changed;
}

void TCltSckObj::SupervisionTick() {
  // The whole tick under the lock: the control's events cannot change the state halfway.
  std::lock_guard<std::recursive_mutex> guard(FLock);
  // A tick waits for the requests of earlier ticks, as if it had served them itself: so the
  // control's answers to them (a disconnect) come before the state moves on, and the tick
  // counts stay those of a loop that calls the control directly.
  if (FRequestsOutstanding > 0) return;
  ++FTicks;
  switch (FState.load()) {
    case lsIdle:
      FTickCount = 0;
      if (FHasClient.load()) SetState(lsWaiting);
      break;
    case lsClosing:
      RequestSocketOpen(false);
      SetState(lsClosed);
      break;
    case lsWaiting: {
      TakeAddress();
      const bool attemptNow = FAttemptNow.exchange(false);
      if (++FTickCount <= TickLimit && !attemptNow) break;
      FTickCount = 0;
      SetState(lsConnecting);
      RequestSocketOpen(true);
      break;
    }
    case lsConnecting:
      if (++FTickCount <= TickLimit) break;
      RequestSocketOpen(false);
      SetState(lsIdle);
      break;
    case lsConnected:
      // The open socket stays open: the next withdrawn attempt closes it.
      if (TakeAddress()) SetState(lsIdle);
      break;
    case lsClosed:
    case lsCreated:
      break;
  }
}

void TCltSckObj::RequestSocketOpen(bool Value) {
  {
    std::lock_guard<std::recursive_mutex> guard(FLock);
    if (FRequestsClosed) return;
    FSocketRequests.push_back(Value);
    ++FRequestsOutstanding;
  }
  PostMessage(MessageWindow(), SocketRequestMessage, 0, 0);
}

LRESULT TCltSckObj::WndProc(uint32_t Msg, WPARAM WParam, LPARAM LParam) {
  switch (Msg) {
    case SocketRequestMessage:
      ServeSocketRequests();
      return 0;
    case ReceivedMessage:
      FReceivedPosted = false;
      if (FOnReceived) FOnReceived();
      return 0;
    case NameLookupMessage:
      NameLookupAnswered();
      return 0;
    default:
      return TSckBase::WndProc(Msg, WParam, LParam);
  }
}

void TCltSckObj::ServeSocketRequests() {
  // The control's events may pass messages while a request is served; a request reached
  // that way waits for the one in hand, so the requests keep their order.
  {
    std::lock_guard<std::recursive_mutex> guard(FLock);
    if (FServingRequests) return;
    FServingRequests = true;
  }
  for (;;) {
    bool open = false;
    {
      std::lock_guard<std::recursive_mutex> guard(FLock);
      if (FSocketRequests.empty()) {
        FServingRequests = false;
        return;
      }
      open = FSocketRequests.front();
      FSocketRequests.pop_front();
    }
    SetSocketOpen(open);
    std::lock_guard<std::recursive_mutex> guard(FLock);
    if (FRequestsOutstanding > 0) --FRequestsOutstanding;
  }
}

void TCltSckObj::ClientStatus(TObject*, TSocket, TIpStatusType Event, const TIpConnRec&, const TIpSockStatRec&) {
  switch (Event) {
    case stConnect:
      ClientConnected();
      break;
    case stDisconnect:
      ClientDisconnected();
      break;
    case stProgress:
      ClientProgress();
      break;
    default:
      break;
  }
}

void TCltSckObj::ClientConnected() {
  try {
    FClient->SetSendBufferSize(SendBufferSize);
  } catch (...) {
    // A socket gone again at once is reported by its own disconnect.
  }
  {
    std::lock_guard<std::recursive_mutex> guard(FLock);
    FRxStream.Clear();
    try {
      FClient->SetReceiveStream(&FRxStream);
    } catch (...) {
      // As above.
    }
    FTickCount = 0;
    SetStatusText(CutToShortText("Connected to " + FHost));
    if (Notifier()) {
      FLastNotifyCode = LinkConnectedCode;
      Notify(LinkConnectedCode);
    }
  }
  SetState(lsConnected);
}

void TCltSckObj::ClientProgress() {
  // With prompt receiving a read's bytes go on when it is served; any found here were left
  // by a read that ended early, and are heard of through a message.
  if (!PassReceivedBytes() || !FPromptReceive || !FOnReceived || FReceivedPosted) return;
  // One message stands for every arrival until it is served.
  FReceivedPosted = true;
  PostMessage(MessageWindow(), ReceivedMessage, 0, 0);
}

void TCltSckObj::ClientReadServed() {
  // Straight from the read to the ring and on, without a progress status between them.
  if (FPromptReceive && PassReceivedBytes() && FOnReceived) FOnReceived();
}

void TCltSckObj::ClientDisconnected() {
  {
    std::lock_guard<std::recursive_mutex> guard(FLock);
    SetStatusText("Disconnected");
    if (Notifier() && FLastNotifyCode != LinkDisconnectedCode) {
      FLastNotifyCode = LinkDisconnectedCode;
      Notify(LinkDisconnectedCode);
    }
  }
  SetState(lsIdle);
}

void TCltSckObj::SetStatusText(const std::string& Text) { FStatusText = Text; }

void TCltSckObj::Notify(int32_t Code) {
  // The text goes in as a string value, so that the receiver reads it with AsString.
  const std::string text = FStatusText;
  Notifier()->NotifyValues({Code, text}, qsDefault);
}

bool TCltSckObj::PassReceivedBytes() {
  std::lock_guard<std::recursive_mutex> guard(FLock);
  const int64_t size = FRxStream.Size();
  if (size <= 0) return false;
  const uint8_t* bytes = FRxStream.Memory();
  int64_t left = size;
  // Run by run of free contiguous space: the free space wraps at most once.
  while (left > 0) {
    RxRing& ring = *FRxRing;
    const int32_t free = (ring.ReadPos - ring.WritePos - 1 + RxRing::Size) % RxRing::Size;
    const int32_t contiguous = std::min(free, RxRing::Size - ring.WritePos);
    if (contiguous == 0) {
      ring.Overflowed = true;
      break;
    }
    const int32_t count = static_cast<int32_t>(std::min<int64_t>(left, contiguous));
    std::memcpy(ring.Data + ring.WritePos, bytes, static_cast<size_t>(count));
    ring.WritePos = (ring.WritePos + count) % RxRing::Size;
    bytes += count;
    left -= count;
  }
  FBytesPassed += static_cast<uint64_t>(size);
  // Emptied, not freed: the next reply reuses the memory.
  FRxStream.SetSize(0);
  return true;
}

void TCltSckObj::ClientError(TObject*, TSocket, int32_t, const std::string&) { SetSocketOpen(false); }
