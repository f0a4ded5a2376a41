#include "ipsock/IpDataSocket.h"

#include <algorithm>
#include <cstring>

#include "ipsock/IpExceptions.h"
#include "ipsock/IpLockGuard.h"
#include "ipsock/IpWinSockAccess.h"

namespace {
using TGuard = TIpLockGuard<const TIpBaseSocket>;

const TIpDataInits& InitsOrDefaults(const TIpDataInits* Inits) {
  static const TIpDataInits defaults;
  return Inits != nullptr ? *Inits : defaults;
}

void AddBoth(uint32_t& Counter, uint32_t& Total, uint32_t Count) {
  Counter += Count;
  Total += Count;
}
}  // namespace

TIpDataSocket::TIpDataSocket(TIpDataSocketOwner* Owner, TSocket Handle, const TSockAddrIn& LocalAddress,
                             const TIpDataInits* Inits, const TIpSocksServerInfo* SocksSettings)
    : TIpBaseSocket(Owner, Handle, LocalAddress, &InitsOrDefaults(Inits), SocksSettings, EventMask),
      FDataOwner(Owner),
      FIdleTimeout(InitsOrDefaults(Inits).IdleTimeout()),
      FLogOptions(InitsOrDefaults(Inits).LogOptions()),
      FReceiveMode(InitsOrDefaults(Inits).ReceiveMode()),
      FLines(InitsOrDefaults(Inits).LineTerminator(), InitsOrDefaults(Inits).LineTermChar(),
             InitsOrDefaults(Inits).StripLineTerminator(), InitsOrDefaults(Inits).FixedLineLength(), MaxLineBuffer) {
  // Telnet negotiation is not carried, so its option is never in force here.
  FTelnet = false;
  SetReceiveBufferSize(InitsOrDefaults(Inits).ReceiveBufferSize());
  SetSendBufferSize(InitsOrDefaults(Inits).SendBufferSize());
}

TIpDataSocket::~TIpDataSocket() = default;

void TIpDataSocket::ApplyBufferSize(int Option, int32_t Size) {
  TGuard guard(*this);
  TIpWinSockAccess& access = WinSockAccess();
  while (Size > SmallestBufferSize) {
    if (access.setsockopt()(FSocketHandle, WS_SOL_SOCKET, Option, reinterpret_cast<const char*>(&Size),
                            sizeof Size) != SOCKET_ERROR)
      return;
    const int error = LastError();
    if (error == WSAENOPROTOOPT || error == WSAEINVAL) return;
    Size /= 2;
  }
}

void TIpDataSocket::SetReceiveBufferSize(int32_t Size) { ApplyBufferSize(WS_SO_RCVBUF, Size); }

void TIpDataSocket::SetSendBufferSize(int32_t Size) { ApplyBufferSize(WS_SO_SNDBUF, Size); }

void TIpDataSocket::SetReceiveStream(TMemoryStream* Stream) {
  TGuard guard(*this);
  FReceiveStream = Stream;
  if (Stream == nullptr || FReceiveMode != rmStream || FRxHead == FRxTail) return;
  // Bytes that came before the stream go first. A buffer that had filled up stopped the
  // reading, and no read notification comes for data that nobody asked for: read on now.
  const bool stalled = FRxTail == RxBufferSize;
  ModeStep();
  if (stalled) ReadPass();
}

TIpSockStatRec TIpDataSocket::GetStats() const {
  TGuard guard(*this);
  return FStats;
}

bool TIpDataSocket::Writable() const {
  TGuard guard(*this);
  return FWritable;
}

bool TIpDataSocket::Closed() const {
  TGuard guard(*this);
  return FHandleClosed;
}

size_t TIpDataSocket::QueuedItems() const {
  TGuard guard(*this);
  return FSendQueue.size();
}

uint32_t TIpDataSocket::IdleTime() const {
  TGuard guard(*this);
  return FIdleTime;
}

void TIpDataSocket::Connect(const TSockAddrIn& Address, const std::string& Name) {
  TGuard guard(*this);
  FRxHead = 0;
  FRxTail = 0;
  FStats = TIpSockStatRec{};
  FActivity = false;
  TIpBaseSocket::Connect(Address, Name);
}

void TIpDataSocket::CloseEvent() {
  TGuard guard(*this);
  if (FConnected) CloseSocket();
}

void TIpDataSocket::CloseSocket() {
  TGuard guard(*this);
  // A socket is reported closed once only, whoever closes it first.
  if (FHandleClosed) return;
  try {
    // What came in since the last tick reaches the owner before the close frees the socket.
    RaiseProgress();
  } catch (...) {
    // Closing is always allowed to finish; a failing status handler cannot stop it.
  }
  FConnected = false;
  FWritable = false;
  WinSockAccess().shutdown()(FSocketHandle, WS_SD_SEND);
  TIpBaseSocket::CloseSocket();
}

void TIpDataSocket::RaiseProgress() {
  if (!FActivity) return;
  FDataOwner->DoStatus(FSocketHandle, stProgress, ConnectionRecord());
  FActivity = false;
}

