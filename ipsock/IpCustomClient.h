#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

#include "base/MemoryStream.h"
#include "ipsock/IpDataSocket.h"
#include "ipsock/IpSettings.h"
#include "ipsock/IpSockControl.h"

// A socket control with one data socket for a single outgoing connection. The connection
// is made and closed from any thread while its events arrive on the control's thread, so
// the data socket is held by shared ownership: whoever is working on it keeps it alive
// while a close elsewhere lets it go. The reference itself is guarded by a lock that is
// never held while the socket runs.
class TIpCustomClient : public TIpSockControl {
public:
  explicit TIpCustomClient(TComponent* AOwner);
  ~TIpCustomClient() override;

  // Starts connecting to the address text ("host", "host:port" or a locator) and answers
  // the socket handle, or INVALID_SOCKET when no connection was started. Raises
  // EIpWinSockError "Socket is already connected" while connected.
  TSocket Connect(const std::string& Address);
  // Closes the connection (stDisconnect is raised before this returns) and frees the socket.
  void Disconnect();
  bool Connected() const;
  TSocket SocketHandle() const;
  // The following raise EIpNoSocketError without a data socket.
  void SetReceiveStream(TMemoryStream* Stream);
  void SetSendBufferSize(int32_t Size);
  // Queues Text and answers its item handle, 0 when it went out at once; a send the system
  // refuses raises EIpWinSockError.
  uint32_t SendString(const std::string& Text, bool CloseAfter);
  // The current data socket, or none.
  std::shared_ptr<TIpDataSocket> DataSocket() const;

  void CreateSocket() override;
  void FreeSocket(TSocket Socket) override;
  bool HasSocket() const override;
  std::shared_ptr<TIpDataSocket> FindSocket(TSocket Socket, bool RaiseIfMissing) const override;
  void DoStatus(TSocket Socket, TIpStatusType Event, const TIpConnRec& Connection) override;
  void TimerTick(uint32_t Elapsed) override;
  void AttachWindow(HWND Window) override;
  virtual void CloseClientSocket(TSocket Socket);
  virtual TSocket ConnectSocket(const std::string& Address);

protected:
  uint16_t DefaultPort() const { return FDefaultPort; }
  void SetDefaultPort(uint16_t Value) { FDefaultPort = Value; }
  TIpSocksServerInfo& SocksServer() const { return *FSocksServer; }

private:
  std::shared_ptr<TIpDataSocket> RequireSocket() const;
  // The IPv4 socket address of an address text; Host receives the host part.
  TSockAddrIn ResolveAddress(const std::string& Address, std::string& Host);

  std::atomic<uint16_t> FDefaultPort{0};
  std::unique_ptr<TIpSocksServerInfo> FSocksServer;
  mutable std::mutex FDataSocketLock;
  std::shared_ptr<TIpDataSocket> FDataSocket;
  // The socket's handle, fixed at its creation: compared under the lock above without
  // taking the socket's own lock, which is held while the socket calls back.
  TSocket FDataSocketHandle = INVALID_SOCKET;
};
