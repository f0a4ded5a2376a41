#pragma once

#include <QCoreApplication>

#include "threads/KtThreads.h"

// The threads framework with a Qt application on the calling (main) thread, made once for
// the whole benchmark run.
struct TBenchFramework {
  int Argc = 1;
  char ArgName[16] = "bench";
  char* Argv[2] = {ArgName, nullptr};
  QCoreApplication App{Argc, Argv};
  TKtThreadsScope Scope;
};

inline TBenchFramework& Framework() {
  static TBenchFramework framework;
  return framework;
}
