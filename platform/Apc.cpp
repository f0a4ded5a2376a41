#include "platform/Apc.h"

#include <poll.h>

#include <cerrno>
#include <chrono>
#include <thread>

#include "platform/MessageWindow.h"

namespace {
// Holds the calling thread's record and marks it ended when the thread goes.
struct TRecordHolder {
  std::shared_ptr<TThreadRecord> Record;
  ~TRecordHolder() {
    if (Record) Record->MarkEnded();
  }
};

thread_local TRecordHolder CurrentRecord;

using TClock = std::chrono::steady_clock;

// Rounded up, so that a wait never ends before its deadline.
int64_t MillisecondsUntil(TClock::time_point Deadline) {
  const auto left = std::chrono::ceil<std::chrono::milliseconds>(Deadline - TClock::now()).count();
  return left < 0 ? 0 : left;
}

TClock::time_point DeadlineAfter(uint32_t Milliseconds) {
  return TClock::now() + std::chrono::milliseconds(Milliseconds);
}
}  // namespace

std::shared_ptr<TThreadRecord> TThreadRecord::Current() {
  if (!CurrentRecord.Record) CurrentRecord.Record = std::make_shared<TThreadRecord>();
  return CurrentRecord.Record;
}

void TThreadRecord::BindToCurrentThread(const std::shared_ptr<TThreadRecord>& Record) {
  CurrentRecord.Record = Record;
}

bool TThreadRecord::QueueAPC(PAPCFUNC Proc, uintptr_t Data) {
  std::shared_ptr<TThreadMessageQueue> messages;
  {
    std::lock_guard<std::mutex> guard(FLock);
    if (FEnded) return false;
    FCalls.push_back({Proc, Data});
    messages = FMessageQueue.lock();
  }
  FQueued.notify_all();
  if (messages) messages->Wake();
  return true;
}

bool TThreadRecord::Ended() const {
  std::lock_guard<std::mutex> guard(FLock);
  return FEnded;
}

bool TThreadRecord::HasPendingAPC() const {
  std::lock_guard<std::mutex> guard(FLock);
  return !FCalls.empty();
}

bool TThreadRecord::RunPendingAPCs() {
  bool ran = false;
  for (;;) {
    TCall call;
    {
      std::lock_guard<std::mutex> guard(FLock);
      if (FCalls.empty()) return ran;
      call = FCalls.front();
      FCalls.pop_front();
    }
    ran = true;
    call.Proc(call.Data);
  }
}

bool TThreadRecord::WaitForAPC(int64_t Milliseconds) {
  std::unique_lock<std::mutex> guard(FLock);
  return FQueued.wait_for(guard, std::chrono::milliseconds(Milliseconds), [this] { return !FCalls.empty(); });
}

void TThreadRecord::SetMessageQueue(const std::shared_ptr<TThreadMessageQueue>& Queue) {
  std::lock_guard<std::mutex> guard(FLock);
  FMessageQueue = Queue;
}

void TThreadRecord::MarkEnded() {
  std::lock_guard<std::mutex> guard(FLock);
  FEnded = true;
  // APCs that never ran are dropped with the thread, as the system does.
  FCalls.clear();
}

THandle GetCurrentThreadHandle() { return TThreadRecord::Current(); }

bool QueueUserAPC(PAPCFUNC Proc, const THandle& Thread, uintptr_t Data) {
  return Thread && Proc && Thread->QueueAPC(Proc, Data);
}

uint32_t SleepEx(uint32_t Milliseconds, bool Alertable) {
  if (!Alertable) {
    std::this_thread::sleep_for(std::chrono::milliseconds(Milliseconds));
    return 0;
  }
  TThreadRecord& record = *TThreadRecord::Current();
  const auto deadline = DeadlineAfter(Milliseconds);
  for (;;) {
    if (record.RunPendingAPCs()) return WAIT_IO_COMPLETION;
    const int64_t left = MillisecondsUntil(deadline);
    if (left == 0) return 0;
    record.WaitForAPC(left);
  }
}

uint32_t MsgWaitForInputEx(uint32_t Milliseconds, bool Alertable) {
  TThreadRecord& record = *TThreadRecord::Current();
  const auto messages = TThreadMessageQueue::CurrentIfAny();
  const auto deadline = DeadlineAfter(Milliseconds);
  if (!messages) {
    for (;;) {
      if (Alertable && record.RunPendingAPCs()) return WAIT_IO_COMPLETION;
      const int64_t left = MillisecondsUntil(deadline);
      if (left == 0) return WAIT_TIMEOUT;
      if (Alertable) {
        record.WaitForAPC(left);
      } else {
        std::this_thread::sleep_for(std::chrono::milliseconds(left));
      }
    }
  }
  // Registered before the first look at the APC queue, so that an APC queued after that
  // look makes the descriptor readable.
  if (Alertable) record.SetMessageQueue(messages);
  for (;;) {
    if (Alertable && record.RunPendingAPCs()) return WAIT_IO_COMPLETION;
    if (messages->HasPending()) return WAIT_OBJECT_0;
    int64_t timeout = MillisecondsUntil(deadline);
    if (timeout == 0) return WAIT_TIMEOUT;
    const int toTimer = messages->MillisecondsToNextTimer();
    if (toTimer >= 0 && toTimer < timeout) timeout = toTimer;
    pollfd wake{messages->WakeDescriptor(), POLLIN, 0};
    const int ready = poll(&wake, 1, static_cast<int>(timeout));
    if (ready < 0 && errno != EINTR) return WAIT_FAILED;
    if (ready > 0 && !(Alertable && record.HasPendingAPC())) return WAIT_OBJECT_0;
  }
}
