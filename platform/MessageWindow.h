#pragma once

#include <cstdint>
#include <functional>
#include <memory>

using HWND = uint64_t;  // a window handle; never reused within the process, 0 is none
using WPARAM = uintptr_t;
using LPARAM = intptr_t;
using LRESULT = intptr_t;

constexpr uint32_t WM_TIMER = 275;
constexpr uint32_t WM_USER = 0x0400;

using TWindowProc = std::function<LRESULT(uint32_t Msg, WPARAM WParam, LPARAM LParam)>;

// A hidden window: lives on the thread that created it and receives, on that thread and in
// posting order, the messages posted to its handle from any thread. An exception that leaves
// the window procedure goes to Application().HandleException; delivery goes on.
class TMessageWindow {
public:
  explicit TMessageWindow(TWindowProc Proc);
  // On the owner thread. Messages not yet delivered are dropped and their Discard runs.
  ~TMessageWindow();
  TMessageWindow(const TMessageWindow&) = delete;
  TMessageWindow& operator=(const TMessageWindow&) = delete;

  HWND Handle() const;
  // Calls the window procedure at once; only on the owner thread.
  LRESULT Send(uint32_t Msg, WPARAM WParam, LPARAM LParam);
  // A repeating timer delivering WM_TIMER with WParam = Id; owner thread only. Setting an
  // existing Id restarts it with the new period. Answers false when no timer can be had.
  bool SetTimer(uintptr_t Id, unsigned Milliseconds);
  void KillTimer(uintptr_t Id);

  struct TImpl;

private:
  std::shared_ptr<TImpl> FImpl;
};

// Queues a message for Window from any thread. Discard, when given, runs instead of delivery
// when the message can never be delivered: the window does not exist (at once, and false is
// answered) or it is destroyed before the message reaches it (on the destroying thread).
bool PostMessage(HWND Window, uint32_t Msg, WPARAM WParam, LPARAM LParam,
                 std::function<void()> Discard = {});

// Runs the calling thread's pending messages once (its own queue and, on a thread with a Qt
// event loop, Qt's pending events). Does nothing on a thread without a message loop.
void ProcessMessages();

// The calling thread's message queue, with the descriptor that becomes readable when a
// message (or a wake-up) is pending. Waits use it to return on a message.
class TThreadMessageQueue {
public:
  // The calling thread's queue, created on first use.
  static std::shared_ptr<TThreadMessageQueue> Current();
  // The calling thread's queue if it has one, else nullptr.
  static std::shared_ptr<TThreadMessageQueue> CurrentIfAny();

  virtual ~TThreadMessageQueue() = default;
  // Readable while messages are pending or after Wake.
  virtual int WakeDescriptor() const = 0;
  // From any thread: makes WakeDescriptor readable, without queuing a message.
  virtual void Wake() = 0;
  virtual bool HasPending() const = 0;
  // Delivers what is pending now, on the owner thread; answers how many were delivered.
  virtual int DeliverPending() = 0;
  // Milliseconds until the next timer of this thread is due; -1 when there is none.
  virtual int MillisecondsToNextTimer() const = 0;
};
