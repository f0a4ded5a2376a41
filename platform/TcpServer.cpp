#include "platform/TcpServer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>

#include "base/Format.h"
#include "platform/SystemError.h"

namespace {
constexpr int Backlog = 8;

std::string AddressName(const sockaddr_in& Address) {
  char text[INET_ADDRSTRLEN] = {};
  inet_ntop(AF_INET, &Address.sin_addr, text, sizeof text);
  return Format("%s:%d", text, static_cast<int>(ntohs(Address.sin_port)));
}
}  // namespace

TTcpPeer::TTcpPeer(int Descriptor, std::string PeerName)
    : FDescriptor(Descriptor), FPeerName(std::move(PeerName)) {}

TTcpPeer::~TTcpPeer() { Close(); }

long TTcpPeer::Send(std::string_view Bytes) {
  if (FDescriptor < 0) return -1;
  for (;;) {
    const ssize_t sent = send(FDescriptor, Bytes.data(), Bytes.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
    if (sent >= 0) return static_cast<long>(sent);
    if (errno == EINTR) continue;
    if (errno == EAGAIN || errno == EWOULDBLOCK) return 0;
    Close();
    return -1;
  }
}

TTcpPeer::TReceiveResult TTcpPeer::Receive(std::string& Into) {
  if (FDescriptor < 0) return TReceiveResult::rrClosed;
  char buffer[4096];
  for (;;) {
    const ssize_t got = recv(FDescriptor, buffer, sizeof buffer, MSG_DONTWAIT);
    if (got > 0) {
      Into.append(buffer, static_cast<size_t>(got));
      return TReceiveResult::rrData;
    }
    if (got < 0 && errno == EINTR) continue;
    if (got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return TReceiveResult::rrNothing;
    Close();
    return TReceiveResult::rrClosed;
  }
}

void TTcpPeer::Close() {
  if (FDescriptor < 0) return;
  close(FDescriptor);
  FDescriptor = -1;
}

TTcpServerSocket::TTcpServerSocket(const std::string& Address, int Port, bool Listening) : FListening(Listening) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<uint16_t>(Port));
  if (Port < 0 || Port > 65535 || inet_pton(AF_INET, Address.c_str(), &address.sin_addr) != 1)
    throw ETcpServerError(Format("Cannot listen on \"%s\" port %d: not an IPv4 address and port",
                                 Address.c_str(), Port));
  FName = AddressName(address);
  const auto fail = [this](const char* Step) {
    const int error = errno;
    if (FDescriptor >= 0) close(FDescriptor);
    throw ETcpServerError(Format("Cannot listen on %s: %s failed: %s", FName.c_str(), Step,
                                 SysErrorMessage(error).c_str()));
  };
  FDescriptor = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  if (FDescriptor < 0) fail("socket");
  // Lets a restarted server take its port while old connections linger. Left out for a
  // socket that does not listen: two such sockets could then share the address.
  const int yes = 1;
  if (Listening) setsockopt(FDescriptor, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
  if (bind(FDescriptor, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) fail("bind");
  if (Listening && listen(FDescriptor, Backlog) != 0) fail("listen");
}

TTcpServerSocket::~TTcpServerSocket() { close(FDescriptor); }

std::unique_ptr<TTcpPeer> TTcpServerSocket::Accept() {
  if (!FListening) return nullptr;
  sockaddr_in peer{};
  for (;;) {
    socklen_t length = sizeof peer;
    const int fd = accept4(FDescriptor, reinterpret_cast<sockaddr*>(&peer), &length, SOCK_CLOEXEC | SOCK_NONBLOCK);
    if (fd >= 0) return std::unique_ptr<TTcpPeer>(new TTcpPeer(fd, AddressName(peer)));
    // A connection that was reset while it waited is simply gone; anything else leaves
    // the next attempt to the next readiness.
    if (errno != EINTR && errno != ECONNABORTED) return nullptr;
  }
}
