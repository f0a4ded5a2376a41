#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>

#include "base/Sha256.h"
#include "tests/support/TempFolder.h"

namespace {
// The published test vectors, and lengths around the padding's block boundaries.
TEST(Sha256Test, KnownVectors) {
  struct TCase {
    const char* Name;
    std::string Bytes;
    const char* Digest;
  };
  const TCase cases[] = {
      {"empty", "", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
      {"abc", "abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
      {"two blocks", "abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
       "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
      {"four blocks", "abcdefghbcdefghicdefghijdefghijkefghijklfghijklmghijklmnhijklmnoijklmnopjklmnopqklmnopqrlmnopqrs"
                      "mnopqrstnopqrstu",
       "cf5b16a778af8380036ce59e7b0492370b249b11e8f07a51afac45037afee9d1"},
      {"one million a", std::string(1'000'000, 'a'), "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
  };
  for (const TCase& c : cases) EXPECT_EQ(Sha256Hex(c.Bytes), c.Digest) << c.Name;
}

TEST(Sha256Test, PiecesOfAnySizeGiveTheDigestOfTheWhole) {
  std::string bytes;
  for (int i = 0; i < 1000; ++i) bytes += static_cast<char>(i * 7 + 3);
  for (const size_t piece : {1u, 3u, 55u, 56u, 63u, 64u, 65u, 999u}) {
    TSha256 digest;
    for (size_t at = 0; at < bytes.size(); at += piece) digest.Update(std::string_view(bytes).substr(at, piece));
    EXPECT_EQ(digest.HexDigest(), Sha256Hex(bytes)) << piece;
  }
}

std::string Sha256sumOf(const std::string& Path) {
  const std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(("sha256sum '" + Path + "'").c_str(), "r"), pclose);
  if (!pipe) return "(sha256sum did not start)";
  char digest[65] = {};
  return std::fread(digest, 1, 64, pipe.get()) == 64 ? std::string(digest) : "(no digest)";
}

// Every length from 0 to 200 bytes crosses each case of the padding.
TEST(Sha256Test, AgreesWithSha256sum) {
  TTempFolder folder;
  std::string bytes;
  for (int length = 0; length <= 200; ++length) {
    const std::string file = folder.WriteFile("data.bin", bytes);
    ASSERT_EQ(Sha256Hex(bytes), Sha256sumOf(file)) << length;
    bytes += static_cast<char>(length * 37 + 11);
  }
}
}  // namespace
