#include "tests/support/ScriptedDevice.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "tests/support/WaitUntil.h"

TScriptedDevice::TScriptedDevice(const std::string& Address, uint16_t Port)
    : FListener(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0)) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(Port);
  const int one = 1;
  ::setsockopt(FListener, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  if (::inet_pton(AF_INET, Address.c_str(), &address.sin_addr) != 1 ||
      ::bind(FListener, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
      ::listen(FListener, 16) != 0 || ::pipe2(FWake, O_CLOEXEC) != 0) {
    ADD_FAILURE() << "cannot listen on " << Address << ":" << Port;
    return;
  }
  FThread = std::thread([this] { Serve(); });
}

TScriptedDevice::~TScriptedDevice() {
  FStop.store(true);
  if (FWake[1] >= 0) (void)::write(FWake[1], "x", 1);
  if (FThread.joinable()) FThread.join();
  CloseConnection();
  for (const int fd : {FListener, FWake[0], FWake[1]})
    if (fd >= 0) ::close(fd);
}

void TScriptedDevice::SetScript(TScript Script) {
  std::lock_guard<std::mutex> guard(FScriptLock);
  FScript = std::move(Script);
}

bool TScriptedDevice::HasConnection() const {
  std::lock_guard<std::mutex> guard(FLock);
  return FConnection >= 0;
}

std::string TScriptedDevice::Received() const {
  std::lock_guard<std::mutex> guard(FLock);
  return FReceived;
}

void TScriptedDevice::ClearReceived() {
  std::lock_guard<std::mutex> guard(FLock);
  FReceived.clear();
}

bool TScriptedDevice::Send(const std::string& Bytes) {
  std::lock_guard<std::mutex> guard(FLock);
  if (FConnection < 0) return false;
  size_t sent = 0;
  while (sent < Bytes.size()) {
    const ssize_t n = ::send(FConnection, Bytes.data() + sent, Bytes.size() - sent, MSG_NOSIGNAL);
    if (n <= 0) return false;
    sent += static_cast<size_t>(n);
    FSent += static_cast<uint64_t>(n);
  }
  return true;
}

void TScriptedDevice::CloseConnection(bool Abortive) {
  std::lock_guard<std::mutex> guard(FLock);
  if (FConnection < 0) return;
  if (Abortive) {
    const linger reset{1, 0};
    ::setsockopt(FConnection, SOL_SOCKET, SO_LINGER, &reset, sizeof reset);
  }
  ::close(FConnection);
  FConnection = -1;
  FPending.clear();
}

bool TScriptedDevice::DropConnection(bool Abortive) {
  if (!WaitUntil([this] { return HasConnection(); })) return false;
  CloseConnection(Abortive);
  return true;
}

void TScriptedDevice::Serve() {
  while (!FStop.load()) {
    int connection = -1;
    {
      std::lock_guard<std::mutex> guard(FLock);
      connection = FConnection;
    }
    pollfd ready[3] = {{FWake[0], POLLIN, 0}, {FListener, POLLIN, 0}, {connection, POLLIN, 0}};
    // A closed connection is polled as -1, which poll skips; the timeout notices closes
    // made by the test.
    if (::poll(ready, 3, 20) <= 0) continue;
    if (ready[1].revents & POLLIN) {
      const int accepted = ::accept4(FListener, nullptr, nullptr, SOCK_CLOEXEC);
      if (accepted >= 0) {
        ++FAccepted;
        if (FRejecting.load()) {
          ::close(accepted);
        } else {
          CloseConnection();
          std::lock_guard<std::mutex> guard(FLock);
          FConnection = accepted;
        }
      }
    }
    if (connection >= 0 && (ready[2].revents & (POLLIN | POLLHUP | POLLERR))) {
      char buffer[4096];
      std::unique_lock<std::mutex> guard(FLock);
      if (FConnection != connection) continue;
      const ssize_t n = ::recv(connection, buffer, sizeof buffer, MSG_DONTWAIT);
      guard.unlock();
      if (n > 0) {
        Handle(std::string(buffer, static_cast<size_t>(n)));
      } else if (n == 0) {
        CloseConnection();
      }
    }
  }
}

void TScriptedDevice::Handle(const std::string& Bytes) {
  std::string pending;
  {
    std::lock_guard<std::mutex> guard(FLock);
    FReceived += Bytes;
    FPending += Bytes;
    pending = FPending;
  }
  // The script keeps its own state between calls: it runs in place, under a lock of its own
  // (Send takes the other one).
  std::unique_lock<std::mutex> scriptGuard(FScriptLock);
  if (!FScript) {
    FHandled += Bytes.size();
    return;
  }
  FScript(*this, pending);
  scriptGuard.unlock();
  FHandled += Bytes.size();
  // Only this thread receives, so nothing came in meanwhile; a connection the script
  // closed takes its bytes with it.
  std::lock_guard<std::mutex> guard(FLock);
  FPending = FConnection >= 0 ? pending : std::string();
}
