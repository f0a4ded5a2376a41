#include "tests/support/FileRights.h"

#include <sys/fsuid.h>
#include <unistd.h>

#include <thread>

bool RunWithoutFileRights(const std::function<void()>& Body) {
  if (geteuid() != 0) {
    Body();
    return true;
  }
  constexpr uid_t Nobody = 65534;
  bool ran = false;
  std::thread unprivileged([&] {
    setfsgid(Nobody);
    setfsuid(Nobody);
    if (static_cast<uid_t>(setfsuid(static_cast<uid_t>(-1))) != Nobody) return;
    Body();
    ran = true;
  });
  unprivileged.join();
  return ran;
}
