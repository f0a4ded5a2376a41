#include "platform/MessageWindow.h"

#include <atomic>
#include <mutex>
#include <unordered_map>

#include "base/Exception.h"
#include "platform/Application.h"
#include "platform/MessageQueue.h"

namespace {
// Every live window by handle, so that a post from any thread finds its queue or learns
// that the window is gone. Posting appends to the queue under this lock, so once a window
// has left the registry nothing more can be queued for it.
class TWindowRegistry {
public:
  struct TEntry {
    std::weak_ptr<TMessageWindow::TImpl> Window;
    std::shared_ptr<TMessageQueue> Queue;
  };

  void Add(HWND Handle, TEntry Entry) {
    std::lock_guard<std::mutex> guard(FLock);
    FWindows.emplace(Handle, std::move(Entry));
  }

  void Remove(HWND Handle) {
    std::lock_guard<std::mutex> guard(FLock);
    FWindows.erase(Handle);
  }

  std::shared_ptr<TMessageQueue> QueueOf(HWND Handle) {
    std::lock_guard<std::mutex> guard(FLock);
    const auto found = FWindows.find(Handle);
    return found == FWindows.end() ? nullptr : found->second.Queue;
  }

  // Answers false when the window does not exist; Message is then left untouched.
  bool Post(HWND Handle, TQueuedMessage& Message) {
    std::lock_guard<std::mutex> guard(FLock);
    const auto found = FWindows.find(Handle);
    if (found == FWindows.end()) return false;
    Message.Window = Handle;
    Message.Target = found->second.Window;
    found->second.Queue->Post(std::move(Message));
    return true;
  }

private:
  std::mutex FLock;
  std::unordered_map<HWND, TEntry> FWindows;
};

// Never destroyed: other threads may still post while the program's static objects go at
// exit, and must find a registry, empty or not.
TWindowRegistry& Registry() {
  static TWindowRegistry* const registry = new TWindowRegistry;
  return *registry;
}

std::atomic<HWND> LastHandle{0};

// An exception must never leave a delivery: it would unwind through the event loop.
template <class TAction>
void ReportingExceptions(TAction&& Action) {
  try {
    Action();
  } catch (const std::exception& e) {
    try {
      Application().HandleException(e);
    } catch (...) {
      // The handler itself failed; there is nobody left to tell.
    }
  } catch (...) {
    try {
      Application().HandleException(Exception("Unknown exception"));
    } catch (...) {
    }
  }
}
}  // namespace

LRESULT CallWindowProc(TMessageWindow::TImpl& Window, uint32_t Msg, WPARAM WParam, LPARAM LParam) {
  LRESULT result = 0;
  ReportingExceptions([&] { result = Window.Proc(Msg, WParam, LParam); });
  return result;
}

void RunDiscard(const std::function<void()>& Discard) {
  if (Discard) ReportingExceptions(Discard);
}

TMessageWindow::TMessageWindow(TWindowProc Proc) : FImpl(std::make_shared<TImpl>()) {
  FImpl->Handle = ++LastHandle;
  FImpl->Proc = std::move(Proc);
  FImpl->Queue = TMessageQueue::ForCurrentThread();
  Registry().Add(FImpl->Handle, {FImpl, FImpl->Queue});
}

TMessageWindow::~TMessageWindow() {
  Registry().Remove(FImpl->Handle);
  FImpl->Alive = false;
  for (const TQueuedMessage& dropped : FImpl->Queue->RemoveWindow(FImpl->Handle)) RunDiscard(dropped.Discard);
}

HWND TMessageWindow::Handle() const { return FImpl->Handle; }

LRESULT TMessageWindow::Send(uint32_t Msg, WPARAM WParam, LPARAM LParam) {
  // The procedure may destroy this window; the copy keeps it alive until the call returns.
  const std::shared_ptr<TImpl> window = FImpl;
  return CallWindowProc(*window, Msg, WParam, LParam);
}

bool TMessageWindow::SetTimer(uintptr_t Id, unsigned Milliseconds) {
  FImpl->Queue->SetTimer(FImpl, Id, Milliseconds);
  return true;
}

void TMessageWindow::KillTimer(uintptr_t Id) { FImpl->Queue->KillTimer(FImpl->Handle, Id); }

bool PostMessage(HWND Window, uint32_t Msg, WPARAM WParam, LPARAM LParam, std::function<void()> Discard) {
  TQueuedMessage message;
  message.Msg = Msg;
  message.WParam = WParam;
  message.LParam = LParam;
  message.Discard = std::move(Discard);
  if (Registry().Post(Window, message)) return true;
  RunDiscard(message.Discard);
  return false;
}

std::shared_ptr<TReadySet> WindowReadySet(HWND Window) {
  const auto queue = Registry().QueueOf(Window);
  return queue ? queue->ReadySet() : nullptr;
}
