#pragma once

#include "base/Exception.h"
#include "platform/Readiness.h"

// Raised when the signals cannot be watched.
class ESignalWatchError : public Exception {
public:
  using Exception::Exception;
};

// Turns the termination requests SIGINT, SIGTERM and SIGHUP into readiness, for a single-threaded
// server that waits with TReadinessWait: while the object lives, the three signals no longer
// end the process but make it readable. Create it before any other thread starts, so that
// every thread inherits the blocked signals. One at a time per process. Requests that were
// not taken are dropped with the object.
class TTerminationSignal : public TPollable {
public:
  TTerminationSignal();
  ~TTerminationSignal() override;
  TTerminationSignal(const TTerminationSignal&) = delete;
  TTerminationSignal& operator=(const TTerminationSignal&) = delete;

  // Takes a waiting request; answers its signal number, or 0 when none waits.
  int Take();

protected:
  int PollDescriptor() const override { return FDescriptor; }

private:
  int FDescriptor;
};
