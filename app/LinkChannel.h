#pragma once

#include "app/DeviceChannel.h"
#include "base/Component.h"
#include "link/AppClSk.h"

// A run's channel over the window's device link and the receive ring it lends the link. The
// link may be absent (before the window is first shown): then nothing is connected.
class TLinkChannel : public TDeviceChannel {
public:
  TLinkChannel(const TComponentPtr<TCltSckObj>& Link, RxRing& Ring) : FLink(Link), FRing(Ring) {}

  bool Connected() const override;
  void SendText(const std::string& Text) override;
  RxRing& Received() override { return FRing; }
  void DiscardReceived() override;
  void CollectReceived() override;
  void SetTimerInterval(uint16_t Milliseconds) override;

private:
  const TComponentPtr<TCltSckObj>& FLink;
  RxRing& FRing;
};
