#pragma once

#include <string>

// The file that holds every byte a simulated device received, over all its connections,
// in order: what went over the wire to it, for comparing runs byte for byte.
class TReceivedFile {
public:
  // Starts the file empty; raises ESimRecordError when it cannot be written.
  explicit TReceivedFile(std::string Path);
  // Raises ESimRecordError when the bytes cannot be appended.
  void Append(const std::string& Bytes);

private:
  [[noreturn]] void Fail() const;

  std::string FPath;
};
