#include "threads/KtLogContext.h"

#include <algorithm>

#include "platform/ThreadInfo.h"

namespace {
uint32_t ResolveThread(uint32_t ThreadId) { return ThreadId == 0 ? GetCurrentThreadId() : ThreadId; }
}  // namespace

TKtLogContext::TKtLogContext(TComponent* AOwner) : TComponent(AOwner) {}

TKtLogContext::~TKtLogContext() { ClearAll(); }

TStringList* TKtLogContext::FindLocked(uint32_t ThreadId) const {
  const uint32_t id = ResolveThread(ThreadId);
  const auto found = std::find_if(FEntries.begin(), FEntries.end(), [id](const auto& e) { return e.first == id; });
  return found == FEntries.end() ? nullptr : found->second.get();
}

const TStringList* TKtLogContext::ContextOf(uint32_t ThreadId) const {
  std::lock_guard<std::mutex> guard(FLock);
  return FindLocked(ThreadId);
}

std::string TKtLogContext::ContextText(uint32_t ThreadId) const {
  std::lock_guard<std::mutex> guard(FLock);
  const TStringList* list = FindLocked(ThreadId);
  return list ? list->CommaText() : std::string();
}

void TKtLogContext::PushContext(const std::string& Text) {
  std::lock_guard<std::mutex> guard(FLock);
  TStringList* list = FindLocked(0);
  if (!list) list = FEntries.emplace_back(GetCurrentThreadId(), std::make_unique<TStringList>()).second.get();
  list->Add(Text);
}

void TKtLogContext::PopContext(const std::string& Text) {
  std::lock_guard<std::mutex> guard(FLock);
  TStringList* list = FindLocked(0);
  if (!list) return;
  for (int i = list->Count() - 1; i >= 0; --i) {
    if (list->Strings(i) == Text) {
      list->Delete(i);
      break;
    }
  }
  if (list->Count() == 0) {
    std::erase_if(FEntries, [list](const auto& e) { return e.second.get() == list; });
  }
}

void TKtLogContext::ClearAll() {
  std::lock_guard<std::mutex> guard(FLock);
  FEntries.clear();
}
