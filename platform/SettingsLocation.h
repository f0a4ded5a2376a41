#pragma once

#include <string>

// The install prefix the build was made for (CMake's CMAKE_INSTALL_PREFIX, e.g. /usr).
const char* InstallPrefix();

// The settings file of the executable at ExecutablePath. A program installed under
// Prefix keeps its settings in UserConfigHome()/<name>/<name>.INI, <name> being the
// executable's name, whoever runs it; a program elsewhere keeps them beside itself (its path
// with the extension ".INI") when its folder can be written, and in the user's file
// otherwise. The user's folder is created (mode 0700) so that the first save can write
// there, and while the user's file does not exist yet, a settings file beside the
// executable is copied there once as its starting point.
std::string SettingsFileFor(const std::string& ExecutablePath, const std::string& Prefix = InstallPrefix());

// $XDG_CONFIG_HOME when it is an absolute path; otherwise $HOME/.config, with the home
// folder of the user database when HOME is not set.
std::string UserConfigHome();
