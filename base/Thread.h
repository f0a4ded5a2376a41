#pragma once

#include <atomic>
#include <mutex>
#include <thread>

#include "base/Object.h"

// A thread object, created suspended. Start runs Execute on a new thread. With
// FreeOnTerminate set, the object deletes itself when Execute returns and must not be
// touched after Start. Otherwise the object's owner stops it: a class that overrides
// Execute calls TerminateAndWait in its own destructor, since Execute must not outlive the
// derived part of the object (the base destructor only joins a thread already told to end).
class TThread : public TObject {
public:
  TThread();
  ~TThread() override;

  void Start();
  void Terminate() { FTerminated.store(true); }
  bool Terminated() const { return FTerminated.load(); }
  bool Finished() const { return FFinished.load(); }
  bool Started() const { return FStarted; }
  void WaitFor();
  void TerminateAndWait() {
    Terminate();
    WaitFor();
  }

  void SetFreeOnTerminate(bool Value) { FFreeOnTerminate = Value; }
  bool FreeOnTerminate() const { return FFreeOnTerminate; }
  // The running thread's id; default-constructed before Start.
  std::thread::id ThreadID() const;

protected:
  virtual void Execute() = 0;

private:
  void Run();

  std::thread FThread;
  mutable std::mutex FIdLock;
  std::thread::id FThreadID;
  std::atomic<bool> FTerminated{false};
  std::atomic<bool> FFinished{false};
  bool FStarted = false;
  bool FFreeOnTerminate = false;
};
