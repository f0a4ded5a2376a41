#include "platform/SocketPoller.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>
#include <utility>
#include <vector>

#include "platform/MessageQueue.h"
#include "platform/ReadySet.h"
#include "platform/SocketErrorMap.h"

struct TSocketPoller::TEntry {
  TDescriptorRef Descriptor;
  HWND Window = 0;
  uint32_t Msg = 0;
  int32_t Mask = 0;
  int32_t Armed = 0;  // events that may be posted now
  bool Async = false;
  bool Established = false;
  bool Connecting = false;
  bool Parked = false;    // hang-up seen with unread data or a call under way: waits for a re-arm
  bool Finished = false;  // close or failed connect posted: nothing more to report
  int ConnectionError = 0;  // Winsock code of the failure that ended the connection
  // The ready set of the window's thread, and the set (that one, or the one of the window
  // registered before) that watches the socket now, for Watched.
  std::shared_ptr<TReadySet> Home;
  std::shared_ptr<TReadySet> WatchedIn;
  uint32_t Watched = 0;
};

namespace {
bool HasPeer(int Fd) {
  sockaddr_storage peer{};
  socklen_t length = sizeof peer;
  return ::getpeername(Fd, reinterpret_cast<sockaddr*>(&peer), &length) == 0;
}

int PendingSocketError(int Fd) {
  int error = 0;
  socklen_t length = sizeof error;
  if (::getsockopt(Fd, SOL_SOCKET, SO_ERROR, &error, &length) != 0) return errno;
  return error;
}

// What the set watches a socket for while its read may be posted.
constexpr uint32_t ReadEvents = POLLIN | POLLRDHUP;

bool EndsTheConnection(int Errno) {
  return Errno == ECONNRESET || Errno == ECONNABORTED || Errno == ETIMEDOUT || Errno == ENETRESET ||
         Errno == EHOSTUNREACH || Errno == ENETUNREACH;
}
}  // namespace

TSocketPoller::TDescriptor::~TDescriptor() { ::close(Fd); }

TSocketPoller& TSocketPoller::Instance() {
  static TSocketPoller poller;
  return poller;
}

TSocketPoller::TSocketPoller() = default;

TSocketPoller::~TSocketPoller() = default;

TSocket TSocketPoller::Add(int Fd, int Type) {
  auto entry = std::make_shared<TEntry>();
  entry->Descriptor = std::make_shared<TDescriptor>(Fd, Type);
  std::lock_guard<std::mutex> guard(FLock);
  const TSocket handle = FNextHandle++;
  FEntries.emplace(handle, std::move(entry));
  return handle;
}

TSocketPoller::TDescriptorRef TSocketPoller::Find(TSocket Handle) const {
  std::lock_guard<std::mutex> guard(FLock);
  const auto found = FEntries.find(Handle);
  return found == FEntries.end() ? nullptr : found->second->Descriptor;
}

bool TSocketPoller::Remove(TSocket Handle) {
  std::shared_ptr<TEntry> removed;
  {
    std::lock_guard<std::mutex> guard(FLock);
    const auto found = FEntries.find(Handle);
    if (found == FEntries.end()) return false;
    removed = std::move(found->second);
    FEntries.erase(found);
    Unwatch(*removed);
  }
  // A readiness already taken by the window's thread finds no entry for the handle.
  return true;
}

int TSocketPoller::Select(TSocket Handle, HWND Window, uint32_t Msg, int32_t Mask) {
  std::lock_guard<std::mutex> guard(FLock);
  const auto found = FEntries.find(Handle);
  if (found == FEntries.end()) return WSAENOTSOCK;
  if (Mask != 0 && Window == 0) return WSAEINVAL;
  TEntry& entry = *found->second;
  const int fd = entry.Descriptor->Fd;
  if (!entry.Async) {
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags < 0 || ::fcntl(fd, F_SETFL, flags | O_NONBLOCK) < 0) return WinSockErrorFromErrno(errno);
    entry.Async = true;
  }
  entry.Window = Window;
  entry.Msg = Msg;
  entry.Mask = Mask;
  entry.Parked = false;
  if (!entry.Connecting && !entry.Finished)
    entry.Established = entry.Descriptor->Type == SOCK_DGRAM || HasPeer(fd);
  // A connected socket is writable at once, so write is armed only once there is a peer.
  entry.Armed = entry.Established ? Mask : (Mask & ~FD_WRITE);
  entry.Home = Mask == 0 ? nullptr : WindowReadySet(Window);
  Watch(Handle, entry, false);
  return 0;
}

