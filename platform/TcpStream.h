#pragma once

#include <memory>
#include <string>

// A blocking TCP client connection for short diagnostic traffic (the debug-log viewer).
// Sends time out instead of blocking forever on a peer that stops reading.
class TTcpStream {
public:
  TTcpStream() = default;
  ~TTcpStream();
  TTcpStream(const TTcpStream&) = delete;
  TTcpStream& operator=(const TTcpStream&) = delete;

  // Resolves Host and connects to Port; answers whether the connection stands.
  bool Connect(const std::string& Host, int Port);
  // Sends every byte; answers false (and closes) when the connection failed.
  bool Send(const std::string& Bytes);
  // Appends what arrives within TimeoutMs; answers false when the peer closed or failed.
  bool Receive(std::string& Into, int TimeoutMs);
  void Close();
  bool Connected() const { return FDescriptor >= 0; }

private:
  friend class TTcpListener;
  explicit TTcpStream(int Descriptor) : FDescriptor(Descriptor) {}

  int FDescriptor = -1;
};

// A listening TCP socket on the loopback address, for tools and tests on this machine.
class TTcpListener {
public:
  TTcpListener() = default;
  ~TTcpListener();
  TTcpListener(const TTcpListener&) = delete;
  TTcpListener& operator=(const TTcpListener&) = delete;

  // Port 0 takes a free port; answers whether the socket listens.
  bool Listen(int Port = 0);
  int Port() const { return FPort; }
  // The next connection within TimeoutMs, or nullptr.
  std::unique_ptr<TTcpStream> Accept(int TimeoutMs);
  void Close();

private:
  int FDescriptor = -1;
  int FPort = 0;
};
