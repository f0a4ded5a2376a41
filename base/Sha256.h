#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

// The SHA-256 digest (FIPS 180-4) of a byte stream fed in pieces of any size.
class TSha256 {
public:
  TSha256();
  void Update(std::string_view Bytes);
  // The digest of everything fed so far, as 64 lower-case hexadecimal digits (as sha256sum
  // prints it). The object is spent afterwards.
  std::string HexDigest();

private:
  void Compress(const uint8_t* Block);

  std::array<uint32_t, 8> FState;
  std::array<uint8_t, 64> FBlock{};
  size_t FBlockUsed = 0;
  uint64_t FLength = 0;  // in bytes
};

// The SHA-256 of Bytes as lower-case hexadecimal digits.
std::string Sha256Hex(std::string_view Bytes);
