#pragma once

#include <array>
#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "base/MemoryStream.h"
#include "ipsock/IpBaseSocket.h"
#include "ipsock/IpDataInits.h"
#include "ipsock/IpDataSocketOwner.h"
#include "ipsock/IpLineSplitter.h"

// One outgoing item of a data socket's send queue.
struct TIpSendItem {
  uint32_t Handle = 0;
  bool CloseAfter = false;
  // Protocol bytes: not counted as payload and not logged as written data.
  bool Internal = false;
  // Still to be sent from, chunk by chunk; not owned.
  TMemoryStream* Stream = nullptr;
  std::vector<uint8_t> Buffer;
  uint32_t Sent = 0;
  uint32_t PayloadLength = 0;

  uint32_t Length() const { return static_cast<uint32_t>(Buffer.size()); }
};

// The buffered connection behind a socket control: receives into a fixed buffer and hands
// the data on as lines, into a stream or as it arrived; feeds queued items to the system as
// the socket accepts them; counts bytes and watches for idleness. Every operation runs
// under the base socket's lock, so the control's thread and senders on other threads can
// share one data socket. SOCKS and Telnet negotiation are not carried: soTelnet is ignored.
class TIpDataSocket : public TIpBaseSocket {
public:
  static constexpr int32_t RxBufferSize = 8192;
  static constexpr size_t MaxLineBuffer = 1048576;
  static constexpr uint32_t StreamChunkSize = 1460;
  static constexpr int32_t SmallestBufferSize = 1460;
  static constexpr int32_t LineTooLongError = 8001;
  // Read, write, connect and close.
  static constexpr int32_t EventMask = FD_READ | FD_WRITE | FD_CONNECT | FD_CLOSE;

  // Inits nullptr means the defaults of TIpDataInits.
  TIpDataSocket(TIpDataSocketOwner* Owner, TSocket Handle, const TSockAddrIn& LocalAddress,
                const TIpDataInits* Inits, const TIpSocksServerInfo* SocksSettings);
  ~TIpDataSocket() override;

  void CloseEvent() override;
  void ReadEvent() override;
  void TimerEvent(uint32_t Elapsed) override;
  void WriteEvent() override;
  void CloseSocket() override;
  void Connect(const TSockAddrIn& Address, const std::string& Name) override;

  // Raises the owner's idle time-out event; a handler that sets Reset restarts the count.
  virtual void IdleTimeoutReached();
  // Queues Length bytes (or, with Stream, the stream from its position on) and answers the
  // item's handle, or 0 when it went out at once. Raises EIpWinSockError ("Send") when the
  // system refuses an item that was to go out at once; it is then dropped. Raw would
  // bypass protocol escaping, which is not carried.
  virtual uint32_t PutData(const void* Data, uint32_t Length, bool Raw, bool Internal, bool CloseAfter,
                           TMemoryStream* Stream);

  // The destination of received bytes in rmStream mode; not owned. Bytes already waiting
  // in the buffer go to it at once.
  void SetReceiveStream(TMemoryStream* Stream);
  // Asks the system for Size bytes of buffer, halving on refusal down to above 1460.
  void SetReceiveBufferSize(int32_t Size);
  void SetSendBufferSize(int32_t Size);
  TIpSockStatRec GetStats() const;
  bool Writable() const;
  // The handle has been closed: the socket can carry no further connection.
  bool Closed() const;
  size_t QueuedItems() const;
  uint32_t IdleTime() const;

private:
  void ApplyBufferSize(int Option, int32_t Size);
  // One receive call into the free part of the buffer: the count, 0 (nothing now) or -1.
  // Drained is set when a call left room in the buffer: the system had nothing more then.
  int ReceiveCall(bool& Drained);
  // Receive calls until the system has nothing more, each followed by the mode steps it
  // allows.
  void ReadPass();
  void FilterReceived(uint8_t* Data, int& Count);
  // Hands on what the receive mode allows; answers whether a line was delivered.
  bool ModeStep();
  void DeliverLine(std::string Line);
  enum TSendOutcome { sdPending, sdFinished, sdFailed };
  // One send of the item's unsent bytes; a failure leaves its error code in Error.
  TSendOutcome SendItem(TIpSendItem& Item, int& Error);
  void FillChunk(TIpSendItem& Item);
  std::unique_ptr<TIpSendItem> TakeFirstItem();
  // A blank item, in the memory of the last one sent at once when there is one.
  std::unique_ptr<TIpSendItem> BlankItem();
  void CloseAfterItem(const TIpSendItem& Item);
  void AddDebugData(uint32_t Type, const void* Data, uint32_t Length);
  // The progress status, when bytes moved since the last one.
  void RaiseProgress();

  TIpDataSocketOwner* FDataOwner;
  uint32_t FIdleTime = 0;
  uint32_t FIdleTimeout;
  TIpLogOptionSet FLogOptions;
  TIpReceiveMode FReceiveMode;
  TMemoryStream* FReceiveStream = nullptr;
  std::array<uint8_t, RxBufferSize> FRxBuffer{};
  int32_t FRxHead = 0;
  int32_t FRxTail = 0;
  TIpLineSplitter FLines;
  std::deque<std::unique_ptr<TIpSendItem>> FSendQueue;
  // Kept for the next PutData: most items are sent at once, one after another.
  std::unique_ptr<TIpSendItem> FSpareItem;
  TIpSockStatRec FStats{};
  bool FActivity = false;
  uint32_t FLastItemHandle = 0;
  bool FWritable = false;
};
