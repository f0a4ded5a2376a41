#include "tools/sim/ReplySchedule.h"

#include <algorithm>

TReplySchedule::TReplySchedule(std::chrono::milliseconds Delay, std::chrono::milliseconds Dribble)
    : FDelay(Delay), FDribble(Dribble) {}

// A reply never overtakes the one before it; dribbled bytes keep their pause across replies.
TReplySchedule::TTime TReplySchedule::NextStart(TTime Now) const {
  const TTime earliest = Now + FDelay;
  if (FPieces.empty()) return earliest;
  return std::max(earliest, FPieces.back().Due + FDribble);
}

void TReplySchedule::AddReply(const std::string& Reply, TTime Now) {
  if (Reply.empty()) return;
  TTime due = NextStart(Now);
  if (FDribble.count() == 0) {
    FPieces.push_back({due, Reply});
    return;
  }
  for (const char byte : Reply) {
    FPieces.push_back({due, std::string(1, byte)});
    due += FDribble;
  }
}

void TReplySchedule::AddClose(TTime Now) {
  FPieces.push_back({FPieces.empty() ? Now : std::max(Now, FPieces.back().Due), std::string()});
}

std::string TReplySchedule::TakeDue(TTime Now) {
  std::string due;
  while (!FPieces.empty() && !FPieces.front().Bytes.empty() && FPieces.front().Due <= Now) {
    due += FPieces.front().Bytes;
    FPieces.pop_front();
  }
  return due;
}

bool TReplySchedule::CloseDue(TTime Now) const {
  return !FPieces.empty() && FPieces.front().Bytes.empty() && FPieces.front().Due <= Now;
}

std::optional<TReplySchedule::TTime> TReplySchedule::NextDue() const {
  if (FPieces.empty()) return std::nullopt;
  return FPieces.front().Due;
}

void TReplySchedule::Clear() { FPieces.clear(); }
