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

private:
  std::string FPath;
};

void WriteFile(const std::string& Path, const std::string& Content);
