#pragma once

#include <string>

#include "base/Exception.h"

// Raised when a key cannot be written: "Unable to write to %s" with the file's name.
class EIniFileException : public Exception {
public:
  using Exception::Exception;
};

// An INI file read and written one key at a time. Section and key names are compared
// without regard to case; blanks around names and values are dropped on reading; values
// are cut at 2047 characters. A write keeps every other line as it was and replaces the
// file atomically, so it is never left half-written.
class TIniFile {
public:
  static constexpr size_t MaxValueLength = 2047;

  explicit TIniFile(std::string FileName);
  const std::string& FileName() const { return FFileName; }

  std::string ReadString(const std::string& Section, const std::string& Key,
                         const std::string& Default) const;
  void WriteString(const std::string& Section, const std::string& Key, const std::string& Value);

private:
  std::string FFileName;
};
