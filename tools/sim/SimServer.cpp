#include "tools/sim/SimServer.h"

#include <algorithm>
#include <optional>

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
  TDeviceSlot(const TSimOptions& Options, const std::string& Address, const TPrint& Print)
      : FListener(Address, SimDevicePort, !Options.RefuseConnections),
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

  void AddTo(TReadinessWait& Wait) {
    FListenerEntry = Wait.Add(FListener, TReadinessWait::riRead);
    FPeerEntry.reset();
    if (FPeer)
      FPeerEntry = Wait.Add(*FPeer, TReadinessWait::riRead | (FPending.empty() ? 0u : unsigned{TReadinessWait::riWrite}));
  }

  std::optional<TClock::time_point> NextDue() const { return FSchedule.NextDue(); }

  void Serve(const TReadinessWait& Wait, TClock::time_point Now) {
    if (FPeer && FPeerEntry && Wait.Readable(*FPeerEntry)) ReceiveFromPeer(Now);
    if (Wait.Readable(FListenerEntry)) AcceptWaiting();
    if (FPeer) SendDue(Now);
    if (FFlashed) FFlashed->Update(FDevice);
  }

private:
  void Say(const std::string& Text) const { FPrint(FListener.Name() + " " + Text); }

  // One connection at a time, as the device's own network interface has.
  void AcceptWaiting() {
    while (auto peer = FListener.Accept()) {
      if (FPeer) {
        Say("turned away " + peer->PeerName() + ": a connection stands");
        continue;
      }
      FPeer = std::move(peer);
      FDevice.Connected();
      Say("connection from " + FPeer->PeerName());
    }
  }

  void ReceiveFromPeer(TClock::time_point Now) {
    std::string bytes;
    if (FPeer->Receive(bytes) == TTcpPeer::TReceiveResult::rrClosed) {
      Drop("closed by " + FPeer->PeerName());
      return;
    }
    if (FReceived) FReceived->Append(bytes);
    const TSimDevice::TResponse response = FDevice.Receive(bytes);
    for (const std::string& reply : response.Replies) FSchedule.AddReply(reply, Now);
    if (response.Close) FSchedule.AddClose(Now);
  }

  void SendDue(TClock::time_point Now) {
    FPending += FSchedule.TakeDue(Now);
    if (!FPending.empty()) {
      const long sent = FPeer->Send(FPending);
      if (sent < 0) {
        Drop("lost " + FPeer->PeerName());
        return;
      }
      FPending.erase(0, static_cast<size_t>(sent));
    }
    if (FPending.empty() && FSchedule.CloseDue(Now)) Drop("closed the connection to " + FPeer->PeerName());
  }

  void Drop(const std::string& Event) {
    Say(Event);
    FPeer.reset();
    FPending.clear();
    FSchedule.Clear();
  }

  TTcpServerSocket FListener;
  const TPrint& FPrint;
  TSimDevice FDevice;
  TReplySchedule FSchedule;
  std::optional<TFlashedFile> FFlashed;
  std::optional<TReceivedFile> FReceived;
  std::unique_ptr<TTcpPeer> FPeer;
  std::string FPending;  // due bytes the socket did not take yet
  size_t FListenerEntry = 0;
  std::optional<size_t> FPeerEntry;
};

TSimServer::TSimServer(const TSimOptions& Options, TPrint Print) : FPrint(std::move(Print)) {
  for (const std::string& address : Options.Listen)
    FSlots.push_back(std::make_unique<TDeviceSlot>(Options, address, FPrint));
}

TSimServer::~TSimServer() = default;

void TSimServer::Run(const TPollable& Stop) {
  TReadinessWait wait;
  for (;;) {
    wait.Clear();
    const size_t stopEntry = wait.Add(Stop, TReadinessWait::riRead);
    std::optional<TClock::time_point> nextDue;
    for (const auto& slot : FSlots) {
      slot->AddTo(wait);
      if (const auto due = slot->NextDue(); due && (!nextDue || *due < *nextDue)) nextDue = due;
    }
    wait.Wait(nextDue ? MillisecondsUntil(*nextDue, TClock::now()) : -1);
    if (wait.Readable(stopEntry)) return;
    const auto now = TClock::now();
    for (const auto& slot : FSlots) slot->Serve(wait, now);
  }
}
