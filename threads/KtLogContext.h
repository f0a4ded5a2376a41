#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "base/Component.h"
#include "base/StringList.h"

// Context strings per thread, shown in every log line the thread writes.
class TKtLogContext : public TComponent {
public:
  explicit TKtLogContext(TComponent* AOwner);
  ~TKtLogContext() override;

  // The context list of ThreadId (0: the calling thread), or nullptr.
  const TStringList* ContextOf(uint32_t ThreadId) const;
  // The list's comma text, or empty.
  std::string ContextText(uint32_t ThreadId) const;
  // The calling thread's context: adds Text / removes its last occurrence.
  void PushContext(const std::string& Text);
  void PopContext(const std::string& Text);
  void ClearAll();

private:
  TStringList* FindLocked(uint32_t ThreadId) const;

  mutable std::mutex FLock;
  std::vector<std::pair<uint32_t, std::unique_ptr<TStringList>>> FEntries;
};
