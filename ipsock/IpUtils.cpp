#include "ipsock/IpUtils.h"

#include <algorithm>

#include "base/Format.h"

namespace {
constexpr double EngineVersionNumber = 1.15;
}

std::string TrimSpaces(const std::string& Text) {
  const size_t first = Text.find_first_not_of(' ');
  if (first == std::string::npos) return std::string();
  const size_t last = Text.find_last_not_of(' ');
  return Text.substr(first, last - first + 1);
}

int CharPos(char Character, const std::string& Text) {
  const size_t found = Text.find(Character);
  return found == std::string::npos ? 0 : static_cast<int>(found) + 1;
}

int CompareBytes(const void* A, const void* B, size_t Count) {
  const auto* a = static_cast<const unsigned char*>(A);
  const auto* b = static_cast<const unsigned char*>(B);
  for (size_t i = 0; i < Count; ++i)
    if (a[i] != b[i]) return a[i] > b[i] ? 1 : -1;
  return 0;
}

int CharCount(const std::string& Text, size_t Count, char Character) {
  const size_t length = std::min(Count, Text.size());
  return static_cast<int>(std::count(Text.begin(), Text.begin() + static_cast<std::ptrdiff_t>(length), Character));
}

int32_t MinInt(int32_t A, int32_t B) { return A < B ? A : B; }

std::string EngineVersion() { return Format("v%.2f", EngineVersionNumber); }
