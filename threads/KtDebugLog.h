#pragma once

#include <memory>
#include <mutex>
#include <string>

#include "platform/TcpStream.h"
#include "threads/KtLogContext.h"
#include "threads/KtMemoryMappedFile.h"

// The announcement block through which a viewer makes itself known: presence, then port.
struct TKtDebugLogAnnouncement {
  uint32_t Presence;
  int32_t Port;
};
static_assert(sizeof(TKtDebugLogAnnouncement) == 8);

constexpr const char* KtDebugLogGlobalPrefix = "Global";
constexpr const char* KtDebugLogDefaultName = "KtDebugLog";

// Sends diagnostic lines to a viewer on this machine, only while one announces itself.
class TKtDebugLog : public TKtLogContext {
public:
  // AnnouncementName: the shared-memory block to look for (the viewer's).
  TKtDebugLog(TComponent* AOwner, std::string AnnouncementName = KtDebugLogDefaultName);
  ~TKtDebugLog() override;

  // Raises EKtMemoryMappedFile when the announcement block cannot be had; the log is
  // silent from then on.
  void Write(const std::string& Msg);
  [[gnu::format(printf, 2, 3)]] void Writef(const char* Fmt, ...);
  // Closes the connection to the viewer; also what a failed send does.
  void Disconnect();
  // The line as the viewer receives it.
  std::string FormatLine(const std::string& Msg) const;

private:
  void OpenAnnouncement();

  std::string FModuleName;
  std::string FAnnouncementName;
  std::unique_ptr<TKtMemoryMappedFile, TComponentFree> FAnnouncement;
  std::unique_ptr<TTcpStream> FConnection;
  int FConnectionPort = 0;
  std::mutex FLock;
  bool FEnabled = true;
};

// Unit start and end of the debug log; both idempotent. After the end every write is
// silently dropped until the next start.
void KtDebugLogStart();
void KtDebugLogFinish();
// The process-wide log's lines; nothing happens when the log is not started. Unlike
// TKtDebugLog::Write, they never raise: an announcement block that cannot be had silences
// the log.
void KtDebugWrite(const std::string& Msg);
[[gnu::format(printf, 1, 2)]] void KtDebugWritef(const char* Fmt, ...);
// The calling thread's context in the process-wide log's lines.
void KtDebugPushContext(const std::string& Text);
void KtDebugPopContext(const std::string& Text);
// The shared-memory name the log looks for (tests use their own; default "KtDebugLog").
// Takes effect for a log started afterwards.
void KtDebugLogSetAnnouncementName(const std::string& Name);
// The port last read from the announcement: 0 before any, -1 after unit end.
int KtDebugLogViewerPort();
