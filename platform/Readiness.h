#pragma once

#include <cstddef>
#include <vector>

#include "base/Exception.h"

// Raised when the system cannot wait at all (bad arguments, no memory).
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
  // The system's handle; negative when there is none (such an entry never becomes ready).
  virtual int PollDescriptor() const = 0;
};

// Waits until at least one of several pollables is ready. Entries are added for one wait
// and answered by the index Add gave them.
class TReadinessWait {
public:
  enum TInterest : unsigned { riRead = 1, riWrite = 2 };

  void Clear();
  size_t Add(const TPollable& Source, unsigned Interest);
  // Waits at most TimeoutMs (negative: without limit); answers whether any entry is ready.
  // A signal that arrives meanwhile ends the wait early with nothing ready.
  bool Wait(int TimeoutMs);
  bool Readable(size_t Index) const;
  bool Writable(size_t Index) const;
  // An error is pending on the handle, or it is not open.
  bool Failed(size_t Index) const;

private:
  struct TEntry {
    int Descriptor;
    short Events;
    short Returned;
  };
  std::vector<TEntry> FEntries;
};
