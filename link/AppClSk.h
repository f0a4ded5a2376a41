#pragma once

#include <atomic>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "base/MemoryStream.h"
#include "ipsock/IpClient.h"
#include "ipsock/IpNameLookup.h"
#include "link/AppSkBase.h"
#include "link/LinkClient.h"
#include "link/RxRing.h"

// The states of the link's supervision.
enum TLinkState : uint8_t {
  lsIdle = 0,
  lsClosing = 1,
  lsWaiting = 2,
  lsConnecting = 3,
  lsConnected = 4,
  lsClosed = 5,
  lsCreated = 6,
};

// The notification codes the link queues: parameter 0 the code, parameter 1 the text.
constexpr int32_t LinkConnectedCode = 1;
constexpr int32_t LinkDisconnectedCode = 2;

// A state the link entered, and the supervision tick it entered it on.
struct TLinkStateChange {
  uint64_t Tick;
  TLinkState State;
};

// The device link: keeps a TCP connection to the Master at the address it is given, port
// 4001, reconnecting by itself; hands every received byte to the owner's receive ring and
// tells the owner's notifier when the connection comes and goes.
//
// The supervision loop ticks on a pool worker about every 10 ms, but every call into the
// socket control happens on the thread that created the link (the window thread): the
// loop's connect and disconnect requests queue up and are served there, in the order the
// loop made them. So the control's events, and with them every notification, come from
// that one thread in order. The link's own fields are shared under one lock.
class TCltSckObj : public TSckBase {
public:
  // The address used until the owner sets one: a device on a private network.
  static constexpr const char* DefaultAddress = "192.168.0.10";
  static constexpr int32_t DevicePort = 4001;
  static constexpr size_t ShortTextLength = 50;
  // Supervision ticks spent waiting before an attempt, and connecting before it is withdrawn.
  static constexpr int32_t TickLimit = 300;
  static constexpr uint16_t StartTimerInterval = 500;
  static constexpr int32_t SendBufferSize = 16384;

  TCltSckObj(TKtNotifier* Notifier, RxRing* Ring);
  ~TCltSckObj() override;

  // Before Start: received bytes go to the ring as they arrive rather than on the control's
  // timer, OnReceived hears of them, and the socket sends without delay (no Nagle).
  void SetPromptReceive(bool Value) { FPromptReceive = Value; }
  bool PromptReceive() const { return FPromptReceive; }
  // With prompt receiving: runs on the creating thread after received bytes reached the
  // ring, outside the control's events, so that it may send at once: at the end of the read
  // event that brought them, or from a message the link posts itself for bytes handed on
  // elsewhere (a close, the control's timer).
  void SetOnReceived(std::function<void()> Handler) { FOnReceived = std::move(Handler); }
  // Creates and configures the socket control; from then on the link connects by itself.
  void Start();
  void SetAddress(const std::string& Text);
  // The next attempt goes out at the next supervision tick instead of after the wait; later
  // attempts keep the cycle. For callers that set the address first and cannot wait.
  void AttemptNow() { FAttemptNow.store(true); }
  std::string Address() const;
  // Swallows every failure of the control.
  void SetSocketOpen(bool Value);
  bool Connected() const { return FState.load() == lsConnected; }
  void SetTimerInterval(uint16_t Ms);
  // Raises what the control raises, "Socket not assigned" without a connection among it.
  void SendText(const std::string& Text);
  void ResetRxRing();
  void Close();
  // Hands the bytes received so far to the ring now, instead of at the control's next
  // timer tick; on the creating thread. Answers whether there were any.
  bool PassReceivedBytes();

  TLinkState State() const { return FState.load(); }
  bool SocketOpen() const { return FSocketOpen.load(); }
  std::string Host() const;
  TIpClient* Client() const { return FClient.get(); }
  // The supervision ticks run so far, and the latest state changes with the tick of each
  // (the last HistoryLength of them), so that timing can be checked in ticks.
  uint64_t SupervisionTicks() const { return FTicks.load(); }
  // Bytes handed to the control to send, and bytes received (in the ring or still waiting
  // to be handed on), since the link was created; on the creating thread.
  uint64_t BytesSent() const { return FBytesSent; }
  uint64_t BytesReceived() const;
  std::vector<TLinkStateChange> StateHistory() const;
  static constexpr size_t HistoryLength = 64;

  std::string ClassName() const override { return "TCltSckObj"; }

protected:
  void RunLoop(TObject* Sender, const std::shared_ptr<IKtParams>& Params) override;
  LRESULT WndProc(uint32_t Msg, WPARAM WParam, LPARAM LParam) override;

private:
  // Posted to the link's own window when the loop queues a socket request.
  static constexpr uint32_t SocketRequestMessage = ReservedMessage + 1;
  // Posted to the link's own window when prompt receiving passed bytes to the ring.
  static constexpr uint32_t ReceivedMessage = ReservedMessage + 2;
  // Posted to the link's own window when a look-up of the host name has its answer.
  static constexpr uint32_t NameLookupMessage = ReservedMessage + 3;

  void SupervisionTick();
  void SetState(TLinkState New);
  void SetStatusText(const std::string& Text);
  // From the loop: SetSocketOpen(Value) on the creating thread, after those asked before.
  void RequestSocketOpen(bool Value);
  void ServeSocketRequests();
  // Copies the address to Host and the configured port to Port; answers whether they
  // differed.
  bool TakeAddress();
  // Starts the control's connection to Target, a host name's after its look-up.
  void ConnectTo(const std::string& Target);
  void NameLookupAnswered();
  void Notify(int32_t Code);

  void ClientStatus(TObject* Sender, TSocket Socket, TIpStatusType Event, const TIpConnRec& Connection,
                    const TIpSockStatRec& StatRec);
  void ClientError(TObject* Sender, TSocket Socket, int32_t ErrCode, const std::string& ErrStr);
  void ClientConnected();
  void ClientDisconnected();
  void ClientProgress();
  void ClientReadServed();

  // Guards every field below that both threads reach.
  mutable std::recursive_mutex FLock;
  std::string FHost;
  std::atomic<int32_t> FPort{0};
  TComponentPtr<TLinkClient> FClient;
  std::atomic<bool> FHasClient{false};
  TMemoryStream FRxStream;
  int32_t FTickCount = 0;
  std::string FStatusText;
  std::atomic<TLinkState> FState{lsClosed};
  int32_t FLastNotifyCode = 0;
  std::string FAddress;
  std::string FAddressCopy;
  std::atomic<bool> FSocketOpen{false};
  std::atomic<bool> FAttemptNow{false};
  std::atomic<int32_t> FConfiguredPort{DevicePort};
  RxRing* FRxRing;

  std::deque<bool> FSocketRequests;
  // Requests queued and not yet served to their end.
  int FRequestsOutstanding = 0;
  bool FServingRequests = false;
  bool FRequestsClosed = false;
  std::atomic<uint64_t> FTicks{0};
  uint64_t FBytesSent = 0;
  uint64_t FBytesPassed = 0;
  std::vector<TLinkStateChange> FHistory;
  // Creating thread only.
  bool FPromptReceive = false;
  std::function<void()> FOnReceived;
  bool FReceivedPosted = false;
  // The look-up of the current attempt, and the port part of its address text.
  std::unique_ptr<TIpNameLookup> FNameLookup;
  std::string FNameLookupPort;
};
