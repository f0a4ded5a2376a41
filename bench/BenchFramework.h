#pragma once

#include <QCoreApplication>

#include "ipsock/IpWinSockAccess.h"
#include "threads/KtThreads.h"

// The threads framework and the socket engine with a Qt application on the calling (main)
// thread, made once for the whole benchmark run.
struct TBenchFramework {
  int Argc = 1;
  char ArgName[16] = "bench";
  char* Argv[2] = {ArgName, nullptr};
  QCoreApplication App{Argc, Argv};
  TKtThreadsScope Scope;
  TIpSockUnit SocketEngine;
};

inline TBenchFramework& Framework() {
  static TBenchFramework framework;
  return framework;
}
