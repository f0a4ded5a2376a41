#include "platform/Readiness.h"

#include <sys/epoll.h>
#include <unistd.h>

#include <array>
#include <cerrno>

#include "base/Format.h"
#include "platform/SystemError.h"

namespace {
// The most sources one wait answers; the rest stay ready for the next.
constexpr int MaxPerWait = 256;

[[noreturn]] void Raise(const char* What) {
  throw EReadinessError(Format("%s failed: %s", What, SysErrorMessage(errno).c_str()));
}

uint32_t EventsOf(unsigned Interest) {
  uint32_t events = 0;
  if (Interest & TReadinessWait::riRead) events |= EPOLLIN;
  if (Interest & TReadinessWait::riWrite) events |= EPOLLOUT;
  return events;
}
}  // namespace

TReadinessWait::TReadinessWait() : FDescriptor(epoll_create1(EPOLL_CLOEXEC)) {
  if (FDescriptor < 0) Raise("Creating a readiness set");
}

TReadinessWait::~TReadinessWait() { close(FDescriptor); }

void TReadinessWait::Watch(const TPollable& Source, unsigned Interest, uint64_t Key) {
  const int descriptor = Source.PollDescriptor();
  if (descriptor < 0) return;
  epoll_event event{};
  event.events = EventsOf(Interest);
  event.data.u64 = Key;
  if (epoll_ctl(FDescriptor, EPOLL_CTL_ADD, descriptor, &event) == 0) return;
  if (errno != EEXIST || epoll_ctl(FDescriptor, EPOLL_CTL_MOD, descriptor, &event) != 0) Raise("Watching a socket");
}

void TReadinessWait::Unwatch(const TPollable& Source) {
  const int descriptor = Source.PollDescriptor();
  // Not watched (ENOENT) is fine: the call only makes sure.
  if (descriptor >= 0) epoll_ctl(FDescriptor, EPOLL_CTL_DEL, descriptor, nullptr);
}

const std::vector<TReadinessWait::TReady>& TReadinessWait::Wait(int TimeoutMs) {
  FReady.clear();
  std::array<epoll_event, MaxPerWait> events;
  const int count = epoll_wait(FDescriptor, events.data(), MaxPerWait, TimeoutMs < 0 ? -1 : TimeoutMs);
  if (count < 0 && errno != EINTR) Raise("Waiting for sockets");
  for (int i = 0; i < count; ++i) {
    const uint32_t returned = events[i].events;
    FReady.push_back(
        {events[i].data.u64, (returned & (EPOLLIN | EPOLLHUP | EPOLLERR)) != 0, (returned & (EPOLLOUT | EPOLLERR)) != 0});
  }
  return FReady;
}
