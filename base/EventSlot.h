#pragma once

#include <functional>
#include <mutex>
#include <utility>

// One event of a component whose handlers are assigned on one thread and raised on others
// (a window thread, a sender's, a worker), so the slot is read and written under its own
// lock and a raise calls a copy taken under it. The lock is never held during a call.
template <class Handler>
class TEventSlot {
public:
  void Set(Handler Value) {
    std::lock_guard<std::mutex> guard(FLock);
    FHandler = std::move(Value);
  }
  void Clear() { Set(Handler()); }
  Handler Get() const {
    std::lock_guard<std::mutex> guard(FLock);
    return FHandler;
  }
  bool Assigned() const {
    std::lock_guard<std::mutex> guard(FLock);
    return static_cast<bool>(FHandler);
  }
  // Calls the handler, if one is assigned, with Args.
  template <class... Args>
  void Raise(Args&&... Arguments) const {
    if (const Handler handler = Get()) handler(std::forward<Args>(Arguments)...);
  }

private:
  mutable std::mutex FLock;
  Handler FHandler;
};
