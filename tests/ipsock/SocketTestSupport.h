#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/MessageWindow.h"
#include "tests/support/TempFolder.h"

// A listening TCP socket on 127.0.0.1 that the test owns, reached with plain POSIX calls.
class TLoopbackListener {
public:
  TLoopbackListener();
  ~TLoopbackListener();
  TLoopbackListener(const TLoopbackListener&) = delete;
  TLoopbackListener& operator=(const TLoopbackListener&) = delete;

  uint16_t Port() const { return FPort; }
  // The next accepted connection's descriptor (the test closes it), -1 after a 10 s wait.
  int Accept();

private:
  int FFd;
  uint16_t FPort = 0;
};

// A port on 127.0.0.1 where nothing listens.
uint16_t ClosedLoopbackPort();
// 127.0.0.1 in network order.
uint32_t LoopbackAddress();
// Sends every byte, or fails the test.
void SendAll(int Fd, const std::string& Data);
// Resets the connection instead of closing it in order.
void CloseAbortively(int Fd);

// One socket event as a window received it.
struct TSocketEvent {
  uintptr_t Handle;
  int32_t Event;
  int32_t Error;
  bool operator==(const TSocketEvent&) const = default;
};

// A message window that records every socket event message posted to it.
class TEventRecorder {
public:
  explicit TEventRecorder(uint32_t Msg = 4753);
  HWND Window() const { return FWindow->Handle(); }
  std::vector<TSocketEvent> Events() const;
  size_t Count(int32_t Event) const;
  // Pumps messages until an event of that kind has arrived (10 s at most).
  bool WaitFor(int32_t Event, size_t Count = 1) const;

private:
  mutable std::mutex FLock;
  std::vector<TSocketEvent> FEvents;
  std::unique_ptr<TMessageWindow> FWindow;
};

// Runs the test inside a fresh temporary folder as the current directory, then removes it.
class TTemporaryFolder {
public:
  TTemporaryFolder();
  ~TTemporaryFolder();
  TTemporaryFolder(const TTemporaryFolder&) = delete;
  TTemporaryFolder& operator=(const TTemporaryFolder&) = delete;
  const std::string& Path() const { return FPath; }

private:
  std::string FPrevious;
  std::string FPath;
};

