#include "platform/SettingsLocation.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>

#include "platform/FileReplace.h"
#include "platform/Files.h"

namespace {
constexpr const char* SettingsExtension = ".INI";

// Checked with the effective user's rights, which are the ones the writes are made with.
bool FolderWritable(const std::string& Folder) {
  return faccessat(AT_FDCWD, Folder.empty() ? "." : Folder.c_str(), W_OK, AT_EACCESS) == 0;
}

// Whether Path lies inside the folder Prefix. Root may write an installed program's folder,
// so its place, not the folder's rights, tells an installed program.
bool Inside(const std::string& Path, std::string Prefix) {
  while (!Prefix.empty() && Prefix.back() == '/') Prefix.pop_back();
  return !Prefix.empty() && Path.size() > Prefix.size() + 1 && Path.starts_with(Prefix + "/");
}

// Creates Folder (ending in '/') and any missing parents. A failure shows later, when the
// settings cannot be written, with the file's name in the message.
void CreateFolders(const std::string& Folder) {
  for (size_t slash = Folder.find('/', 1); slash != std::string::npos; slash = Folder.find('/', slash + 1))
    mkdir(Folder.substr(0, slash).c_str(), 0700);
}

// Gives the user's new settings file the values of the one beside the executable, which an
// earlier version or the operator put there. Without them the program starts with its
// defaults, as it would without either file, and the first save names any write failure.
void StartFrom(const std::string& Beside, const std::string& UserFile) {
  if (FileExists(UserFile) || !FileExists(Beside)) return;
  try {
    ReplaceFileContent(UserFile, ReadFileText(Beside));
  } catch (const EFileError&) {
  }
}
}  // namespace

const char* InstallPrefix() { return ZELMIRT_INSTALL_PREFIX; }

std::string SettingsFileFor(const std::string& ExecutablePath, const std::string& Prefix) {
  const std::string beside = ChangeFileExt(ExecutablePath, SettingsExtension);
  if (!Inside(ExecutablePath, Prefix) && FolderWritable(ExtractFilePath(ExecutablePath))) return beside;
  const std::string name = ExtractFileName(ChangeFileExt(ExecutablePath, ""));
  const std::string folder = UserConfigHome() + "/" + name + "/";
  CreateFolders(folder);
  const std::string userFile = folder + name + SettingsExtension;
  StartFrom(beside, userFile);
  return userFile;
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
