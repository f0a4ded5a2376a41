#pragma once

#include <string>

#include "base/Exception.h"

// Raised when a file cannot be opened, read or written; the message names the file.
class EFileError : public Exception {
public:
  using Exception::Exception;
};

bool FileExists(const std::string& Path);
// The whole file as bytes.
std::string ReadFileText(const std::string& Path);
// The whole of a regular file of at most MaxBytes bytes. A FIFO, device, socket or folder is
// refused before anything is read from it, and so is a larger file, so that reading neither
// blocks nor fills the memory.
std::string ReadRegularFile(const std::string& Path, size_t MaxBytes);
// Makes the folder and any missing parents; raises EFileError naming it when it cannot.
void MakeFolder(const std::string& Path);
// The running executable's full path.
std::string ExecutablePath();
// Everything up to and including the last '/', or empty.
std::string ExtractFilePath(const std::string& Path);
std::string ExtractFileName(const std::string& Path);
// Replaces the extension of the last path element (Ext with its dot, e.g. ".INI").
std::string ChangeFileExt(const std::string& Path, const std::string& Ext);
