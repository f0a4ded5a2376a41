#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "ipsock/IpBaseClasses.h"
#include "ipsock/IpSettings.h"
#include "ipsock/IpSocketOwner.h"
#include "ipsock/IpTypes.h"

// One socket handle with its addresses, options and SOCKS settings, owned by a socket
// control. Events arrive on the owner's window thread while other threads may call in, so
// every field is read and written under the socket's lock.
class TIpBaseSocket : public TObject, public TIpLockable {
public:
  // Creates a new socket (Handle INVALID_SOCKET) or adopts an existing one. Raises
  // EIpWinSockError when the socket cannot be created, adopted, set up or registered;
  // the handle is then closed again.
  TIpBaseSocket(TIpSocketOwner* Owner, TSocket Handle, const TSockAddrIn& LocalAddress,
                const TIpBaseInits* Settings, const TIpSocksServerInfo* SocksSettings);
  ~TIpBaseSocket() override;

  std::string RemoteName() const;
  // The socket library's last error code on this thread.
  int LastError() const;
  void SetSocketOptions(TIpSockOptionSet Options);

  bool Connected() const;
  TSocket SocketHandle() const;
  TSockAddrIn LocalAddress() const;
  TSockAddrIn RemoteAddress() const;
  uint8_t SocksState() const;
  int32_t SocketType() const;
  TIpSocketOwner* Owner() const { return FOwner; }
  bool DiscardReceived() const;
  bool EchoReceived() const;
  bool EchoSent() const;
  bool StripHighBit() const;
  bool Telnet() const;

  // Starts the proxy negotiation once the connection to the proxy stands.
  virtual void SocksNegotiate();
  // Registers the socket's events with the owner's window.
  virtual void SelectEvents();
  virtual void CloseEvent();
  virtual void ConnectEvent();
  virtual void OobEvent();
  virtual void ReadEvent();
  virtual void TimerEvent(uint32_t Elapsed);
  virtual void WriteEvent();
  // Closes the handle (its value stays recorded) and reports stDisconnect.
  virtual void CloseSocket();
  // Starts connecting to Address (or to the SOCKS server); the outcome arrives as the
  // connect event. Raises EIpWinSockError when the connection cannot even be started.
  virtual void Connect(const TSockAddrIn& Address, const std::string& Name);

protected:
  // Events are registered from inside the constructor, where an override of SelectEvents
  // is not yet reachable; a derived socket that listens for more passes its own mask.
  TIpBaseSocket(TIpSocketOwner* Owner, TSocket Handle, const TSockAddrIn& LocalAddress,
                const TIpBaseInits* Settings, const TIpSocksServerInfo* SocksSettings, int32_t EventMask);

  TIpConnRec ConnectionRecord() const;
  void RaiseLastError(const char* Api) const;

  bool FConnected = false;
  TSocket FSocketHandle = INVALID_SOCKET;
  bool FHandleClosed = false;
  std::string FRemoteName;
  bool FDiscardReceived = false;
  bool FEchoReceived = false;
  bool FEchoSent = false;
  bool FStripHighBit = false;
  bool FTelnet = false;
  TSockAddrIn FLocalAddress = IpAnyAddress();
  TSockAddrIn FRemoteAddress = IpAnyAddress();
  std::unique_ptr<TIpSocksServerInfo> FSocksServerInfo;
  uint8_t FSocksState = 0;
  int32_t FSocketType = WS_SOCK_STREAM;

private:
  void CreateSocket(const TSockAddrIn& LocalAddress, const TIpBaseInits* Settings);
  void AdoptSocket(TSocket Handle, const TIpBaseInits* Settings);
  void SetOption(int Level, int Option, bool On);
  void CloseHandle();

  TIpSocketOwner* FOwner;
  int32_t FEventMask;
};
