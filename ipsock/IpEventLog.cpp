#include "ipsock/IpEventLog.h"

#include "ipsock/IpDateTimeFormat.h"
#include "ipsock/IpLockGuard.h"
#include "platform/LocalTime.h"
#include "platform/LogFile.h"

std::string TIpEventLog::DateTimeFormat() const {
  TIpLockGuard<const TIpEventLog> guard(*this);
  return FDateTimeFormat;
}

void TIpEventLog::SetDateTimeFormat(const std::string& Value) {
  TIpLockGuard<const TIpEventLog> guard(*this);
  FDateTimeFormat = Value;
}

void TIpEventLog::AppendEvent(const std::string& Text) {
  // Held while writing, so lines from several threads never interleave.
  TIpLockGuard<const TIpEventLog> guard(*this);
  if (!FEnabled) return;
  AppendToFile(FFileName, std::string(), FormatDateTime(FDateTimeFormat, LocalTimeNow()) + " " + Text + "\r\n");
}