void TIpDataSocket::AddDebugData(uint32_t Type, const void* Data, uint32_t Length) {
  FDataOwner->SocketDebugLog().AddDataEntry(FDataOwner->SocketDebugRenderer(), static_cast<uint32_t>(FSocketHandle),
                                            Type, Data, Length);
}

// ---- receiving ----

int TIpDataSocket::ReceiveCall(bool& Drained) {
  if (FSocketHandle == INVALID_SOCKET || FHandleClosed || !FConnected) return 0;
  if (FRxHead >= FRxTail) {
    FRxHead = 0;
    FRxTail = 0;
  }
  const int space = RxBufferSize - FRxTail;
  // A full buffer (a stream mode without its stream) waits until the data can go on.
  if (space == 0) return 0;
  uint8_t* target = FRxBuffer.data() + FRxTail;
  const int received = WinSockAccess().recv()(FSocketHandle, reinterpret_cast<char*>(target), space, 0);
  if (received == SOCKET_ERROR) {
    const int error = LastError();
    return error == WSAEWOULDBLOCK || error == WSAENOTCONN ? 0 : -1;
  }
  if (received == 0) return 0;
  Drained = received < space;
  if (FLogOptions.Contains(loLowData)) AddDebugData(IpRecvDataEntry, target, static_cast<uint32_t>(received));
  AddBoth(FStats.RawBytesReceived, FStats.TotalRawBytesReceived, static_cast<uint32_t>(received));
  int remaining = received;
  FilterReceived(target, remaining);
  if (remaining > 0 && FLogOptions.Contains(loHighData))
    AddDebugData(IpReadDataEntry, target, static_cast<uint32_t>(remaining));
  AddBoth(FStats.BytesReceived, FStats.TotalBytesReceived, static_cast<uint32_t>(remaining));
  // Discarded bytes moved too: the owner still hears of the traffic.
  FActivity = true;
  FRxTail += remaining;
  return received;
}

void TIpDataSocket::FilterReceived(uint8_t* Data, int& Count) {
  if (FStripHighBit)
    for (int i = 0; i < Count; ++i) Data[i] &= 0x7F;
  if (FEchoReceived) PutData(Data, static_cast<uint32_t>(Count), true, true, false, nullptr);
  if (FDiscardReceived) Count = 0;
}

void TIpDataSocket::ReadEvent() {
  TGuard guard(*this);
  FIdleTime = 0;
  ReadPass();
}

void TIpDataSocket::ReadPass() {
  // One more call after a drained one would only be told to wait; data that comes later has
  // a read event of its own, which that call re-armed.
  bool drained = false;
  while (!drained && ReceiveCall(drained) > 0)
    while (ModeStep()) {
    }
}

bool TIpDataSocket::ModeStep() {
  if (FRxHead == FRxTail) return false;
  try {
    switch (FReceiveMode) {
      case rmStream:
        if (FReceiveStream != nullptr) {
          FReceiveStream->Write(FRxBuffer.data() + FRxHead, FRxTail - FRxHead);
          FRxHead = FRxTail;
        }
        return false;
      case rmAny: {
        std::string line(reinterpret_cast<const char*>(FRxBuffer.data() + FRxHead),
                         static_cast<size_t>(FRxTail - FRxHead));
        FRxHead = FRxTail;
        DeliverLine(std::move(line));
        return true;
      }
      case rmLine: {
        std::string line;
        switch (FLines.Step(FRxBuffer.data(), RxBufferSize, FRxHead, FRxTail, line)) {
          case TIpLineSplitter::lsLine:
            DeliverLine(std::move(line));
            return true;
          case TIpLineSplitter::lsTooLong:
            FDataOwner->DoError(FSocketHandle, LineTooLongError, "Received line too long, exceeds MaxLineBuf");
            return false;
          case TIpLineSplitter::lsNone:
            return false;
        }
      }
    }
  } catch (...) {
    // A failing step delivers nothing; reception goes on with the next data.
  }
  return false;
}

void TIpDataSocket::DeliverLine(std::string Line) { FDataOwner->DoReadLine(FSocketHandle, Line); }

// ---- sending ----

void TIpDataSocket::FillChunk(TIpSendItem& Item) {
  Item.Buffer.resize(StreamChunkSize);
  const int64_t read = Item.Stream->Read(Item.Buffer.data(), StreamChunkSize);
  Item.Buffer.resize(static_cast<size_t>(read));
  Item.PayloadLength = static_cast<uint32_t>(read);
  Item.Sent = 0;
  if (read < static_cast<int64_t>(StreamChunkSize)) Item.Stream = nullptr;
}

