#include "platform/ThreadInfo.h"

#include <pthread.h>
#include <unistd.h>

uint32_t GetCurrentThreadId() { return static_cast<uint32_t>(gettid()); }

uint32_t GetCurrentProcessId() { return static_cast<uint32_t>(getpid()); }

void SetCurrentThreadName(const std::string& Name) {
  constexpr size_t MaxNameLength = 15;
  // A failure only costs the debugger's label.
  pthread_setname_np(pthread_self(), Name.substr(0, MaxNameLength).c_str());
}
