#pragma once

#include <cstdint>
#include <string>

#include "base/Persistent.h"
#include "base/Set.h"
#include "ipsock/IpBaseClasses.h"

enum TIpSockOptions {
  soBroadcast,
  soDebug,
  soDiscardReceived,
  soDontRoute,
  soEchoReceived,
  soEchoSent,
  soKeepAlive,
  soNoDelay,
  soReuseAddr,
  soStripHighBit,
  soTelnet
};
using TIpSockOptionSet = TSet<TIpSockOptions>;

enum TIpSocksVersion { svSocks4, svSocks4a, svSocks5 };

// SOCKS proxy settings; an empty Address means a direct connection. Every field is read and
// written under the object's lock.
class TIpSocksServerInfo : public TIpBasePersistent {
public:
  static constexpr uint16_t DefaultPort = 1080;

  // From another TIpSocksServerInfo all five fields; anything else goes to the base.
  void CopyFrom(const TPersistent& Source) override;

  std::string Address() const;
  void SetAddress(const std::string& Value);
  std::string Password() const;
  void SetPassword(const std::string& Value);
  uint16_t Port() const;
  void SetPort(uint16_t Value);
  TIpSocksVersion SocksVersion() const;
  void SetSocksVersion(TIpSocksVersion Value);
  std::string UserCode() const;
  void SetUserCode(const std::string& Value);

private:
  std::string FAddress;
  std::string FPassword;
  uint16_t FPort = DefaultPort;
  TIpSocksVersion FSocksVersion = svSocks4;
  std::string FUserCode;
};

// The settings every socket is created with.
class TIpBaseInits : public TPersistent {
public:
  void CopyFrom(const TPersistent& Source) override;

  TIpSockOptionSet SocketOptions() const { return FSocketOptions; }
  void SetSocketOptions(TIpSockOptionSet Value) { FSocketOptions = Value; }

private:
  TIpSockOptionSet FSocketOptions;
};
