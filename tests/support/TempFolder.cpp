#include "tests/support/TempFolder.h"

#include <stdlib.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <vector>

TTempFolder::TTempFolder() {
  std::string pattern = (std::filesystem::temp_directory_path() / "zelmirt-test-XXXXXX").string();
  if (!mkdtemp(pattern.data())) throw std::runtime_error("cannot create a temporary folder");
  FPath = pattern + "/";
}

TTempFolder::~TTempFolder() {
  std::error_code ignored;
  // Tests may have taken the write permission away.
  for (const auto& entry : std::filesystem::recursive_directory_iterator(FPath, ignored))
    if (entry.is_directory(ignored)) std::filesystem::permissions(entry.path(), std::filesystem::perms::owner_all, ignored);
  std::filesystem::permissions(FPath, std::filesystem::perms::owner_all, ignored);
  std::filesystem::remove_all(FPath, ignored);
}

std::string TTempFolder::Listing() const {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(FPath)) names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  std::string listing;
  for (const std::string& name : names) listing += (listing.empty() ? "" : " ") + name;
  return listing;
}

std::string TTempFolder::WriteFile(const std::string& Name, const std::string& Content) const {
  WriteWholeFile(File(Name), Content);
  return File(Name);
}

std::string ReadWholeFile(const std::string& Path) {
  std::ifstream file(Path, std::ios::binary);
  if (!file) throw std::runtime_error("cannot read " + Path);
  std::ostringstream content;
  content << file.rdbuf();
  return content.str();
}

void WriteWholeFile(const std::string& Path, const std::string& Content) {
  std::ofstream file(Path, std::ios::binary | std::ios::trunc);
  file << Content;
  if (!file.flush()) throw std::runtime_error("cannot write " + Path);
}
