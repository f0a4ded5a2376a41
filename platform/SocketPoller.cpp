#include "platform/SocketPoller.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>
#include <utility>
#include <vector>

#include "platform/SocketErrorMap.h"
#include "platform/ThreadInfo.h"

struct TSocketPoller::TEntry {
  TDescriptorRef Descriptor;
  HWND Window = 0;
  uint32_t Msg = 0;
  int32_t Mask = 0;
  int32_t Armed = 0;  // events that may be posted now
  bool Async = false;
  bool Established = false;
  bool Connecting = false;
  std::optional<int> ImmediateConnect;
  bool Parked = false;    // hang-up seen with unread data or a call under way: waits for a re-arm
  bool Finished = false;  // close or failed connect posted: nothing more to report
  int ConnectionError = 0;  // Winsock code of the failure that ended the connection
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

TSocketPoller::TSocketPoller() : FWakeFd(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {
  if (FWakeFd < 0) throw std::system_error(errno, std::generic_category(), "socket poller wake-up");
}

TSocketPoller::~TSocketPoller() {
  {
    std::lock_guard<std::mutex> guard(FLock);
    FStopping = true;
  }
  Wake();
  if (FThread.joinable()) FThread.join();
  FEntries.clear();
  ::close(FWakeFd);
}

void TSocketPoller::Wake() {
  const uint64_t one = 1;
  // A full counter already wakes the thread; nothing else can fail here.
  [[maybe_unused]] const ssize_t written = ::write(FWakeFd, &one, sizeof one);
}

void TSocketPoller::EnsureThread() {
  if (!FThread.joinable()) FThread = std::thread([this] { Run(); });
}

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
  }
  // The poll thread lets go of the descriptor once it wakes; it is closed then.
  Wake();
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
  if (Mask != 0) EnsureThread();
  Wake();
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
  // Before the call counts as ended, so that the poll thread finds it with the end of the
  // stream.
  RememberConnectionError(entry, Errno);
  --entry.Descriptor->CallsUnderWay;
  const int32_t rearmed = entry.Mask & (FD_READ | FD_OOB);
  if ((entry.Armed & rearmed) == rearmed && !entry.Parked) return;
  entry.Armed |= rearmed;
  entry.Parked = false;
  Wake();
}

void TSocketPoller::Sent(TSocket Handle, int Errno) {
  std::lock_guard<std::mutex> guard(FLock);
  const auto found = FEntries.find(Handle);
  if (found == FEntries.end()) return;
  TEntry& entry = *found->second;
  RememberConnectionError(entry, Errno);
  --entry.Descriptor->CallsUnderWay;
  const bool wasParked = std::exchange(entry.Parked, false);
  if ((Errno == EAGAIN || Errno == EWOULDBLOCK) && (entry.Mask & FD_WRITE) != 0) {
    entry.Armed |= FD_WRITE;
    Wake();
  } else if (wasParked) {
    Wake();
  }
}

void TSocketPoller::ConnectStarted(TSocket Handle, std::optional<int> ImmediateError) {
  std::lock_guard<std::mutex> guard(FLock);
  const auto found = FEntries.find(Handle);
  if (found == FEntries.end()) return;
  TEntry& entry = *found->second;
  entry.Connecting = true;
  entry.Finished = false;
  entry.ConnectionError = 0;
  entry.ImmediateConnect = ImmediateError;
  Wake();
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
    // End of stream shows as readable, so close is noticed once read is re-armed.
    if ((Armed & FD_READ) != 0) events |= POLLIN;
  } else if ((Mask & FD_CLOSE) != 0) {
    events |= POLLRDHUP;
  }
  if ((Armed & Mask & FD_WRITE) != 0) events |= POLLOUT;
  if ((Armed & Mask & FD_OOB) != 0) events |= POLLPRI;
  return events;
}
}  // namespace

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
    char probe;
    const ssize_t peeked = ::recv(fd, &probe, 1, MSG_PEEK | MSG_DONTWAIT);
    const int peekError = errno;
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

void TSocketPoller::Run() {
  SetCurrentThreadName("SocketPoller");
  struct TWatched {
    TSocket Handle;
    std::shared_ptr<TEntry> Entry;
  };
  std::vector<TWatched> watched;
  std::vector<pollfd> fds;
  TPosts posts;
  for (;;) {
    watched.clear();
    fds.assign(1, pollfd{FWakeFd, POLLIN, 0});
    posts.clear();
    {
      std::lock_guard<std::mutex> guard(FLock);
      if (FStopping) return;
      for (auto& [handle, entry] : FEntries) {
        if (!entry->Async || entry->Mask == 0 || entry->Finished) continue;
        if (entry->ImmediateConnect) {
          const int error = *entry->ImmediateConnect;
          entry->ImmediateConnect.reset();
          ConnectCompleted(handle, *entry, error, posts);
        }
        if (entry->Parked || entry->Finished) continue;
        const short events = WantedEvents(entry->Connecting, entry->Established, entry->Mask, entry->Armed);
        if (events == 0) continue;
        watched.push_back({handle, entry});
        fds.push_back(pollfd{entry->Descriptor->Fd, events, 0});
      }
    }
    Deliver(posts);
    posts.clear();
    if (::poll(fds.data(), fds.size(), -1) < 0) continue;
    if ((fds[0].revents & POLLIN) != 0) {
      uint64_t count;
      [[maybe_unused]] const ssize_t drained = ::read(FWakeFd, &count, sizeof count);
    }
    {
      std::lock_guard<std::mutex> guard(FLock);
      for (size_t i = 0; i < watched.size(); ++i) {
        const short revents = fds[i + 1].revents;
        if (revents == 0) continue;
        const auto found = FEntries.find(watched[i].Handle);
        // Closed or re-registered meanwhile: this readiness belongs to nobody now.
        if (found == FEntries.end() || found->second != watched[i].Entry || found->second->Mask == 0)
          continue;
        Evaluate(watched[i].Handle, *found->second, revents, posts);
      }
    }
    Deliver(posts);
  }
}
