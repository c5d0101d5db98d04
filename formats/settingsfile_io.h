// The settings file's disk access, one file per system (posix_settingsfile.cpp,
// win32_settingsfile.cpp): reading a small file whole, creating the settings folder, and
// replacing a file all or nothing. Paths are UTF-8.
#pragma once

#include <cstddef>
#include <string>

enum class SettingsLoad { kOk, kMissing, kFailed };

// The whole file, when it is a plain file of at most maxBytes. A missing file gives
// kMissing; one that cannot be read (no permission, a folder, too large) kFailed.
SettingsLoad LoadSettingsFile(const std::string& path, size_t maxBytes, std::string& data);

// Creates the folder and its missing parents (only the user may enter new ones).
bool MakeSettingsFolders(const std::string& dir);

// Replaces the file by data: a temporary file beside it, on the disk, then put in place
// of the old one. A file reached through a link is written at its target, and keeps its
// permissions. On failure the old file stays and the temporary file is removed.
bool ReplaceSettingsFile(const std::string& path, const std::string& data);
