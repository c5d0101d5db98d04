// Where the settings file lies: a bare name such as "logger3.ini" names a file in the
// program's configuration folder; a name with a directory is used as it stands. On POSIX
// the folder is $XDG_CONFIG_HOME/morvala (~/.config/morvala when the variable is unset or
// empty), on Windows %APPDATA%\Morvala (posix_settingspath.cpp, win32_settingspath.cpp).
// Paths are UTF-8.
#pragma once

#include <string>

// The configuration folder, without a trailing slash. It need not exist yet.
std::string SettingsDirectory();

// The folder for the program's data (the logbook): $XDG_DATA_HOME/morvala
// (~/.local/share/morvala) on POSIX, %LOCALAPPDATA%\Morvala on Windows. Need not exist.
std::string DataDirectory();

// True when the name has no directory part (no '/'; on Windows no '\\' or drive either).
bool IsBareSettingsName(const std::string& name);

// The path that a settings file name stands for.
std::string SettingsFilePath(const std::string& name);
