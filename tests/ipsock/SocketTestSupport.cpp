#include "tests/ipsock/SocketTestSupport.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "tests/support/WaitUntil.h"

namespace {
sockaddr_in Loopback(uint16_t Port) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(Port);
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  return address;
}

uint16_t BoundPort(int Fd) {
  sockaddr_in address{};
  socklen_t length = sizeof address;
  ::getsockname(Fd, reinterpret_cast<sockaddr*>(&address), &length);
  return ntohs(address.sin_port);
}
}  // namespace

TLoopbackListener::TLoopbackListener() : FFd(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0)) {
  const sockaddr_in address = Loopback(0);
  if (FFd < 0 || ::bind(FFd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
      ::listen(FFd, 16) != 0)
    ADD_FAILURE() << "cannot listen on 127.0.0.1";
  FPort = BoundPort(FFd);
}

TLoopbackListener::~TLoopbackListener() {
  if (FFd >= 0) ::close(FFd);
}

int TLoopbackListener::Accept() {
  pollfd ready{FFd, POLLIN, 0};
  if (::poll(&ready, 1, 10000) != 1) return -1;
  return ::accept4(FFd, nullptr, nullptr, SOCK_CLOEXEC);
}

uint16_t ClosedLoopbackPort() {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  const sockaddr_in address = Loopback(0);
  ::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address);
  const uint16_t port = BoundPort(fd);
  ::close(fd);
  return port;
}

uint32_t LoopbackAddress() { return htonl(INADDR_LOOPBACK); }

void SendAll(int Fd, const std::string& Data) {
  size_t done = 0;
  while (done < Data.size()) {
    const ssize_t sent = ::send(Fd, Data.data() + done, Data.size() - done, MSG_NOSIGNAL);
    ASSERT_GT(sent, 0) << "send to the engine's socket failed";
    done += static_cast<size_t>(sent);
  }
}

void CloseAbortively(int Fd) {
  const linger abort{1, 0};
  ::setsockopt(Fd, SOL_SOCKET, SO_LINGER, &abort, sizeof abort);
  ::close(Fd);
}

TEventRecorder::TEventRecorder(uint32_t Msg)
    : FWindow(std::make_unique<TMessageWindow>([this, Msg](uint32_t Message, WPARAM WParam, LPARAM LParam) {
        if (Message == Msg) {
          std::lock_guard<std::mutex> guard(FLock);
          FEvents.push_back({WParam, static_cast<int32_t>(LParam & 0xFFFF), static_cast<int32_t>(LParam >> 16)});
        }
        return LRESULT{0};
      })) {}

std::vector<TSocketEvent> TEventRecorder::Events() const {
  std::lock_guard<std::mutex> guard(FLock);
  return FEvents;
}

size_t TEventRecorder::Count(int32_t Event) const {
  std::lock_guard<std::mutex> guard(FLock);
  return static_cast<size_t>(
      std::count_if(FEvents.begin(), FEvents.end(), [Event](const TSocketEvent& e) { return e.Event == Event; }));
}

bool TEventRecorder::WaitFor(int32_t Event, size_t Wanted) const {
  return WaitUntil([&] { return Count(Event) >= Wanted; });
}

TTemporaryFolder::TTemporaryFolder() : FPrevious(std::filesystem::current_path().string()) {
  std::string pattern = (std::filesystem::temp_directory_path() / "ipsock-test-XXXXXX").string();
  if (::mkdtemp(pattern.data()) == nullptr) ADD_FAILURE() << "cannot create a temporary folder";
  FPath = pattern;
  std::filesystem::current_path(FPath);
}

TTemporaryFolder::~TTemporaryFolder() {
  std::filesystem::current_path(FPrevious);
  std::error_code ignored;
  std::filesystem::remove_all(FPath, ignored);
}

