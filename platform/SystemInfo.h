#pragma once

#include <string>

// The running kernel's version: the leading numbers of its release text, and the text.
struct TOsVersion {
  unsigned Major = 0;
  unsigned Minor = 0;
  std::string Release;
};

TOsVersion GetOsVersion();
