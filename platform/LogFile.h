#pragma once

#include <string>

// Log files: written whole or appended in one piece, so that a failure never leaves a
// half-written file. Failures raise EFileError naming the file.

// Replaces the file's contents (or creates it) atomically.
void ReplaceFileContents(const std::string& Path, const std::string& Contents);
// Opens or creates the file with other writers locked out and appends Text, preceded by
// HeaderIfEmpty when the file is empty.
void AppendToFile(const std::string& Path, const std::string& HeaderIfEmpty, const std::string& Text);

// A file kept open for a run's many appends, each as AppendToFile makes it: under an
// exclusive lock, so that other writers' appends never interleave with it, and taken back
// whole when it cannot be written whole.
class TAppendingFile {
public:
  // Opens or creates the file.
  explicit TAppendingFile(std::string Path);
  ~TAppendingFile();
  TAppendingFile(const TAppendingFile&) = delete;
  TAppendingFile& operator=(const TAppendingFile&) = delete;

  void Append(const std::string& HeaderIfEmpty, const std::string& Text);
  // Closes now, raising when the close reports that written data was lost; the destructor
  // closes silently.
  void Close();

private:
  std::string FPath;
  int FFd;
};
