#pragma once

#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

#include "platform/SocketLibrary.h"

class TReadySet;
struct epoll_event;

// The socket library's handle table and its readiness. Handles are small integers that are
// never reused, so a readiness message that arrives after its socket was closed can never
// reach a newer socket on the same descriptor. Each registered event is posted once and
// waits for the matching call to re-arm it, as Winsock does.
//
// A registered socket is watched in the ready set of its window's thread, for exactly the
// events that may be posted now; that thread takes the readiness when it wakes for its
// messages and posts the events to itself. So a reply wakes one thread, the one that acts on
// it, and a re-arm (every recv does one) changes the set from the calling thread and wakes
// nobody.
class TSocketPoller {
public:
  static TSocketPoller& Instance();
  ~TSocketPoller();
  TSocketPoller(const TSocketPoller&) = delete;
  TSocketPoller& operator=(const TSocketPoller&) = delete;

  // A socket's descriptor, kept open while any user holds it, so that a descriptor number
  // cannot be reused under a call that is still running on another thread.
  class TDescriptor {
  public:
    explicit TDescriptor(int Fd, int Type) : Fd(Fd), Type(Type) {}
    ~TDescriptor();
    TDescriptor(const TDescriptor&) = delete;
    TDescriptor& operator=(const TDescriptor&) = delete;
    const int Fd;
    const int Type;
    // Set by a shutdown for sending; the system then answers a send as it would for a
    // connection the peer broke, where Winsock tells the two apart.
    std::atomic<bool> SendShutDown{false};
    // recv and send calls running now; each ends with Received or Sent.
    std::atomic<int> CallsUnderWay{0};
  };
  using TDescriptorRef = std::shared_ptr<TDescriptor>;

  TSocket Add(int Fd, int Type);
  // nullptr for a handle that is not open.
  TDescriptorRef Find(TSocket Handle) const;
  // Ends the registration and drops the handle; false when it was not open.
  bool Remove(TSocket Handle);
  // Answers 0 or a Winsock error code. Mask 0 ends the registration.
  int Select(TSocket Handle, HWND Window, uint32_t Msg, int32_t Mask);
  bool IsAsync(TSocket Handle) const;
  // 0 when an asynchronous socket may start connecting; WSAEALREADY while a connect is under
  // way, WSAEISCONN once connected (the system would answer a repeated connect with success).
  int ConnectRefusal(TSocket Handle) const;
  // The socket's last connect failed: Winsock lets it connect again, the system only after
  // the failed association is dissolved.
  bool LastConnectFailed(TSocket Handle) const;

  // Answers 0 when a shutdown may reach the system; WSAENOTCONN for an asynchronous stream
  // socket without a connection, which Winsock leaves alone (the system would abort a
  // connect under way and report it).
  int ShutdownRefusal(TSocket Handle) const;

  // The end of a recv or send that counted itself in CallsUnderWay; Errno is its failure,
  // 0 after success. Any recv re-arms read and out-of-band, a send that would block re-arms
  // write. A failure that ends the connection is remembered for the close event: the
  // system reports it once, to whichever call comes first, and the evaluation then sees
  // only the end of the stream.
  void Received(TSocket Handle, int Errno);
  void Sent(TSocket Handle, int Errno);
  // An asynchronous connect is under way, or finished at once with Error (0 for success);
  // either way the outcome is posted as the connect event.
  void ConnectStarted(TSocket Handle, std::optional<int> ImmediateError);
  // On the set's thread: evaluates the sockets ready in Set and posts their events.
  void ServeReady(TReadySet& Set);
  // The same for Count members just taken from Set.
  void ServeTaken(TReadySet& Set, const epoll_event* Ready, int Count);

private:
  struct TEntry;
  struct TPost {
    HWND Window;
    uint32_t Msg;
    TSocket Handle;
    int32_t Event;
    int Error;
  };
  using TPosts = std::vector<TPost>;

  TSocketPoller();
  // The epoll events Entry is to be watched for now; 0 leaves it out of every set.
  static uint32_t Interest(const TEntry& Entry);
  // Brings the ready sets in line with Interest(Entry) and its window; under FLock.
  // KeepRead lets the set go on watching for a read that has just been posted.
  static void Watch(TSocket Handle, TEntry& Entry, bool KeepRead);
  static void Unwatch(TEntry& Entry);
  static void RememberConnectionError(TEntry& Entry, int Errno);
  void ConnectCompleted(TSocket Handle, TEntry& Entry, int Error, TPosts& Posts);
  // Parks the socket while a recv or send is under way; true when it did.
  static bool WaitForCallsUnderWay(TEntry& Entry);
  void Evaluate(TSocket Handle, TEntry& Entry, short Revents, TPosts& Posts);
  static void Queue(TSocket Handle, const TEntry& Entry, int32_t Event, int Error, TPosts& Posts);
  static void Deliver(const TPosts& Posts);

  mutable std::mutex FLock;
  std::map<TSocket, std::shared_ptr<TEntry>> FEntries;
  TSocket FNextHandle = 1;
};
