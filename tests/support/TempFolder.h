#pragma once

#include <string>

// A fresh folder under the system's temporary folder, removed with everything in it.
class TTempFolder {
public:
  TTempFolder();
  ~TTempFolder();
  TTempFolder(const TTempFolder&) = delete;
  TTempFolder& operator=(const TTempFolder&) = delete;

  // The folder's path, ending in '/'.
  const std::string& Path() const { return FPath; }
  std::string File(const std::string& Name) const { return FPath + Name; }
  // Names of the entries in the folder, sorted.
  std::string Listing() const;
  // Writes Content to Name in the folder and answers the file's full path.
  std::string WriteFile(const std::string& Name, const std::string& Content) const;

private:
  std::string FPath;
};

void WriteWholeFile(const std::string& Path, const std::string& Content);
std::string ReadWholeFile(const std::string& Path);
