#include "tools/sim/HexRecord.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

namespace {
struct TRecordCase {
  const char* Name;
  std::string Text;
  std::optional<size_t> Length;  // what the framing reads from the head
  std::string Defect;
};

// Every character next to the digits' ranges, and one with the high bit, is not a digit;
// both cases of A to F are.
class HexRecordTest : public testing::TestWithParam<TRecordCase> {};

TEST_P(HexRecordTest, TheFramingAndTheCheckReadEachDigitAsTheRecordsDigitsAre) {
  const TRecordCase& c = GetParam();
  EXPECT_EQ(HexRecordLength(c.Text), c.Length);
  EXPECT_EQ(HexRecordDefect(c.Text), c.Defect);
}

INSTANTIATE_TEST_SUITE_P(
    EachKindOfCharacter, HexRecordTest,
    testing::Values(
        TRecordCase{"UpperCase", ":0400000001020304F2", 19, ""},
        TRecordCase{"LowerCase", ":04000000abcdef0095", 19, ""},
        TRecordCase{"EndOfFile", ":00000001FF", 11, ""},
        TRecordCase{"MaximalCount", ":FF" + std::string(2 * 0xFF + 8, '0'), 1 + 2 * (5 + 0xFF),
                    "checksum 0x00, expected 0x01"},
        TRecordCase{"WrongChecksum", ":0400000001020304F3", 19, "checksum 0xF3, expected 0xF2"},
        TRecordCase{"ShortHead", ":0", std::nullopt, "no hexadecimal byte count"},
        TRecordCase{"NoColon", "0400000001020304F2", std::nullopt, "no ':' at the start"},
        TRecordCase{"CountG", ":G400000001020304F2", std::nullopt, "no hexadecimal byte count"},
        TRecordCase{"CountSign", ":+400000001020304F2", std::nullopt, "no hexadecimal byte count"},
        TRecordCase{"CountSlash", ":0/00000001020304F2", std::nullopt, "no hexadecimal byte count"},
        TRecordCase{"DataColon", ":04000000:1020304F2", 19, "\":1\" at position 10 is not hexadecimal"},
        TRecordCase{"DataAt", ":04000000@1020304F2", 19, "\"@1\" at position 10 is not hexadecimal"},
        TRecordCase{"DataBacktick", ":0400000001`20304F2", 19, "\"`2\" at position 12 is not hexadecimal"},
        TRecordCase{"DataLowerG", ":040000000102g304F2", 19, "\"g3\" at position 14 is not hexadecimal"},
        TRecordCase{"DataSpace", ":0400000001020 04F2", 19, "\"0 \" at position 14 is not hexadecimal"},
        TRecordCase{"DataHighBit", ":04000000010203\xC1" "4F2", 19, "\"\xC1" "4\" at position 16 is not hexadecimal"},
        TRecordCase{"ChecksumNotHex", ":0400000001020304FZ", 19, "the checksum is not hexadecimal"},
        TRecordCase{"LongerThanItsCount", ":0400000001020304F200", 19, "21 characters, the byte count asks for 19"}),
    [](const testing::TestParamInfo<TRecordCase>& Info) { return std::string(Info.param.Name); });
}  // namespace
