// The profile (ini) file layer behind the port's settings file, after the Windows
// profile calls: "[Section]" lines, "Key=Value" lines, everything else kept as it is.
//
// - Section and key names are compared without regard to (ASCII) case; the first
//   matching section and the first matching key in it count.
// - Values are trimmed of blanks and tabs; a value is cut to ProfileValueMax characters
//   on reading (the default as well).
// - A missing or unreadable file reads as empty; files are read with CR LF or LF line
//   ends and written with CR LF.
// - A write replaces the key's line in place, or appends the key to its section (after
//   the section's last non-blank line), or appends a new section at the end. Every other
//   line is kept. The new file is written to a temporary file in the same folder, synced
//   and renamed over the old one, so a crash or a full disk never leaves half a file.
// - A bare file name lies in the configuration folder (serial/settingspath.h), which the
//   first write creates; a name with a directory is used as it stands.
#pragma once

#include <string>

constexpr size_t ProfileValueMax = 2047;
// A file larger than this is not a settings file: it reads as empty and is not rewritten.
constexpr size_t ProfileFileMax = 16u << 20;

// The value of key in section, or def when the file, the section or the key is missing.
std::string GetProfileString(const std::string& section, const std::string& key,
                             const std::string& def, const std::string& file);

// Writes or replaces one key, creating the file and the section when missing. False on
// any failure (unwritable folder, full disk, a name or value that would break the line
// structure: section with ']' or a line break, empty key, key with '=' or a line break,
// value with a line break); the old file is then unchanged.
bool WriteProfileString(const std::string& section, const std::string& key,
                        const std::string& value, const std::string& file);
