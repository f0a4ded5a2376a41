#include "tools/sim/SimServer.h"

#include <algorithm>
#include <optional>
#include <utility>

#include "platform/TcpServer.h"
#include "tools/sim/FlashedFile.h"
#include "tools/sim/ReceivedFile.h"
#include "tools/sim/ReplySchedule.h"
#include "tools/sim/SimDevice.h"

namespace {
using TClock = TReplySchedule::TClock;

int MillisecondsUntil(TClock::time_point Due, TClock::time_point Now) {
  if (Due <= Now) return 0;
  // Rounded up, so that the wait never ends just before the moment it waits for.
  const auto wait = std::chrono::ceil<std::chrono::milliseconds>(Due - Now);
  return static_cast<int>(std::min<std::chrono::milliseconds::rep>(wait.count(), 60'000));
}
}  // namespace

// One device with its listening socket, its connection and what it still has to send.
class TSimServer::TDeviceSlot {
public:
  TDeviceSlot(const TSimOptions& Options, const std::string& Address, size_t Index, const TPrint& Print)
      : FIndex(Index),
        FListener(Address, SimDevicePort, !Options.RefuseConnections),
        FPrint(Print),
        FDevice(Options.Faults, [this](const std::string& Event) { Say(Event); }),
        FSchedule(Options.Delay, Options.Dribble) {
    if (!Options.FlashedPattern.empty()) {
      FFlashed.emplace(DeviceFileName(Options.FlashedPattern, Address));
      FFlashed->Update(FDevice);
    }
    if (!Options.ReceivedPattern.empty()) FReceived.emplace(DeviceFileName(Options.ReceivedPattern, Address));
    Say(Options.RefuseConnections ? "refusing connections" : "listening");
  }

  void WatchListener(TReadinessWait& Wait) { Wait.Watch(FListener, TReadinessWait::riRead, ListenerKey()); }

  std::optional<TClock::time_point> NextDue() const { return FSchedule.NextDue(); }

  // What the wait found ready here; served, with what is due, by the next Serve.
  void Ready(uint64_t Key) { (Key == ListenerKey() ? FListenerReady : FPeerReady) = true; }

  // Serves the readiness marked since the last call and whatever is due by Now.
  void Serve(TReadinessWait& Wait, TClock::time_point Now) {
    const bool peerReady = std::exchange(FPeerReady, false);
    const bool listenerReady = std::exchange(FListenerReady, false);
    const auto due = NextDue();
    if (!peerReady && !listenerReady && !(due && *due <= Now)) return;
    if (FPeer && peerReady) ReceiveFromPeer(Wait, Now);
    if (listenerReady) AcceptWaiting(Wait);
    if (FPeer) SendDue(Wait, Now);
    if (FFlashed) FFlashed->Update(FDevice);
  }

  // Two keys per slot: the listener's and the connection's.
  static size_t SlotOfKey(uint64_t Key) { return static_cast<size_t>(Key / 2); }

private:
  void Say(const std::string& Text) const { FPrint(FListener.Name() + " " + Text); }
  uint64_t ListenerKey() const { return uint64_t{FIndex} * 2; }
  uint64_t PeerKey() const { return uint64_t{FIndex} * 2 + 1; }
  // The connection is watched for writing only while due bytes wait for room.
  void WatchPeer(TReadinessWait& Wait) {
    const bool writing = !FPending.empty();
    if (FPeerWatchedForWriting && *FPeerWatchedForWriting == writing) return;
    Wait.Watch(*FPeer, TReadinessWait::riRead | (writing ? unsigned{TReadinessWait::riWrite} : 0u), PeerKey());
    FPeerWatchedForWriting = writing;
  }

  // One connection at a time, as the device's own network interface has.
  void AcceptWaiting(TReadinessWait& Wait) {
    while (auto peer = FListener.Accept()) {
      if (FPeer) {
        Say("turned away " + peer->PeerName() + ": a connection stands");
        continue;
      }
      FPeer = std::move(peer);
      WatchPeer(Wait);
      FDevice.Connected();
      Say("connection from " + FPeer->PeerName());
    }
  }

  void ReceiveFromPeer(TReadinessWait& Wait, TClock::time_point Now) {
    std::string bytes;
    if (FPeer->Receive(bytes) == TTcpPeer::TReceiveResult::rrClosed) {
      Drop(Wait, "closed by " + FPeer->PeerName());
      return;
    }
    if (FReceived) FReceived->Append(bytes);
    const TSimDevice::TResponse response = FDevice.Receive(bytes);
    for (const std::string& reply : response.Replies) FSchedule.AddReply(reply, Now);
    if (response.Close) FSchedule.AddClose(Now);
  }

  void SendDue(TReadinessWait& Wait, TClock::time_point Now) {
    FPending += FSchedule.TakeDue(Now);
    if (!FPending.empty()) {
      const long sent = FPeer->Send(FPending);
      if (sent < 0) {
        Drop(Wait, "lost " + FPeer->PeerName());
        return;
      }
      FPending.erase(0, static_cast<size_t>(sent));
    }
    if (FPending.empty() && FSchedule.CloseDue(Now)) {
      Drop(Wait, "closed the connection to " + FPeer->PeerName());
      return;
    }
    WatchPeer(Wait);
  }

  void Drop(TReadinessWait& Wait, const std::string& Event) {
    Say(Event);
    Wait.Unwatch(*FPeer);
    FPeerWatchedForWriting.reset();
    FPeerReady = false;
    FPeer.reset();
    FPending.clear();
    FSchedule.Clear();
  }

  const size_t FIndex;
  TTcpServerSocket FListener;
  const TPrint& FPrint;
  TSimDevice FDevice;
  TReplySchedule FSchedule;
  std::optional<TFlashedFile> FFlashed;
  std::optional<TReceivedFile> FReceived;
  std::unique_ptr<TTcpPeer> FPeer;
  std::string FPending;  // due bytes the socket did not take yet
  std::optional<bool> FPeerWatchedForWriting;  // none while the connection is not watched
  bool FListenerReady = false;
  bool FPeerReady = false;
};

TSimServer::TSimServer(const TSimOptions& Options, TPrint Print) : FPrint(std::move(Print)) {
  for (const std::string& address : Options.Listen)
    FSlots.push_back(std::make_unique<TDeviceSlot>(Options, address, FSlots.size(), FPrint));
}

TSimServer::~TSimServer() = default;

void TSimServer::Run(const TPollable& Stop) {
  TReadinessWait wait;
  const uint64_t stopKey = uint64_t{FSlots.size()} * 2;
  wait.Watch(Stop, TReadinessWait::riRead, stopKey);
  for (const auto& slot : FSlots) slot->WatchListener(wait);
  for (;;) {
    std::optional<TClock::time_point> nextDue;
    for (const auto& slot : FSlots)
      if (const auto due = slot->NextDue(); due && (!nextDue || *due < *nextDue)) nextDue = due;
    const auto& ready = wait.Wait(nextDue ? MillisecondsUntil(*nextDue, TClock::now()) : -1);
    for (const TReadinessWait::TReady& source : ready) {
      if (source.Key == stopKey) return;
      FSlots[TDeviceSlot::SlotOfKey(source.Key)]->Ready(source.Key);
    }
    const auto now = TClock::now();
    for (const auto& slot : FSlots) slot->Serve(wait, now);
  }
}
