#include "base/Thread.h"

#include "base/Exception.h"

TThread::TThread() = default;

TThread::~TThread() {
  if (FThread.joinable()) {
    if (FThread.get_id() == std::this_thread::get_id()) {
      FThread.detach();
    } else {
      Terminate();
      FThread.join();
    }
  }
}

void TThread::Start() {
  if (FStarted) throw EThread("Thread already started");
  FStarted = true;
  const bool selfFreeing = FFreeOnTerminate;
  try {
    std::lock_guard<std::mutex> guard(FIdLock);
    FThread = std::thread(&TThread::Run, this);
    FThreadID = FThread.get_id();
    // A self-freeing thread owns itself; nobody joins it.
    if (selfFreeing) FThread.detach();
  } catch (const std::system_error& e) {
    FStarted = false;
    throw EThread(std::string("Thread creation error: ") + e.what());
  }
}

std::thread::id TThread::ThreadID() const {
  std::lock_guard<std::mutex> guard(FIdLock);
  return FThreadID;
}

void TThread::WaitFor() {
  if (FThread.joinable() && FThread.get_id() != std::this_thread::get_id()) FThread.join();
}

void TThread::Run() {
  {
    // Start has stored the handle before the new thread goes on.
    std::lock_guard<std::mutex> guard(FIdLock);
  }
  try {
    Execute();
  } catch (...) {
    // An exception must not leave a thread; Execute reports its own failures.
  }
  FFinished.store(true);
  if (FFreeOnTerminate) delete this;
}
