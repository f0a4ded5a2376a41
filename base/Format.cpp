#include "base/Format.h"

#include <cstdio>
#include <vector>

std::string FormatV(const char* Pattern, va_list Args) {
  char small[256];
  va_list copy;
  va_copy(copy, Args);
  const int needed = std::vsnprintf(small, sizeof small, Pattern, copy);
  va_end(copy);
  if (needed < 0) return std::string();
  if (static_cast<size_t>(needed) < sizeof small) return std::string(small, static_cast<size_t>(needed));
  std::vector<char> large(static_cast<size_t>(needed) + 1);
  std::vsnprintf(large.data(), large.size(), Pattern, Args);
  return std::string(large.data(), static_cast<size_t>(needed));
}

std::string Format(const char* Pattern, ...) {
  va_list args;
  va_start(args, Pattern);
  std::string result = FormatV(Pattern, args);
  va_end(args);
  return result;
}

std::string VisibleText(std::string_view Text) {
  std::string shown;
  for (const char c : Text) {
    const auto byte = static_cast<unsigned char>(c);
    shown += byte < 0x20 || byte >= 0x7F ? Format("\\x%2.2X", byte) : std::string(1, c);
  }
  return shown;
}
