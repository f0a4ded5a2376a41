#pragma once

#include "ipsock/IpCustomClient.h"

// The client socket control with its settings published.
class TIpClient : public TIpCustomClient {
public:
  using TIpCustomClient::TIpCustomClient;

  using TIpCustomClient::DefaultPort;
  using TIpCustomClient::SetDefaultPort;
  using TIpCustomClient::SocksServer;
};
