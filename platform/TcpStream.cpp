#include "platform/TcpStream.h"

#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <cerrno>
#include <memory>

namespace {
constexpr int SendTimeoutSeconds = 2;

struct TAddressInfoFree {
  void operator()(addrinfo* Info) const { freeaddrinfo(Info); }
};
}  // namespace

TTcpStream::~TTcpStream() { Close(); }

bool TTcpStream::Connect(const std::string& Host, int Port) {
  Close();
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  if (getaddrinfo(Host.c_str(), std::to_string(Port).c_str(), &hints, &found) != 0) return false;
  const std::unique_ptr<addrinfo, TAddressInfoFree> addresses(found);
  for (const addrinfo* a = addresses.get(); a; a = a->ai_next) {
    const int fd = socket(a->ai_family, a->ai_socktype | SOCK_CLOEXEC, a->ai_protocol);
    if (fd < 0) continue;
    if (connect(fd, a->ai_addr, a->ai_addrlen) == 0) {
      const timeval timeout{SendTimeoutSeconds, 0};
      setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &timeout, sizeof timeout);
      FDescriptor = fd;
      return true;
    }
    close(fd);
  }
  return false;
}

bool TTcpStream::Send(const std::string& Bytes) {
  size_t sent = 0;
  while (FDescriptor >= 0 && sent < Bytes.size()) {
    const ssize_t n = send(FDescriptor, Bytes.data() + sent, Bytes.size() - sent, MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      Close();
      return false;
    }
    sent += static_cast<size_t>(n);
  }
  return FDescriptor >= 0;
}

void TTcpStream::Close() {
  if (FDescriptor < 0) return;
  close(FDescriptor);
  FDescriptor = -1;
}

namespace {
bool Readable(int Descriptor, int TimeoutMs) {
  pollfd wait{Descriptor, POLLIN, 0};
  int ready;
  do {
    ready = poll(&wait, 1, TimeoutMs);
  } while (ready < 0 && errno == EINTR);
  return ready > 0;
}
}  // namespace

bool TTcpStream::Receive(std::string& Into, int TimeoutMs) {
  if (FDescriptor < 0) return false;
  if (!Readable(FDescriptor, TimeoutMs)) return true;
  char buffer[4096];
  const ssize_t n = recv(FDescriptor, buffer, sizeof buffer, 0);
  if (n <= 0) {
    Close();
    return false;
  }
  Into.append(buffer, static_cast<size_t>(n));
  return true;
}

TTcpListener::~TTcpListener() { Close(); }

bool TTcpListener::Listen(int Port) {
  Close();
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return false;
  const int yes = 1;
  setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(static_cast<uint16_t>(Port));
  socklen_t length = sizeof address;
  if (bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || listen(fd, 8) != 0 ||
      getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    close(fd);
    return false;
  }
  FDescriptor = fd;
  FPort = ntohs(address.sin_port);
  return true;
}

std::unique_ptr<TTcpStream> TTcpListener::Accept(int TimeoutMs) {
  if (FDescriptor < 0 || !Readable(FDescriptor, TimeoutMs)) return nullptr;
  const int fd = accept4(FDescriptor, nullptr, nullptr, SOCK_CLOEXEC);
  if (fd < 0) return nullptr;
  return std::unique_ptr<TTcpStream>(new TTcpStream(fd));
}

void TTcpListener::Close() {
  if (FDescriptor < 0) return;
  close(FDescriptor);
  FDescriptor = -1;
  FPort = 0;
}
