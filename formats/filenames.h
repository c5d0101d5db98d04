// File names the user chooses in a save dialog, and the folder the dialogs start in.
#pragma once

#include <string>
#include <vector>

namespace analysis {

// The path with the first of the extensions appended unless its last part already ends
// with one of them (without regard to case): "flug.2024" → "flug.2024.gpx".
std::string WithExtension(const std::string& path, const std::vector<std::string>& extensions);

// The folder of a path ("" for a bare name), and a name in a folder ("" = as it stands).
std::string FolderOf(const std::string& path);
std::string InFolder(const std::string& folder, const std::string& name);

// Something exists under this name (a file, a folder, a link).
bool PathExists(const std::string& path);

// The question before an existing file is replaced: "Die Datei „x.gpx“ gibt es schon. …".
std::string ReplaceQuestion(const std::string& path);

}  // namespace analysis
