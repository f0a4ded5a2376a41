#include "ipsock/IpDateTimeFormat.h"

#include <cctype>

#include "base/Format.h"

namespace {
char Lower(char C) { return static_cast<char>(std::tolower(static_cast<unsigned char>(C))); }

std::string Number(int Value, size_t Letters, int ShortWidth, int LongWidth) {
  return Format("%0*d", Letters >= 2 ? LongWidth : ShortWidth, Value);
}
}  // namespace

std::string FormatDateTime(const std::string& Pattern, const TLocalTime& Time) {
  std::string result;
  bool afterHour = false;
  size_t i = 0;
  while (i < Pattern.size()) {
    const char c = Pattern[i];
    if (c == '"' || c == '\'') {
      const size_t close = Pattern.find(c, i + 1);
      const size_t end = close == std::string::npos ? Pattern.size() : close;
      result.append(Pattern, i + 1, end - i - 1);
      i = end == Pattern.size() ? end : end + 1;
      continue;
    }
    const char letter = Lower(c);
    size_t run = 1;
    while (i + run < Pattern.size() && Lower(Pattern[i + run]) == letter) ++run;
    switch (letter) {
      case 'y':
        result += run >= 3 ? Format("%04d", Time.Year) : Format("%02d", Time.Year % 100);
        break;
      case 'm':
        result += Number(afterHour ? Time.Minute : Time.Month, run, 1, 2);
        break;
      case 'd':
        result += Number(Time.Day, run, 1, 2);
        break;
      case 'h':
        result += Number(Time.Hour, run, 1, 2);
        break;
      case 'n':
        result += Number(Time.Minute, run, 1, 2);
        break;
      case 's':
        result += Number(Time.Second, run, 1, 2);
        break;
      case 'z':
        result += Number(Time.Millisecond, run >= 3 ? 2 : 1, 1, 3);
        break;
      default:
        result.append(run, c);
        i += run;
        continue;
    }
    afterHour = letter == 'h';
    i += run;
  }
  return result;
}
