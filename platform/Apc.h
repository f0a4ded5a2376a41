#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>

class TThreadMessageQueue;

// Results of the alertable waits.
constexpr uint32_t WAIT_OBJECT_0 = 0;         // input (a message or a due timer) is waiting
constexpr uint32_t WAIT_IO_COMPLETION = 192;  // one or more APCs have run
constexpr uint32_t WAIT_TIMEOUT = 258;
constexpr uint32_t WAIT_FAILED = 0xFFFFFFFF;

// An asynchronous procedure call: runs on the target thread inside one of its alertable
// waits. Whatever it throws leaves that wait.
using PAPCFUNC = void (*)(uintptr_t Data);

// The record of one thread: its queue of APCs and whether the thread has ended. Other
// threads hold it as the thread's handle; it outlives the thread as long as they do.
class TThreadRecord {
public:
  TThreadRecord() = default;
  TThreadRecord(const TThreadRecord&) = delete;
  TThreadRecord& operator=(const TThreadRecord&) = delete;

  // The calling thread's record, created on first use.
  static std::shared_ptr<TThreadRecord> Current();
  // Makes Record the calling thread's record (a thread started for a record made
  // beforehand, so that APCs can be queued to it before it runs). The calling thread must
  // not have a record yet.
  static void BindToCurrentThread(const std::shared_ptr<TThreadRecord>& Record);

  // Any thread. Answers false when the thread has ended (the APC would never run).
  bool QueueAPC(PAPCFUNC Proc, uintptr_t Data);
  // True once the thread that owned the record has ended.
  bool Ended() const;
  bool HasPendingAPC() const;

  // Owner thread: runs the APCs queued now; answers whether any ran.
  bool RunPendingAPCs();
  // Owner thread: blocks until an APC is queued or Milliseconds pass; answers whether an
  // APC is pending.
  bool WaitForAPC(int64_t Milliseconds);
  // Owner thread: the message queue to wake for APCs while the thread pumps messages.
  void SetMessageQueue(const std::shared_ptr<TThreadMessageQueue>& Queue);

  void MarkEnded();

private:
  struct TCall {
    PAPCFUNC Proc;
    uintptr_t Data;
  };

  mutable std::mutex FLock;
  std::condition_variable FQueued;
  std::deque<TCall> FCalls;
  std::weak_ptr<TThreadMessageQueue> FMessageQueue;
  bool FEnded = false;
};

using THandle = std::shared_ptr<TThreadRecord>;

// The calling thread's handle (its record).
THandle GetCurrentThreadHandle();
// Queues Proc(Data) to Thread; false when Thread is none or has ended.
bool QueueUserAPC(PAPCFUNC Proc, const THandle& Thread, uintptr_t Data);
// Sleeps Milliseconds. Alertable, it returns early with WAIT_IO_COMPLETION after running
// the APCs that are queued or arrive; otherwise it answers 0.
uint32_t SleepEx(uint32_t Milliseconds, bool Alertable);
// The message-pumping wait: answers WAIT_OBJECT_0 as soon as the calling thread's message
// queue has input (messages, a wake-up or a due timer), WAIT_IO_COMPLETION after running
// APCs (when Alertable), WAIT_TIMEOUT after Milliseconds, WAIT_FAILED when the wait itself
// fails. A thread without a message queue only waits for APCs and the time-out.
uint32_t MsgWaitForInputEx(uint32_t Milliseconds, bool Alertable);