TIpDataSocket::TSendOutcome TIpDataSocket::SendItem(TIpSendItem& Item, int& Error) {
  if (!FWritable) return sdPending;
  const uint32_t remaining = Item.Length() - Item.Sent;
  int accepted = 0;
  if (remaining > 0) {
    accepted = WinSockAccess().send()(FSocketHandle, reinterpret_cast<const char*>(Item.Buffer.data() + Item.Sent),
                                      static_cast<int>(remaining), 0);
  }
  FIdleTime = 0;
  if (accepted == SOCKET_ERROR) {
    Error = LastError();
    if (Error != WSAEWOULDBLOCK) return sdFailed;
    FWritable = false;
    return sdPending;
  }
  if (accepted > 0 && FLogOptions.Contains(loLowData))
    AddDebugData(IpSendDataEntry, Item.Buffer.data() + Item.Sent, static_cast<uint32_t>(accepted));
  if (static_cast<uint32_t>(accepted) < remaining) {
    Item.Sent += static_cast<uint32_t>(accepted);
    return sdPending;
  }
  AddBoth(FStats.RawBytesSent, FStats.TotalRawBytesSent, Item.Length());
  if (!Item.Internal) {
    AddBoth(FStats.BytesSent, FStats.TotalBytesSent, Item.PayloadLength);
    if (FLogOptions.Contains(loHighData)) AddDebugData(IpWriteDataEntry, Item.Buffer.data(), Item.PayloadLength);
  }
  FActivity = true;
  if (Item.Stream == nullptr) return sdFinished;
  FillChunk(Item);
  return sdPending;
}

std::unique_ptr<TIpSendItem> TIpDataSocket::TakeFirstItem() {
  std::unique_ptr<TIpSendItem> first = std::move(FSendQueue.front());
  FSendQueue.pop_front();
  return first;
}

std::unique_ptr<TIpSendItem> TIpDataSocket::BlankItem() {
  if (!FSpareItem) return std::make_unique<TIpSendItem>();
  std::unique_ptr<TIpSendItem> item = std::move(FSpareItem);
  std::vector<uint8_t> memory = std::move(item->Buffer);
  memory.clear();
  *item = TIpSendItem{};
  item->Buffer = std::move(memory);
  return item;
}

void TIpDataSocket::CloseAfterItem(const TIpSendItem& Item) {
  if (!Item.CloseAfter) return;
  CloseSocket();
  FDataOwner->PostFreeSocket(FSocketHandle);
}

uint32_t TIpDataSocket::PutData(const void* Data, uint32_t Length, bool, bool Internal, bool CloseAfter,
                                TMemoryStream* Stream) {
  TGuard guard(*this);
  std::unique_ptr<TIpSendItem> item = BlankItem();
  item->CloseAfter = CloseAfter;
  item->Internal = Internal;
  item->Stream = Stream;
  if (Stream != nullptr) {
    FillChunk(*item);
  } else {
    const auto* bytes = static_cast<const uint8_t*>(Data);
    item->Buffer.assign(bytes, bytes + Length);
    item->PayloadLength = Length;
  }
  TIpSendItem& queued = *item;
  FSendQueue.push_back(std::move(item));
  if (FSendQueue.size() == 1) {
    int error = 0;
    while (FWritable) {
      const TSendOutcome outcome = SendItem(queued, error);
      if (outcome == sdPending) continue;
      std::unique_ptr<TIpSendItem> finished = TakeFirstItem();
      // A send that failed is the caller's to know; answering 0 would report it sent.
      if (outcome == sdFailed) throw EIpWinSockError(error, "Send");
      CloseAfterItem(*finished);
      FSpareItem = std::move(finished);
      return 0;
    }
  }
  queued.Handle = ++FLastItemHandle;
  return queued.Handle;
}

void TIpDataSocket::WriteEvent() {
  TGuard guard(*this);
  if (FSocketHandle == INVALID_SOCKET || FHandleClosed) return;
  FWritable = true;
  int error = 0;
  while (!FSendQueue.empty() && FWritable) {
    const TSendOutcome outcome = SendItem(*FSendQueue.front(), error);
    if (outcome == sdPending) continue;
    // Taken off the queue before the event, so a handler that queues more finds it consistent.
    const std::unique_ptr<TIpSendItem> finished = TakeFirstItem();
    // A failed item is dropped without an event; the connection's end follows as its close.
    if (outcome == sdFailed) continue;
    FDataOwner->DoItemSent(FSocketHandle, finished->Handle, static_cast<uint32_t>(FSendQueue.size()));
    CloseAfterItem(*finished);
  }
}

// ---- timer ----

void TIpDataSocket::TimerEvent(uint32_t Elapsed) {
  TGuard guard(*this);
  // A socket closed by another thread after the tick found it has reported its end and is
  // being freed; progress now would name a socket its control no longer has.
  if (FHandleClosed) return;
  RaiseProgress();
  FIdleTime += Elapsed;
  if (FIdleTimeout != 0 && FIdleTime > FIdleTimeout) IdleTimeoutReached();
}

void TIpDataSocket::IdleTimeoutReached() {
  TGuard guard(*this);
  bool reset = false;
  FDataOwner->DoIdleTimeout(FSocketHandle, reset);
  if (reset) FIdleTime = 0;
}
