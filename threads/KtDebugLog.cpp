#include "threads/KtDebugLog.h"

#include <atomic>
#include <chrono>
#include <cstdarg>
#include <ctime>

#include "base/Format.h"
#include "platform/Files.h"
#include "platform/ThreadInfo.h"

namespace {
constexpr int SilencedPort = -1;

struct TProcessLog {
  std::mutex Lock;  // guards Log and Name
  std::unique_ptr<TKtDebugLog, TComponentFree> Log;
  std::string Name = KtDebugLogDefaultName;
  std::atomic<int> ViewerPort{0};
};

TProcessLog& ProcessLog() {
  static TProcessLog state;
  return state;
}

std::string ModuleName() {
  const std::string file = ExtractFileName(ExecutablePath());
  const auto dot = file.rfind('.');
  return dot == std::string::npos ? file : file.substr(0, dot);
}

std::string LocalTimeText() {
  const auto now = std::chrono::system_clock::now();
  const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
  const auto millis =
      std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000;
  std::tm local{};
  localtime_r(&seconds, &local);
  return Format("%02d:%02d:%02d.%03d", local.tm_hour, local.tm_min, local.tm_sec, static_cast<int>(millis));
}

uint32_t LoadWord(void* Word) { return std::atomic_ref<uint32_t>(*static_cast<uint32_t*>(Word)).load(); }
}  // namespace

TKtDebugLog::TKtDebugLog(TComponent* AOwner, std::string AnnouncementName)
    : TKtLogContext(AOwner), FModuleName(ModuleName()), FAnnouncementName(std::move(AnnouncementName)) {}

TKtDebugLog::~TKtDebugLog() {
  std::lock_guard<std::mutex> guard(FLock);
  FAnnouncement.reset();
  FConnection.reset();
  FEnabled = false;
}

std::string TKtDebugLog::FormatLine(const std::string& Msg) const {
  return Format("%s:[%x,%x],<%s>,%s: %s|", FModuleName.c_str(), GetCurrentProcessId(), GetCurrentThreadId(),
                ContextText(0).c_str(), LocalTimeText().c_str(), Msg.c_str());
}

void TKtDebugLog::OpenAnnouncement() {
  FAnnouncement.reset(new TKtMemoryMappedFile(nullptr));
  FAnnouncement->SetGlobalPrefix(KtDebugLogGlobalPrefix);
  FAnnouncement->SetGlobalName(FAnnouncementName);
  FAnnouncement->SetSize(sizeof(TKtDebugLogAnnouncement));
  FAnnouncement->Open();
}

void TKtDebugLog::Write(const std::string& Msg) {
  if (ProcessLog().ViewerPort.load() == SilencedPort) return;
  std::lock_guard<std::mutex> guard(FLock);
  if (!FEnabled) return;
  if (!FAnnouncement) {
    try {
      OpenAnnouncement();
    } catch (...) {
      // Raised to this caller once; without a block the log stays silent from now on,
      // instead of trying the system again on every line.
      FAnnouncement.reset();
      FEnabled = false;
      throw;
    }
  }
  auto* announcement = static_cast<TKtDebugLogAnnouncement*>(FAnnouncement->View());
  if (LoadWord(&announcement->Presence) == 0) {
    if (FConnection) Disconnect();
    return;
  }
  const int port = static_cast<int>(LoadWord(&announcement->Port));
  ProcessLog().ViewerPort.store(port);
  if (!FConnection) FConnection = std::make_unique<TTcpStream>();
  if (!FConnection->Connected() || FConnectionPort != port) {
    FConnectionPort = port;
    if (!FConnection->Connect("localhost", port)) {
      Disconnect();
      return;
    }
  }
  if (!FConnection->Send(FormatLine(Msg))) Disconnect();
}

void TKtDebugLog::Writef(const char* Fmt, ...) {
  va_list args;
  va_start(args, Fmt);
  const std::string text = FormatV(Fmt, args);
  va_end(args);
  Write(text);
}

void TKtDebugLog::Disconnect() {
  if (FConnection) FConnection->Close();
  FConnectionPort = 0;
}

void KtDebugLogStart() {
  TProcessLog& state = ProcessLog();
  {
    std::lock_guard<std::mutex> guard(state.Lock);
    if (state.Log) return;
    state.Log.reset(new TKtDebugLog(nullptr, state.Name));
    state.ViewerPort.store(0);
  }
  KtDebugWritef("Application loading on Thread %x", GetCurrentThreadId());
}

void KtDebugLogFinish() {
  TProcessLog& state = ProcessLog();
  {
    std::lock_guard<std::mutex> guard(state.Lock);
    if (!state.Log) return;
  }
  KtDebugWritef("Application unloading on Thread %x", GetCurrentThreadId());
  std::lock_guard<std::mutex> guard(state.Lock);
  state.ViewerPort.store(SilencedPort);
  state.Log.reset();
}

void KtDebugWrite(const std::string& Msg) {
  TProcessLog& state = ProcessLog();
  if (state.ViewerPort.load() == SilencedPort) return;
  // Held across the write so that the log cannot be freed under it by the unit's end.
  std::lock_guard<std::mutex> guard(state.Lock);
  if (!state.Log) return;
  try {
    state.Log->Write(Msg);
  } catch (const EKtMemoryMappedFile&) {
    // The framework's lines come from thread procedures and stopping paths, which a
    // missing announcement block must not end; the log has silenced itself.
  }
}

void KtDebugWritef(const char* Fmt, ...) {
  va_list args;
  va_start(args, Fmt);
  const std::string text = FormatV(Fmt, args);
  va_end(args);
  KtDebugWrite(text);
}

namespace {
template <class Action>
void WithLog(Action&& Act) {
  TProcessLog& state = ProcessLog();
  std::lock_guard<std::mutex> guard(state.Lock);
  if (state.Log) Act(*state.Log);
}
}  // namespace

void KtDebugPushContext(const std::string& Text) {
  WithLog([&](TKtDebugLog& Log) { Log.PushContext(Text); });
}

void KtDebugPopContext(const std::string& Text) {
  WithLog([&](TKtDebugLog& Log) { Log.PopContext(Text); });
}

void KtDebugLogSetAnnouncementName(const std::string& Name) {
  std::lock_guard<std::mutex> guard(ProcessLog().Lock);
  ProcessLog().Name = Name;
}

int KtDebugLogViewerPort() { return ProcessLog().ViewerPort.load(); }
