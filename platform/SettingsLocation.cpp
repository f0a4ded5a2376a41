#include "platform/SettingsLocation.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>

#include "platform/Files.h"

namespace {
constexpr const char* SettingsExtension = ".INI";

// Checked with the effective user's rights, which are the ones the writes are made with.
bool FolderWritable(const std::string& Folder) {
  return faccessat(AT_FDCWD, Folder.empty() ? "." : Folder.c_str(), W_OK, AT_EACCESS) == 0;
}

// Creates Folder (ending in '/') and any missing parents. A failure shows later, when the
// settings cannot be written, with the file's name in the message.
void CreateFolders(const std::string& Folder) {
  for (size_t slash = Folder.find('/', 1); slash != std::string::npos; slash = Folder.find('/', slash + 1))
    mkdir(Folder.substr(0, slash).c_str(), 0700);
}
}  // namespace

std::string SettingsFileFor(const std::string& ExecutablePath) {
  if (FolderWritable(ExtractFilePath(ExecutablePath))) return ChangeFileExt(ExecutablePath, SettingsExtension);
  const std::string name = ExtractFileName(ChangeFileExt(ExecutablePath, ""));
  const std::string folder = UserConfigHome() + "/" + name + "/";
  CreateFolders(folder);
  return folder + name + SettingsExtension;
}

std::string UserConfigHome() {
  const char* configHome = std::getenv("XDG_CONFIG_HOME");
  if (configHome != nullptr && configHome[0] == '/') return configHome;
  const char* home = std::getenv("HOME");
  if (home == nullptr || home[0] == '\0') {
    const passwd* user = getpwuid(geteuid());
    home = user != nullptr ? user->pw_dir : "";
  }
  return std::string(home) + "/.config";
}
