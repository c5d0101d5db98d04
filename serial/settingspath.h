// Where the settings file lies: a bare name such as "logger3.ini" names a file in the
// program's configuration folder, $XDG_CONFIG_HOME/morvala (~/.config/morvala when the
// variable is unset or empty); a name with a directory is used as it stands.
#pragma once

#include <string>

// The configuration folder, without a trailing slash. It need not exist yet.
std::string SettingsDirectory();

// True when the name has no directory part (no '/').
bool IsBareSettingsName(const std::string& name);

// The path that a settings file name stands for.
std::string SettingsFilePath(const std::string& name);
