#include "fuzz/FuzzFolder.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>

namespace {
class TFuzzFolder {
public:
  TFuzzFolder() {
    // In memory where the system offers it: the settings file's flushes then cost nothing.
    std::error_code error;
    const std::filesystem::path base =
        std::filesystem::is_directory("/dev/shm", error) ? "/dev/shm" : std::filesystem::temp_directory_path();
    std::string pattern = (base / "zelmirt-fuzz-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("cannot make a folder for the fuzz files");
    FPath = pattern + "/";
  }
  ~TFuzzFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(FPath, ignored);
  }
  TFuzzFolder(const TFuzzFolder&) = delete;
  TFuzzFolder& operator=(const TFuzzFolder&) = delete;
  const std::string& Path() const { return FPath; }

private:
  std::string FPath;
};
}  // namespace

std::string FuzzFile(const std::string& Name) {
  static const TFuzzFolder folder;
  return folder.Path() + Name;
}

std::string WriteFuzzFile(const std::string& Name, const uint8_t* Data, size_t Size) {
  const std::string path = FuzzFile(Name);
  std::ofstream file(path, std::ios::binary | std::ios::trunc);
  file.write(reinterpret_cast<const char*>(Data), static_cast<std::streamsize>(Size));
  if (!file.flush()) throw std::runtime_error("cannot write " + path);
  return path;
}

void PropertyBroken(const std::string& What) {
  std::fprintf(stderr, "==%d== property broken: %s\n", static_cast<int>(getpid()), What.c_str());
  std::abort();
}
