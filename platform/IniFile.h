#pragma once

#include <string>

#include "base/Exception.h"

// Raised when a key cannot be written: "Unable to write to %s" with the file's name. Reason
// says why, where the writer knows more than that the system refused.
class EIniFileException : public Exception {
public:
  explicit EIniFileException(std::string Message, std::string Reason = "")
      : Exception(std::move(Message)), FReason(std::move(Reason)) {}
  const std::string& Reason() const { return FReason; }

private:
  std::string FReason;
};

// An INI file read and written one key at a time. Lines end with CR, LF or CR LF, alike;
// section and key names are compared without regard to case; blanks around names and
// values are dropped on reading; values are cut at 2047 characters (UTF-8 characters,
// never split). A write keeps every other line as it was, byte for byte, and replaces the
// file's content as ReplaceFileContent does, so it is never left half-written; the first
// write also removes what saves that died on the way left beside the file.
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
  bool FLeftoversRemoved = false;
};
