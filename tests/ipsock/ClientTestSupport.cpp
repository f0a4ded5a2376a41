#include "tests/ipsock/ClientTestSupport.h"

#include <dirent.h>
#include <sys/socket.h>

#include <fstream>
#include <sstream>

#include "base/Format.h"
#include "tests/support/WaitUntil.h"

TClientRecorder::TClientRecorder(TIpClient& Client) : FClient(Client) {
  Client.OnStatus.Set([this](TObject*, TSocket Socket, TIpStatusType Event, const TIpConnRec& Connection,
                             const TIpSockStatRec& Stats) {
    std::lock_guard<std::mutex> guard(FLock);
    FStatuses.push_back({Socket, Event, Connection, Stats, std::this_thread::get_id()});
  });
  Client.OnError.Set([this](TObject*, TSocket Socket, int32_t Code, const std::string& Text) {
    std::lock_guard<std::mutex> guard(FLock);
    FErrors.push_back({Socket, Code, Text});
  });
  Client.OnReadLine.Set([this](TObject*, TSocket, const std::string& Line) {
    std::lock_guard<std::mutex> guard(FLock);
    FLines.push_back(Line);
  });
  Client.OnItemSent.Set([this](TObject*, TSocket, uint32_t Handle, uint32_t Remaining) {
    std::lock_guard<std::mutex> guard(FLock);
    FItemsSent.push_back({Handle, Remaining});
  });
  Client.OnIdleTimeout.Set([this](TObject*, TSocket, bool& Reset) {
    std::lock_guard<std::mutex> guard(FLock);
    ++FIdleTimeouts;
    Reset = FIdleReset;
  });
}

TClientRecorder::~TClientRecorder() {
  FClient.OnStatus.Clear();
  FClient.OnError.Clear();
  FClient.OnReadLine.Clear();
  FClient.OnItemSent.Clear();
  FClient.OnIdleTimeout.Clear();
}

std::vector<TStatusReport> TClientRecorder::Statuses() const {
  std::lock_guard<std::mutex> guard(FLock);
  return FStatuses;
}

size_t TClientRecorder::StatusCount(TIpStatusType Event) const {
  std::lock_guard<std::mutex> guard(FLock);
  size_t count = 0;
  for (const TStatusReport& report : FStatuses) count += report.Event == Event ? 1 : 0;
  return count;
}

std::vector<TErrorReport> TClientRecorder::Errors() const {
  std::lock_guard<std::mutex> guard(FLock);
  return FErrors;
}

std::vector<std::string> TClientRecorder::Lines() const {
  std::lock_guard<std::mutex> guard(FLock);
  return FLines;
}

std::vector<TItemSentReport> TClientRecorder::ItemsSent() const {
  std::lock_guard<std::mutex> guard(FLock);
  return FItemsSent;
}

int TClientRecorder::IdleTimeouts() const {
  std::lock_guard<std::mutex> guard(FLock);
  return FIdleTimeouts;
}

void TClientRecorder::SetIdleReset(bool Value) {
  std::lock_guard<std::mutex> guard(FLock);
  FIdleReset = Value;
}

std::string LoopbackText(uint16_t Port) { return Format("127.0.0.1:%u", Port); }

bool ReadAvailable(int Fd, std::string& Received) {
  char buffer[65536];
  for (;;) {
    const ssize_t count = ::recv(Fd, buffer, sizeof buffer, MSG_DONTWAIT);
    if (count == 0) return false;
    if (count < 0) return true;
    Received.append(buffer, static_cast<size_t>(count));
  }
}

bool ReceiveWhilePumping(int Fd, std::string& Received, size_t Count) {
  return WaitUntil([&] {
    ReadAvailable(Fd, Received);
    return Received.size() >= Count;
  });
}

int OpenDescriptorCount() {
  int count = 0;
  if (DIR* folder = ::opendir("/proc/self/fd")) {
    while (::readdir(folder) != nullptr) ++count;
    ::closedir(folder);
  }
  return count;
}

long ResidentKilobytes() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line))
    if (line.rfind("VmRSS:", 0) == 0) return std::stol(line.substr(6));
  return -1;
}

std::string PatternBytes(size_t Count, size_t Seed) {
  std::string bytes(Count, '\0');
  for (size_t i = 0; i < Count; ++i) bytes[i] = static_cast<char>((i + Seed) * 7 % 251);
  return bytes;
}
