#include "platform/ReadySet.h"

#include <unistd.h>

#include <cerrno>
#include <system_error>

namespace {
int CreateEpoll() {
  const int fd = ::epoll_create1(EPOLL_CLOEXEC);
  if (fd < 0) throw std::system_error(errno, std::generic_category(), "epoll set for a message queue");
  return fd;
}
}  // namespace

TReadySet::TReadySet(int WakeFd) : FEpollFd(CreateEpoll()) {
  epoll_event wake{};
  wake.events = EPOLLIN;
  wake.data.u64 = WakeKey;
  if (::epoll_ctl(FEpollFd, EPOLL_CTL_ADD, WakeFd, &wake) != 0) {
    const int error = errno;
    ::close(FEpollFd);
    throw std::system_error(error, std::generic_category(), "epoll set for a message queue");
  }
}

TReadySet::~TReadySet() { ::close(FEpollFd); }

bool TReadySet::Watch(int Fd, uint64_t Key, uint32_t Events, bool WasWatched) {
  epoll_event event{};
  event.events = Events;
  event.data.u64 = Key;
  if (::epoll_ctl(FEpollFd, WasWatched ? EPOLL_CTL_MOD : EPOLL_CTL_ADD, Fd, &event) != 0) return false;
  if (!WasWatched) ++FSockets;
  return true;
}

void TReadySet::Unwatch(int Fd) {
  // Fails only for a descriptor the set no longer has.
  ::epoll_ctl(FEpollFd, EPOLL_CTL_DEL, Fd, nullptr);
  --FSockets;
}

int TReadySet::TakeReady(epoll_event* Ready, int Max) {
  if (FSockets.load() == 0) return 0;
  const int count = ::epoll_wait(FEpollFd, Ready, Max, 0);
  return count < 0 ? 0 : count;
}

int TReadySet::WaitReady(epoll_event* Ready, int Max, int TimeoutMs) {
  const int count = ::epoll_wait(FEpollFd, Ready, Max, TimeoutMs);
  // Interrupted by a signal: nothing taken, as after a time-out.
  return count < 0 ? 0 : count;
}

bool TReadySet::SocketReady() {
  // The wake-up is one member: of any two ready, one is a socket.
  epoll_event ready[2];
  const int count = TakeReady(ready, 2);
  for (int i = 0; i < count; ++i)
    if (ready[i].data.u64 != WakeKey) return true;
  return false;
}
