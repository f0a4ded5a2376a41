#pragma once

#include <string>

// The settings file of the executable at ExecutablePath. Beside it (its path with the
// extension ".INI") when its folder can be written, as it always has been; an installed
// program's folder cannot be, so its settings go to UserConfigHome()/<name>/<name>.INI,
// <name> being the executable's name, and that folder is created (mode 0700) so that the
// first save can write there.
std::string SettingsFileFor(const std::string& ExecutablePath);

// $XDG_CONFIG_HOME when it is an absolute path; otherwise $HOME/.config, with the home
// folder of the user database when HOME is not set.
std::string UserConfigHome();
