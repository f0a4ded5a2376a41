#include "threads/KtDebugLogViewer.h"

#include <atomic>

#include "base/Exception.h"
#include "threads/KtDebugLog.h"

namespace {
void StoreWord(uint32_t& Word, uint32_t Value) { std::atomic_ref<uint32_t>(Word).store(Value); }
}  // namespace

TKtDebugLogViewer::TKtDebugLogViewer(std::string AnnouncementName)
    : FName(std::string(KtDebugLogGlobalPrefix) + "." + std::move(AnnouncementName)) {
  if (FAnnouncement.Open(FName, sizeof(TKtDebugLogAnnouncement), false) != TSharedMemory::TResult::Opened) {
    throw Exception("Could not open the debug-log announcement " + FName);
  }
}

TKtDebugLogViewer::~TKtDebugLogViewer() { Withdraw(); }

int TKtDebugLogViewer::Announce(int Port) {
  if (!FListener.Listen(Port)) return -1;
  auto* announcement = static_cast<TKtDebugLogAnnouncement*>(FAnnouncement.View());
  StoreWord(*reinterpret_cast<uint32_t*>(&announcement->Port), static_cast<uint32_t>(FListener.Port()));
  StoreWord(announcement->Presence, 1);
  return FListener.Port();
}

void TKtDebugLogViewer::Withdraw() {
  auto* announcement = static_cast<TKtDebugLogAnnouncement*>(FAnnouncement.View());
  if (announcement) StoreWord(announcement->Presence, 0);
}

const std::string& TKtDebugLogViewer::Poll(int TimeoutMs) {
  while (auto connection = FListener.Accept(0)) FConnections.push_back(std::move(connection));
  const int each = FConnections.empty() ? 0 : TimeoutMs / static_cast<int>(FConnections.size());
  for (auto& connection : FConnections) connection->Receive(FReceived, each);
  std::erase_if(FConnections, [](const auto& c) { return !c->Connected(); });
  if (FConnections.empty() && TimeoutMs > 0) {
    if (auto connection = FListener.Accept(TimeoutMs)) FConnections.push_back(std::move(connection));
  }
  return FReceived;
}

std::vector<std::string> TKtDebugLogViewer::TakeRecords() {
  std::vector<std::string> records;
  size_t start = 0;
  for (size_t end; (end = FReceived.find('|', start)) != std::string::npos; start = end + 1) {
    records.push_back(FReceived.substr(start, end - start));
  }
  FReceived.erase(0, start);
  return records;
}