bool TSocketPoller::IsAsync(TSocket Handle) const {
  std::lock_guard<std::mutex> guard(FLock);
  const auto found = FEntries.find(Handle);
  return found != FEntries.end() && found->second->Async;
}

int TSocketPoller::ConnectRefusal(TSocket Handle) const {
  std::lock_guard<std::mutex> guard(FLock);
  const auto found = FEntries.find(Handle);
  if (found == FEntries.end()) return WSAENOTSOCK;
  const TEntry& entry = *found->second;
  if (entry.Connecting) return WSAEALREADY;
  if (entry.Established && entry.Descriptor->Type == SOCK_STREAM && !entry.Finished) return WSAEISCONN;
  return 0;
}

bool TSocketPoller::LastConnectFailed(TSocket Handle) const {
  std::lock_guard<std::mutex> guard(FLock);
  const auto found = FEntries.find(Handle);
  return found != FEntries.end() && found->second->Finished && !found->second->Established;
}

int TSocketPoller::ShutdownRefusal(TSocket Handle) const {
  std::lock_guard<std::mutex> guard(FLock);
  const auto found = FEntries.find(Handle);
  if (found == FEntries.end()) return WSAENOTSOCK;
  const TEntry& entry = *found->second;
  const bool stream = entry.Descriptor->Type == SOCK_STREAM;
  return entry.Async && stream && (entry.Connecting || !entry.Established) ? WSAENOTCONN : 0;
}

void TSocketPoller::RememberConnectionError(TEntry& Entry, int Errno) {
  if (Entry.ConnectionError == 0 && EndsTheConnection(Errno)) Entry.ConnectionError = WinSockErrorFromErrno(Errno);
}

void TSocketPoller::Received(TSocket Handle, int Errno) {
  std::lock_guard<std::mutex> guard(FLock);
  const auto found = FEntries.find(Handle);
  if (found == FEntries.end()) return;
  TEntry& entry = *found->second;
  // Before the call counts as ended, so that the evaluation finds it with the end of the
  // stream.
  RememberConnectionError(entry, Errno);
  --entry.Descriptor->CallsUnderWay;
  entry.Armed |= entry.Mask & (FD_READ | FD_OOB);
  entry.Parked = false;
  // Nobody is woken: the ready set alone learns of the re-arm.
  Watch(Handle, entry, false);
}

void TSocketPoller::Sent(TSocket Handle, int Errno) {
  std::lock_guard<std::mutex> guard(FLock);
  const auto found = FEntries.find(Handle);
  if (found == FEntries.end()) return;
  TEntry& entry = *found->second;
  RememberConnectionError(entry, Errno);
  --entry.Descriptor->CallsUnderWay;
  entry.Parked = false;
  if ((Errno == EAGAIN || Errno == EWOULDBLOCK) && (entry.Mask & FD_WRITE) != 0) entry.Armed |= FD_WRITE;
  Watch(Handle, entry, false);
}

void TSocketPoller::ConnectStarted(TSocket Handle, std::optional<int> ImmediateError) {
  TPosts posts;
  {
    std::lock_guard<std::mutex> guard(FLock);
    const auto found = FEntries.find(Handle);
    if (found == FEntries.end()) return;
    TEntry& entry = *found->second;
    entry.Connecting = true;
    entry.Finished = false;
    entry.ConnectionError = 0;
    // A connect that finished at once is reported as one that finished in the background.
    if (ImmediateError) ConnectCompleted(Handle, entry, *ImmediateError, posts);
    Watch(Handle, entry, false);
  }
  Deliver(posts);
}

void TSocketPoller::Queue(TSocket Handle, const TEntry& Entry, int32_t Event, int Error,
                          TPosts& Posts) {
  if ((Entry.Mask & Event) != 0) Posts.push_back({Entry.Window, Entry.Msg, Handle, Event, Error});
}

void TSocketPoller::Deliver(const TPosts& Posts) {
  for (const TPost& post : Posts)
    PostMessage(post.Window, post.Msg, post.Handle,
                static_cast<LPARAM>(static_cast<uint32_t>(post.Event) |
                                    (static_cast<uint32_t>(post.Error) << 16)));
}

