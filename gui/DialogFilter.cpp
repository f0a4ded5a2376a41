#include "gui/DialogFilter.h"

#include <vector>

namespace {
std::vector<std::string> Split(const std::string& Text, char Separator) {
  std::vector<std::string> parts;
  size_t start = 0;
  for (;;) {
    const size_t end = Text.find(Separator, start);
    parts.push_back(Text.substr(start, end - start));
    if (end == std::string::npos) return parts;
    start = end + 1;
  }
}
}  // namespace

std::string TranslateDialogFilter(const std::string& Filter) {
  if (Filter.empty()) return {};
  const std::vector<std::string> parts = Split(Filter, '|');
  std::string result;
  for (size_t i = 0; i < parts.size(); i += 2) {
    std::string patterns;
    if (i + 1 < parts.size()) {
      for (const std::string& pattern : Split(parts[i + 1], ';')) {
        if (!patterns.empty()) patterns += ' ';
        patterns += pattern == "*.*" ? "*" : pattern;
      }
    }
    if (!result.empty()) result += ";;";
    result += parts[i] + " (" + patterns + ")";
  }
  return result;
}
