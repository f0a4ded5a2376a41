#pragma once

#include <string>

#include "ipsock/IpBaseLog.h"

// Appends one time-stamped line per connection event to its file at once; holds no buffer.
class TIpEventLog : public TIpBaseLog {
public:
  using TIpBaseLog::TIpBaseLog;

  std::string DateTimeFormat() const;
  void SetDateTimeFormat(const std::string& Value);
  // Local time with DateTimeFormat, a blank, Text and "\r\n", appended with other writers
  // locked out. Raises EFileError when the file cannot be opened or written.
  void AppendEvent(const std::string& Text);

private:
  std::string FDateTimeFormat;
};