namespace {
// What to watch a registered socket for; 0 leaves it out of the poll until something
// re-arms it (an unconnected or hung-up socket would otherwise wake the thread forever).
short WantedEvents(bool Connecting, bool Established, int32_t Mask, int32_t Armed) {
  if (Connecting) return POLLOUT;
  if (!Established) return 0;
  short events = 0;
  if ((Mask & FD_READ) != 0) {
    // End of stream shows as readable, so close is noticed once read is re-armed; the
    // hang-up flag with it tells the end from data without a look at the stream.
    if ((Armed & FD_READ) != 0) events |= POLLIN | POLLRDHUP;
  } else if ((Mask & FD_CLOSE) != 0) {
    events |= POLLRDHUP;
  }
  if ((Armed & Mask & FD_WRITE) != 0) events |= POLLOUT;
  if ((Armed & Mask & FD_OOB) != 0) events |= POLLPRI;
  return events;
}
}  // namespace

uint32_t TSocketPoller::Interest(const TEntry& Entry) {
  if (!Entry.Async || Entry.Mask == 0 || Entry.Finished || Entry.Parked) return 0;
  return static_cast<uint16_t>(WantedEvents(Entry.Connecting, Entry.Established, Entry.Mask, Entry.Armed));
}

void TSocketPoller::Watch(TSocket Handle, TEntry& Entry, bool KeepRead) {
  // Level-triggered: a socket stays in the set only while one of its events may be posted,
  // or a hang-up or an error, which epoll reports whatever it is asked for, would wake the
  // window's thread again and again.
  const uint32_t wanted = Entry.Home ? Interest(Entry) : 0;
  // Except a read just posted: its recv, mostly in the same pass, re-arms it, and until then
  // the set may go on watching for it, which spares two changes of the set per reply. What
  // the set reports meanwhile is dropped when it is taken, and the set is changed then.
  if (KeepRead && !Entry.Finished && !Entry.Parked && Entry.WatchedIn == Entry.Home &&
      Entry.Watched == (wanted | ReadEvents))
    return;
  if (Entry.WatchedIn && (wanted == 0 || Entry.WatchedIn != Entry.Home)) Unwatch(Entry);
  if (wanted == 0 || wanted == Entry.Watched) return;
  // Fails only for a descriptor the system no longer has, which has nothing to report.
  if (Entry.Home->Watch(Entry.Descriptor->Fd, static_cast<uint64_t>(Handle), wanted, Entry.Watched != 0)) {
    Entry.WatchedIn = Entry.Home;
    Entry.Watched = wanted;
  }
}

void TSocketPoller::Unwatch(TEntry& Entry) {
  if (!Entry.WatchedIn) return;
  Entry.WatchedIn->Unwatch(Entry.Descriptor->Fd);
  Entry.WatchedIn.reset();
  Entry.Watched = 0;
}

void TSocketPoller::ConnectCompleted(TSocket Handle, TEntry& Entry, int Error, TPosts& Posts) {
  Entry.Connecting = false;
  if (Error != 0) {
    Entry.Finished = true;
    Queue(Handle, Entry, FD_CONNECT, Error, Posts);
    return;
  }
  Entry.Established = true;
  Queue(Handle, Entry, FD_CONNECT, 0, Posts);
  // Winsock follows a successful connect with one write event, so the socket may send.
  Queue(Handle, Entry, FD_WRITE, 0, Posts);
  Entry.Armed = Entry.Mask & ~FD_WRITE;
}

bool TSocketPoller::WaitForCallsUnderWay(TEntry& Entry) {
  // A recv or send under way may just have taken a reset from the system: the close waits
  // until the call has told what it got; its end re-arms the socket.
  if (Entry.Descriptor->CallsUnderWay == 0) return false;
  Entry.Parked = true;
  return true;
}

