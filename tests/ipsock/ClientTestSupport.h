#pragma once

#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "ipsock/IpClient.h"

// Everything a client reported, with the thread each report ran on.
struct TStatusReport {
  TSocket Socket;
  TIpStatusType Event;
  TIpConnRec Connection;
  TIpSockStatRec Stats;
  std::thread::id Thread;
};

struct TErrorReport {
  TSocket Socket;
  int32_t Code;
  std::string Text;
};

struct TItemSentReport {
  uint32_t Handle;
  uint32_t Remaining;
};

// Binds a client's status, error, line, item-sent and idle events to records; the records
// may be read from any thread.
class TClientRecorder {
public:
  explicit TClientRecorder(TIpClient& Client);
  ~TClientRecorder();
  TClientRecorder(const TClientRecorder&) = delete;
  TClientRecorder& operator=(const TClientRecorder&) = delete;

  std::vector<TStatusReport> Statuses() const;
  size_t StatusCount(TIpStatusType Event) const;
  std::vector<TErrorReport> Errors() const;
  std::vector<std::string> Lines() const;
  std::vector<TItemSentReport> ItemsSent() const;
  int IdleTimeouts() const;
  // What the idle handler answers in Reset.
  void SetIdleReset(bool Value);

private:
  TIpClient& FClient;
  mutable std::mutex FLock;
  std::vector<TStatusReport> FStatuses;
  std::vector<TErrorReport> FErrors;
  std::vector<std::string> FLines;
  std::vector<TItemSentReport> FItemsSent;
  int FIdleTimeouts = 0;
  bool FIdleReset = false;
};

// "127.0.0.1:<port>".
std::string LoopbackText(uint16_t Port);
// Appends whatever the descriptor holds now (without waiting) to Received; false once the
// peer has closed.
bool ReadAvailable(int Fd, std::string& Received);
// Reads from Fd, pumping the calling thread's messages, until Received holds Count bytes
// (10 s at most); answers whether it does.
bool ReceiveWhilePumping(int Fd, std::string& Received, size_t Count);
// Descriptors open in this process.
int OpenDescriptorCount();
// Resident memory of this process in KiB.
long ResidentKilobytes();
// Count bytes of a repeating, position-dependent pattern, so that a lost, duplicated or
// reordered byte shows.
std::string PatternBytes(size_t Count, size_t Seed = 0);
