#pragma once

#include <array>
#include <string>

#include "ipsock/IpBaseClasses.h"
#include "platform/SocketLibrary.h"

// The process's door to the socket library: loads the first library file that exists and
// starts it, binds each function by name on first use (under the lock) and shuts the
// library down when destroyed. Callers fetch an entry point and call it at once.
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
  std::array<TProcAddress, FunctionCount> FEntries{};
};

// The one access object of the process, created and started on first use.
TIpWinSockAccess& WinSockAccess();