void TSocketPoller::Evaluate(TSocket Handle, TEntry& Entry, short Revents, TPosts& Posts) {
  const int fd = Entry.Descriptor->Fd;
  if (Entry.Connecting) {
    if ((Revents & (POLLOUT | POLLERR | POLLHUP)) == 0) return;
    const int error = PendingSocketError(fd);
    ConnectCompleted(Handle, Entry, error == 0 ? 0 : WinSockErrorFromErrno(error), Posts);
    return;
  }
  if ((Revents & (POLLIN | POLLRDHUP | POLLHUP | POLLERR)) != 0) {
    // Readable without a hang-up or an error: data waits.
    const bool dataOnly = (Revents & (POLLRDHUP | POLLHUP | POLLERR)) == 0;
    char probe;
    const ssize_t peeked = dataOnly ? 1 : ::recv(fd, &probe, 1, MSG_PEEK | MSG_DONTWAIT);
    const int peekError = dataOnly ? 0 : errno;
    const bool datagram = Entry.Descriptor->Type == SOCK_DGRAM;
    if (peeked > 0 || (peeked == 0 && datagram)) {
      if ((Entry.Mask & FD_READ) == 0) {
        if ((Revents & (POLLRDHUP | POLLHUP | POLLERR)) != 0) {
          if (WaitForCallsUnderWay(Entry)) return;
          Entry.Finished = true;
          const int error = PendingSocketError(fd);
          Queue(Handle, Entry, FD_CLOSE, error == 0 ? Entry.ConnectionError : WinSockErrorFromErrno(error), Posts);
        }
      } else if ((Entry.Armed & FD_READ) != 0) {
        Entry.Armed &= ~FD_READ;
        Queue(Handle, Entry, FD_READ, 0, Posts);
      } else {
        Entry.Parked = true;
      }
    } else if (peeked == 0) {
      if (WaitForCallsUnderWay(Entry)) return;
      // A reset that a recv or send took from the system is still a reset.
      Entry.Finished = true;
      Queue(Handle, Entry, FD_CLOSE, Entry.ConnectionError, Posts);
      return;
    } else if (peekError != EAGAIN && peekError != EWOULDBLOCK && peekError != EINTR) {
      Entry.Finished = true;
      Queue(Handle, Entry, FD_CLOSE, WinSockErrorFromErrno(peekError), Posts);
      return;
    }
  }
  if ((Revents & POLLOUT) != 0 && (Entry.Armed & FD_WRITE) != 0 && !Entry.Finished) {
    Entry.Armed &= ~FD_WRITE;
    Queue(Handle, Entry, FD_WRITE, 0, Posts);
  }
  if ((Revents & POLLPRI) != 0 && (Entry.Armed & FD_OOB) != 0 && !Entry.Finished) {
    Entry.Armed &= ~FD_OOB;
    Queue(Handle, Entry, FD_OOB, 0, Posts);
  }
}

void TSocketPoller::ServeReady(TReadySet& Set) {
  epoll_event ready[TReadySet::MaxPerPass];
  ServeTaken(Set, ready, Set.TakeReady(ready, TReadySet::MaxPerPass));
}

void TSocketPoller::ServeTaken(TReadySet& Set, const epoll_event* Ready, int Count) {
  // Only the wake-up, or nothing: no socket to look up.
  if (Count == 0 || (Count == 1 && Ready[0].data.u64 == TReadySet::WakeKey)) return;
  // The thread's own, kept from pass to pass: a reply's pass allocates nothing for its post.
  // Deliver only posts, so no pass of this thread runs inside another.
  thread_local TPosts posts;
  posts.clear();
  {
    std::lock_guard<std::mutex> guard(FLock);
    for (int i = 0; i < Count; ++i) {
      const uint64_t key = Ready[i].data.u64;
      if (key == TReadySet::WakeKey) continue;
      const auto found = FEntries.find(static_cast<TSocket>(key));
      // Closed meanwhile, or moved to another window's set: nothing to report from here.
      if (found == FEntries.end() || found->second->WatchedIn.get() != &Set) continue;
      TEntry& entry = *found->second;
      // What the set still watches for a read already posted reports nothing new (see
      // Watch), nor does a hang-up of a socket that is not to be watched at all now. The
      // epoll and poll event bits are the same numbers.
      const uint32_t wanted = Interest(entry);
      const uint32_t reported = wanted == 0 ? 0 : Ready[i].events & (wanted | POLLERR | POLLHUP);
      if (reported != Ready[i].events) Watch(found->first, entry, false);
      if (reported == 0) continue;
      Evaluate(found->first, entry, static_cast<short>(reported), posts);
      Watch(found->first, entry, true);
    }
  }
  Deliver(posts);
}

void ServeReadySockets(TReadySet& Set) { TSocketPoller::Instance().ServeReady(Set); }

void ServeTakenSockets(TReadySet& Set, const epoll_event* Ready, int Count) {
  TSocketPoller::Instance().ServeTaken(Set, Ready, Count);
}
