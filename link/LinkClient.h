#pragma once

#include <functional>

#include "ipsock/IpClient.h"

// The link's client control. It says when it has served a read event, after the data socket
// has let go of its lock, so that a reply can be acted on (and the next text sent) in the
// same pass of the thread's messages instead of in one more.
class TLinkClient final : public TIpClient {
public:
  using TIpClient::TIpClient;

  void SetOnReadServed(std::function<void()> Handler) { FOnReadServed = std::move(Handler); }
  void DoRead(TSocket Socket) override;

private:
  std::function<void()> FOnReadServed;
};
