#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "base/Exception.h"
#include "platform/Readiness.h"

// Raised when a server socket cannot be set up; the message names the address and the reason.
class ETcpServerError : public Exception {
public:
  using Exception::Exception;
};

// An accepted connection that never blocks: it sends and receives what the system can take
// or has now. Wait for its readiness with TReadinessWait.
class TTcpPeer : public TPollable {
public:
  enum class TReceiveResult { rrData, rrNothing, rrClosed };

  ~TTcpPeer() override;
  TTcpPeer(const TTcpPeer&) = delete;
  TTcpPeer& operator=(const TTcpPeer&) = delete;

  // The remote end as "address:port".
  const std::string& PeerName() const { return FPeerName; }
  // Answers how many bytes the system took (possibly none), or -1 when the connection failed
  // (it is then closed).
  long Send(std::string_view Bytes);
  // Appends what is waiting to Into. rrClosed: the peer closed or the connection failed (it
  // is then closed here too).
  TReceiveResult Receive(std::string& Into);
  void Close();
  bool Open() const { return FDescriptor >= 0; }

protected:
  int PollDescriptor() const override { return FDescriptor; }

private:
  friend class TTcpServerSocket;
  TTcpPeer(int Descriptor, std::string PeerName);

  int FDescriptor;
  std::string FPeerName;
};

// A TCP server socket bound to one IPv4 address and port. Bound without listening, it turns
// every connection attempt away as a closed port does, while keeping the address its own.
class TTcpServerSocket : public TPollable {
public:
  // Address is a dotted IPv4 address. Raises ETcpServerError when the address is not one or
  // the system refuses it (in use, not a local address).
  TTcpServerSocket(const std::string& Address, int Port, bool Listening);
  ~TTcpServerSocket() override;
  TTcpServerSocket(const TTcpServerSocket&) = delete;
  TTcpServerSocket& operator=(const TTcpServerSocket&) = delete;

  // "address:port" as bound.
  const std::string& Name() const { return FName; }
  // The next waiting connection, or nullptr when none waits (or the socket does not listen).
  std::unique_ptr<TTcpPeer> Accept();

protected:
  int PollDescriptor() const override { return FListening ? FDescriptor : -1; }

private:
  int FDescriptor = -1;
  bool FListening;
  std::string FName;
};
