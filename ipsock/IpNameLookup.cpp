#include "ipsock/IpNameLookup.h"

#include <algorithm>
#include <mutex>
#include <system_error>
#include <thread>

#include "ipsock/IpWinSockAccess.h"

namespace {
constexpr uint32_t BroadcastAddress = 0xFFFFFFFFu;
constexpr size_t DottedAddressLength = 15;
}  // namespace

struct TIpNameLookup::TShared {
  std::mutex Lock;
  bool Abandoned = false;
  bool Done = false;
  THostAddressAnswer Answer;
  HWND Window;
  uint32_t Message;

  void Deliver(const THostAddressAnswer& Value) {
    std::lock_guard<std::mutex> guard(Lock);
    Answer = Value;
    Done = true;
    if (!Abandoned) PostMessage(Window, Message, 0, 0);
  }
};

std::optional<uint32_t> LiteralHostAddress(const std::string& Host) {
  if (Host == "255.255.255.255") return BroadcastAddress;
  const uint32_t dotted = WinSockAccess().inet_addr()(Host.substr(0, DottedAddressLength).c_str());
  if (dotted == WS_INADDR_NONE) return std::nullopt;
  return dotted;
}

THostAddressAnswer LookupHostAddress(TGetHostByNameProc GetHostByName, TWSAGetLastErrorProc GetLastError,
                                     const std::string& Host) {
  // The library's host record belongs to the calling thread until its next look-up.
  const THostEnt* host = GetHostByName(Host.c_str());
  if (host == nullptr) {
    const int error = GetLastError();
    return {0, error != 0 ? error : WSANO_DATA};
  }
  // A name without an address: the last error is an older call's.
  if (host->h_addr_list == nullptr || host->h_addr_list[0] == nullptr) return {0, WSANO_DATA};
  THostAddressAnswer answer;
  std::copy_n(host->h_addr_list[0], sizeof answer.Address, reinterpret_cast<char*>(&answer.Address));
  return answer;
}

TIpNameLookup::TIpNameLookup(const std::string& Host, HWND Window, uint32_t Message)
    : FHost(Host), FShared(std::make_shared<TShared>()) {
  FShared->Window = Window;
  FShared->Message = Message;
  // Bound here: the thread must not reach the engine's access object, which may be gone
  // before a hanging look-up ends.
  TIpWinSockAccess& access = WinSockAccess();
  const TGetHostByNameProc getHostByName = access.gethostbyname();
  const TWSAGetLastErrorProc getLastError = access.WSAGetLastError();
  try {
    std::thread([Shared = FShared, getHostByName, getLastError, Host] {
      Shared->Deliver(LookupHostAddress(getHostByName, getLastError, Host));
    }).detach();
  } catch (const std::system_error&) {
    // No thread to be had: the look-up fails as one the library could not start.
    FShared->Deliver({0, WSASYSCALLFAILURE});
  }
}

TIpNameLookup::~TIpNameLookup() {
  std::lock_guard<std::mutex> guard(FShared->Lock);
  FShared->Abandoned = true;
}

bool TIpNameLookup::Done() const {
  std::lock_guard<std::mutex> guard(FShared->Lock);
  return FShared->Done;
}

THostAddressAnswer TIpNameLookup::Answer() const {
  std::lock_guard<std::mutex> guard(FShared->Lock);
  return FShared->Answer;
}
