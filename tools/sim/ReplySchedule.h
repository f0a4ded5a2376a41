#pragma once

#include <chrono>
#include <deque>
#include <optional>
#include <string>

// When each byte of the replies goes out: after a delay, and byte by byte with a pause
// between bytes when replies are dribbled. Replies keep their order; a close waits for the
// replies before it. Time is passed in, so the schedule is tested without waiting.
class TReplySchedule {
public:
  using TClock = std::chrono::steady_clock;
  using TTime = TClock::time_point;

  TReplySchedule(std::chrono::milliseconds Delay, std::chrono::milliseconds Dribble);

  void AddReply(const std::string& Reply, TTime Now);
  void AddClose(TTime Now);
  // The bytes due by Now, in order; they leave the schedule.
  std::string TakeDue(TTime Now);
  // Whether the close is due by Now, with no byte before it still waiting.
  bool CloseDue(TTime Now) const;
  // When the next byte or the close is due; nullopt when nothing waits.
  std::optional<TTime> NextDue() const;
  void Clear();

private:
  struct TPiece {
    TTime Due;
    std::string Bytes;  // empty for the close
  };
  TTime NextStart(TTime Now) const;

  const std::chrono::milliseconds FDelay;
  const std::chrono::milliseconds FDribble;
  std::deque<TPiece> FPieces;
};
