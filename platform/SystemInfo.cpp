#include "platform/SystemInfo.h"

#include <sys/utsname.h>

#include <cstdio>

TOsVersion GetOsVersion() {
  TOsVersion version;
  utsname name{};
  if (::uname(&name) != 0) return version;
  version.Release = name.release;
  std::sscanf(name.release, "%u.%u", &version.Major, &version.Minor);
  return version;
}
