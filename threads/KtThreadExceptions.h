#pragma once

#include "base/Exception.h"

// "Unexpected WaitResult", "Unexpected APC", and the base of the classes below.
class EKtThread : public Exception {
public:
  using Exception::Exception;
};

class EKtThreadBusy : public EKtThread {
public:
  EKtThreadBusy() : EKtThread("Execute: Thread busy") {}
};

// Unwinds a worker that is being stopped; never reported as a job failure.
class EKtThreadTerminated : public EKtThread {
public:
  EKtThreadTerminated() : EKtThread("Thread terminated in APC") {}
};

class EKtThreadUnhandledAPC : public EKtThread {
public:
  EKtThreadUnhandledAPC() : EKtThread("Previous APC not handled") {}
};

class EKtThreadCalleeError : public EKtThread {
public:
  EKtThreadCalleeError() : EKtThread("Execution of ThreadedAction Failed") {}
};

class EKtApplicationTerminated : public EKtThread {
public:
  EKtApplicationTerminated() : EKtThread("Application Terminated") {}
};
