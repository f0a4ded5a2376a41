#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

// A device on a loopback address of the test's own, port 4001 by default: it accepts one
// connection at a time on a thread of its own, records every byte it receives and answers
// through a script. Peers of the device link and of the programming sequence, with real
// sockets and no mock in between.
class TScriptedDevice {
public:
  static constexpr uint16_t DevicePort = 4001;

  // Called on the device's thread with the bytes received and not yet consumed; the script
  // erases what it has answered from Pending and answers through Send.
  using TScript = std::function<void(TScriptedDevice& Device, std::string& Pending)>;

  explicit TScriptedDevice(const std::string& Address, uint16_t Port = DevicePort);
  ~TScriptedDevice();
  TScriptedDevice(const TScriptedDevice&) = delete;
  TScriptedDevice& operator=(const TScriptedDevice&) = delete;

  void SetScript(TScript Script);
  // Connections accepted so far.
  int Accepted() const { return FAccepted.load(); }
  bool HasConnection() const;
  // Bytes the script has been given, and bytes sent, over all connections.
  uint64_t Handled() const { return FHandled.load(); }
  uint64_t Sent() const { return FSent.load(); }
  // Every byte received, over all connections, in order.
  std::string Received() const;
  void ClearReceived();
  // To the current connection; false without one.
  bool Send(const std::string& Bytes);
  // Closes the current connection in order, or with a reset.
  void CloseConnection(bool Abortive = false);
  // Closes the connection the peer has made, waiting for this device's thread to accept it
  // first (the peer may see it standing a moment before); false when none came.
  bool DropConnection(bool Abortive = false);
  // While set, new connections are accepted and closed at once.
  void SetRejecting(bool Value) { FRejecting.store(Value); }

private:
  void Serve();
  void Handle(const std::string& Bytes);

  int FListener = -1;
  int FWake[2] = {-1, -1};
  mutable std::mutex FLock;
  int FConnection = -1;
  std::string FReceived;
  std::string FPending;
  std::mutex FScriptLock;
  TScript FScript;
  std::atomic<int> FAccepted{0};
  std::atomic<uint64_t> FHandled{0};
  std::atomic<uint64_t> FSent{0};
  std::atomic<bool> FRejecting{false};
  std::atomic<bool> FStop{false};
  std::thread FThread;
};
