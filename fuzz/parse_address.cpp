// Any text through the address parser: no crash, no undefined behaviour, and a second parse
// of the same text gives the same parts.
#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz/FuzzFolder.h"
#include "ipsock/IpAddress.h"

namespace {
bool SameParts(const TIpAddrRec& A, const TIpAddrRec& B) {
  return A.Scheme == B.Scheme && A.UserName == B.UserName && A.Password == B.Password && A.Host == B.Host &&
         A.Port == B.Port && A.Path == B.Path && A.Fragment == B.Fragment && A.Query == B.Query &&
         A.QueryDelimiter == B.QueryDelimiter;
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  const std::string text(reinterpret_cast<const char*>(Data), Size);
  TIpAddrRec first;
  const bool accepted = ParseAddress(text, first);
  TIpAddrRec second;
  second.Host = "left over from an earlier parse";
  if (ParseAddress(text, second) != accepted || !SameParts(first, second))
    PropertyBroken("a second parse of the same text differs");
  return 0;
}
