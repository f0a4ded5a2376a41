#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/SharedMemory.h"
#include "platform/TcpStream.h"

// The developer's side of the debug log: announces itself in the shared-memory block,
// listens on a loopback port and collects the records that logs send it.
class TKtDebugLogViewer {
public:
  // AnnouncementName: the block's name without the "Global" prefix.
  explicit TKtDebugLogViewer(std::string AnnouncementName);
  ~TKtDebugLogViewer();
  TKtDebugLogViewer(const TKtDebugLogViewer&) = delete;
  TKtDebugLogViewer& operator=(const TKtDebugLogViewer&) = delete;

  // Listens on a new port (0: any free one) and announces it; answers the port, or -1.
  int Announce(int Port = 0);
  // Clears the presence word; the connections stay until the logs drop them.
  void Withdraw();
  // Accepts and reads for up to TimeoutMs; answers the bytes received so far.
  const std::string& Poll(int TimeoutMs);
  // Takes the complete records ("...|") received so far, without their terminator.
  std::vector<std::string> TakeRecords();
  const std::string& Received() const { return FReceived; }
  int ConnectionCount() const { return static_cast<int>(FConnections.size()); }

private:
  std::string FName;
  TSharedMemory FAnnouncement;
  TTcpListener FListener;
  std::vector<std::unique_ptr<TTcpStream>> FConnections;
  std::string FReceived;
};
