#pragma once

#include <sys/epoll.h>

#include <atomic>
#include <cstdint>

// What a thread with a message queue waits on: a level-triggered epoll set that holds the
// queue's wake-up (key 0) and the sockets whose events are posted to the thread's windows
// (key: the socket's handle). Its descriptor is readable while any of them is ready, so one
// wake-up of the owner thread both takes a socket's readiness and delivers what it posts.
// Members may be changed from any thread. Nothing outside platform/ includes this header.
class TReadySet {
public:
  static constexpr uint64_t WakeKey = 0;
  // The most members one pass takes; the rest stay ready for the next.
  static constexpr int MaxPerPass = 64;

  // WakeFd stays the caller's; it is watched for reading under WakeKey.
  explicit TReadySet(int WakeFd);
  ~TReadySet();
  TReadySet(const TReadySet&) = delete;
  TReadySet& operator=(const TReadySet&) = delete;

  int Descriptor() const { return FEpollFd; }
  // Watches Fd under Key for Events, adding it when WasWatched is false. Answers whether the
  // system took it.
  bool Watch(int Fd, uint64_t Key, uint32_t Events, bool WasWatched);
  void Unwatch(int Fd);
  // Fills Ready with at most Max members ready now; answers how many.
  int TakeReady(epoll_event* Ready, int Max);
  // As TakeReady, but waits up to TimeoutMs (negative: without limit) for one to be ready.
  int WaitReady(epoll_event* Ready, int Max, int TimeoutMs);
  // A socket is ready; the wake-up alone does not count.
  bool SocketReady();

private:
  const int FEpollFd;
  std::atomic<int> FSockets{0};
};
