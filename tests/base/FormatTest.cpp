#include <gtest/gtest.h>

#include <string>

#include "base/Format.h"

TEST(Format, MessagePatterns) {
  // The compiler rejects a literal "%07.7d" (its '0' flag is redundant); the pattern still works.
  const char* zeroPadded = "%07.7d";
  EXPECT_EQ(Format(zeroPadded, 42), "0000042");
  EXPECT_EQ(Format(zeroPadded, 1234567890), "1234567890");
  EXPECT_EQ(Format("%4.4x", 0xAB), "00ab");
  EXPECT_EQ(Format("%8.8x", 0xDEADBEEFu), "deadbeef");
  EXPECT_EQ(Format("%.2f", 1.15), "1.15");
  EXPECT_EQ(Format("v%.2f", 1.15), "v1.15");
  EXPECT_EQ(Format("WinSock Error (%d): %s, on API '%s'", 10061, "Connection refused", "Fd_Connect"),
            "WinSock Error (10061): Connection refused, on API 'Fd_Connect'");
  EXPECT_EQ(Format("%d", -7), "-7");
  EXPECT_EQ(Format("no placeholders"), "no placeholders");
}

TEST(Format, LongResultsAreComplete) {
  const std::string big(5000, 'x');
  const std::string out = Format("[%s]", big.c_str());
  EXPECT_EQ(out.size(), big.size() + 2);
  EXPECT_EQ(out.front(), '[');
  EXPECT_EQ(out.back(), ']');
}

TEST(Format, VisibleTextShowsEveryByteThatIsNotPrintableAsciiInHex) {
  struct TCase {
    const char* Name;
    std::string Text;
    std::string Shown;
  };
  const TCase cases[] = {
      {"printable ASCII stays", ":10 0000~", ":10 0000~"},
      {"NUL", std::string("a\0b", 3), "a\\x00b"},
      {"control bytes", "\r\n\t\x1b", "\\x0D\\x0A\\x09\\x1B"},
      {"DEL", "\x7f", "\\x7F"},
      {"UTF-8 byte-order mark", "\xef\xbb\xbf:00", "\\xEF\\xBB\\xBF:00"},
      {"highest byte", "\xff", "\\xFF"},
      {"first byte above ASCII", "\x80", "\\x80"},
  };
  for (const TCase& c : cases) EXPECT_EQ(VisibleText(c.Text), c.Shown) << c.Name;
}
