#pragma once

#include <cstdint>
#include <mutex>
#include <string>

#include "base/Component.h"
#include "base/Object.h"
#include "base/Persistent.h"
#include "platform/SocketLibrary.h"

// The engine's lock: re-entrant, so operations that call each other under it are safe. It
// is always taken: the process-wide "multi-threaded" shortcut buys nothing here and would
// leave the first thread's accesses unguarded once a second thread appears.
class TIpLockable {
public:
  void Lock() const { FLock.lock(); }
  void Unlock() const { FLock.unlock(); }

private:
  mutable std::recursive_mutex FLock;
};

class TIpBaseAccess : public TObject, public TIpLockable {};

class TIpBasePersistent : public TPersistent, public TIpLockable {};

// Turns one debug-log entry into text: (socket, type, data, data length, text in/out).
using TIpDebugRenderer = void (*)(TSocket Socket, uint32_t Type, const uint8_t* Data, uint32_t Length,
                                  std::string& Text);

class TIpBaseComponent : public TComponent {
public:
  using TComponent::TComponent;

  std::string Version() const;
  // Accepted and ignored: the version is not stored.
  void SetVersion(const std::string& Value);

  // The class-level renderer of the engine's log entries. A component class that records
  // entries of its own passes its own renderer of this signature to the debug log.
  static void FormatDebugEntry(TSocket Socket, uint32_t Type, const uint8_t* Data, uint32_t Length,
                               std::string& Text);
};
