#pragma once

#include <array>
#include <atomic>
#include <memory>
#include <string>

#include "ipsock/IpBaseClasses.h"
#include "platform/SocketLibrary.h"

// The process's door to the socket library: loads the first library file that exists and
// starts it, binds each function by name on first use (under the lock; a bound one is read
// without it, as every socket call fetches one) and shuts the library down when destroyed. Callers fetch an entry point and call it at once.
class TIpWinSockAccess : public TIpBaseAccess {
public:
  // Raises EIpWinSockError ("WSAStartup") when a library's start-up call fails.
  TIpWinSockAccess();
  ~TIpWinSockAccess() override;

  bool Loaded() const { return FLibrary != 0; }
  // The library file in use, empty when none loaded.
  const std::string& LibraryFile() const { return FLibraryFile; }
  const TWSAData& StartupData() const { return FStartupData; }

  // Each raises EIpAccessException when its function cannot be bound. The parentheses keep
  // the C library's byte-order macros out of the declarations.
  TBindProc bind();
  TCloseSocketProc closesocket();
  TConnectProc connect();
  TGetHostByNameProc gethostbyname();
  TGetPeerNameProc getpeername();
  TGetSockNameProc getsockname();
  TGetSockOptProc getsockopt();
  THtonsProc(htons)();
  TInetAddrProc inet_addr();
  TInetNtoaProc inet_ntoa();
  TNtohsProc(ntohs)();
  TRecvProc recv();
  TSendProc send();
  TSetSockOptProc setsockopt();
  TShutdownProc shutdown();
  TSocketProc socket();
  TWSAAsyncSelectProc WSAAsyncSelect();
  TWSACancelAsyncRequestProc WSACancelAsyncRequest();
  TWSACleanupProc WSACleanup();
  TWSAGetLastErrorProc WSAGetLastError();
  TWSAStartupProc WSAStartup();

private:
  enum TFunction {
    fnBind,
    fnCloseSocket,
    fnConnect,
    fnGetHostByName,
    fnGetPeerName,
    fnGetSockName,
    fnGetSockOpt,
    fnHtons,
    fnInetAddr,
    fnInetNtoa,
    fnNtohs,
    fnRecv,
    fnSend,
    fnSetSockOpt,
    fnShutdown,
    fnSocket,
    fnWSAAsyncSelect,
    fnWSACancelAsyncRequest,
    fnWSACleanup,
    fnWSAGetLastError,
    fnWSAStartup,
    FunctionCount
  };

  TProcAddress EntryPoint(TFunction Function);
  template <class Proc>
  Proc Entry(TFunction Function) {
    return reinterpret_cast<Proc>(EntryPoint(Function));
  }

  TLibraryHandle FLibrary = 0;
  std::string FLibraryFile;
  TWSAData FStartupData{};
  std::array<std::atomic<TProcAddress>, FunctionCount> FEntries{};
};

// The access object of the engine's unit that was started last. Raises EIpBaseException
// while no unit is started: the library is never loaded behind the program's back, where a
// failing start-up would only show as every connection failing.
TIpWinSockAccess& WinSockAccess();

// The socket engine's unit: starting it creates the access object, which loads and starts
// the socket library, so that a failing start-up surfaces at program start; ending it
// shuts the library down. The program starts it with the framework's units. A unit started
// while another runs stands in for that one until it ends.
class TIpSockUnit {
public:
  // Raises EIpWinSockError ("WSAStartup") when the library's start-up fails.
  TIpSockUnit();
  ~TIpSockUnit();
  TIpSockUnit(const TIpSockUnit&) = delete;
  TIpSockUnit& operator=(const TIpSockUnit&) = delete;

  TIpWinSockAccess& Access() const { return *FAccess; }

private:
  std::unique_ptr<TIpWinSockAccess> FAccess;
  TIpWinSockAccess* FPrevious;
};
