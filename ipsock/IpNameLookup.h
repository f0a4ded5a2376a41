#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "platform/MessageWindow.h"
#include "platform/SocketLibrary.h"

// The answer of one host-name look-up: the first IPv4 address (network order), or the
// socket library's error code.
struct THostAddressAnswer {
  uint32_t Address = 0;
  int Error = 0;
};

// The address of a host part written as a dotted address or as the broadcast address; none
// for a name that needs a look-up.
std::optional<uint32_t> LiteralHostAddress(const std::string& Host);

// Looks Host up through the library's functions, on the calling thread.
THostAddressAnswer LookupHostAddress(TGetHostByNameProc GetHostByName, TWSAGetLastErrorProc GetLastError,
                                     const std::string& Host);

// One look-up of a host name on a thread of its own, so that a slow or hanging resolver
// holds up nobody but the owner of the answer. Window receives Message once the answer is
// in, the way the owner's other events reach it; never once the lookup object is gone.
// A lookup dropped before its answer leaves its thread to end by itself, the answer unused.
class TIpNameLookup {
public:
  // Raises EIpAccessException when the library's look-up cannot be bound.
  TIpNameLookup(const std::string& Host, HWND Window, uint32_t Message);
  ~TIpNameLookup();
  TIpNameLookup(const TIpNameLookup&) = delete;
  TIpNameLookup& operator=(const TIpNameLookup&) = delete;

  const std::string& Host() const { return FHost; }
  bool Done() const;
  // Valid once Done.
  THostAddressAnswer Answer() const;

private:
  // Shared with the look-up's thread, which may outlive the lookup object.
  struct TShared;
  std::string FHost;
  std::shared_ptr<TShared> FShared;
};
