#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "base/Exception.h"

// Raised when the system cannot wait at all (no descriptors left, bad arguments).
class EReadinessError : public Exception {
public:
  using Exception::Exception;
};

// Something whose readiness can be waited for: a socket, a signal source.
class TPollable {
public:
  virtual ~TPollable() = default;

protected:
  friend class TReadinessWait;
  // The system's handle; negative when there is none (such a source is never ready).
  virtual int PollDescriptor() const = 0;
};

// Waits until at least one of several pollables is ready. A source stays watched, under the
// key its owner gave it, until it is unwatched or its handle closes, so that a wait costs what
// is ready rather than what is watched.
class TReadinessWait {
public:
  enum TInterest : unsigned { riRead = 1, riWrite = 2 };
  struct TReady {
    uint64_t Key;
    bool Readable;  // data, the peer's close, or an error waits
    bool Writable;
  };

  TReadinessWait();
  ~TReadinessWait();
  TReadinessWait(const TReadinessWait&) = delete;
  TReadinessWait& operator=(const TReadinessWait&) = delete;

  // Watches Source for Interest under Key, or changes the interest and key of a watched one.
  void Watch(const TPollable& Source, unsigned Interest, uint64_t Key);
  // Before the owner closes Source's handle itself; nothing when it is not watched.
  void Unwatch(const TPollable& Source);
  // Waits at most TimeoutMs (negative: without limit) and answers the sources ready then,
  // valid until the next wait. A signal that arrives meanwhile ends the wait early with none.
  const std::vector<TReady>& Wait(int TimeoutMs);

private:
  const int FDescriptor;
  std::vector<TReady> FReady;
};
