#include "platform/Readiness.h"

#include <poll.h>

#include <cerrno>

#include "base/Format.h"
#include "platform/SystemError.h"

void TReadinessWait::Clear() { FEntries.clear(); }

size_t TReadinessWait::Add(const TPollable& Source, unsigned Interest) {
  short events = 0;
  if (Interest & riRead) events |= POLLIN;
  if (Interest & riWrite) events |= POLLOUT;
  FEntries.push_back({Source.PollDescriptor(), events, 0});
  return FEntries.size() - 1;
}

bool TReadinessWait::Wait(int TimeoutMs) {
  std::vector<pollfd> waits;
  waits.reserve(FEntries.size());
  for (const TEntry& entry : FEntries) waits.push_back({entry.Descriptor, entry.Events, 0});
  const int ready = poll(waits.data(), waits.size(), TimeoutMs < 0 ? -1 : TimeoutMs);
  if (ready < 0 && errno != EINTR)
    throw EReadinessError(Format("Waiting for sockets failed: %s", SysErrorMessage(errno).c_str()));
  for (size_t i = 0; i < FEntries.size(); ++i) FEntries[i].Returned = ready > 0 ? waits[i].revents : 0;
  return ready > 0;
}

bool TReadinessWait::Readable(size_t Index) const { return FEntries.at(Index).Returned & (POLLIN | POLLHUP | POLLERR); }

bool TReadinessWait::Writable(size_t Index) const { return FEntries.at(Index).Returned & (POLLOUT | POLLERR); }

bool TReadinessWait::Failed(size_t Index) const { return FEntries.at(Index).Returned & (POLLERR | POLLNVAL); }
