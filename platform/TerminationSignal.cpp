#include "platform/TerminationSignal.h"

#include <signal.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <cerrno>

#include "base/Format.h"
#include "platform/SystemError.h"

namespace {
sigset_t TerminationSet() {
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, SIGINT);
  sigaddset(&set, SIGTERM);
  sigaddset(&set, SIGHUP);
  return set;
}
}  // namespace

TTerminationSignal::TTerminationSignal() {
  const sigset_t set = TerminationSet();
  pthread_sigmask(SIG_BLOCK, &set, nullptr);
  FDescriptor = signalfd(-1, &set, SFD_NONBLOCK | SFD_CLOEXEC);
  if (FDescriptor < 0) {
    const int error = errno;
    pthread_sigmask(SIG_UNBLOCK, &set, nullptr);
    throw ESignalWatchError(Format("Cannot watch for termination signals: %s", SysErrorMessage(error).c_str()));
  }
}

TTerminationSignal::~TTerminationSignal() {
  while (Take() != 0) {
  }
  close(FDescriptor);
  const sigset_t set = TerminationSet();
  pthread_sigmask(SIG_UNBLOCK, &set, nullptr);
}

int TTerminationSignal::Take() {
  signalfd_siginfo info{};
  for (;;) {
    const ssize_t got = read(FDescriptor, &info, sizeof info);
    if (got == static_cast<ssize_t>(sizeof info)) return static_cast<int>(info.ssi_signo);
    if (got < 0 && errno == EINTR) continue;
    return 0;
  }
}
