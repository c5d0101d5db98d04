#include "formats/filenames.h"

#include <algorithm>
#include <cctype>
#include <filesystem>

namespace analysis {

namespace {
std::string Lower(std::string s) {
  std::transform(s.begin(), s.end(), s.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return s;
}

std::string LastPart(const std::string& path) {
  const auto slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}
}  // namespace

std::string WithExtension(const std::string& path, const std::vector<std::string>& extensions) {
  if (extensions.empty()) return path;
  const std::string name = Lower(LastPart(path));
  for (const std::string& ext : extensions) {
    const std::string e = Lower(ext);
    if (name.size() > e.size() && name.compare(name.size() - e.size(), e.size(), e) == 0)
      return path;
  }
  return path + extensions.front();
}

std::string FolderOf(const std::string& path) {
  const auto slash = path.find_last_of('/');
  if (slash == std::string::npos) return "";
  return slash == 0 ? "/" : path.substr(0, slash);
}

std::string InFolder(const std::string& folder, const std::string& name) {
  if (folder.empty()) return name;
  return folder.back() == '/' ? folder + name : folder + "/" + name;
}

bool PathExists(const std::string& path) {
  std::error_code ec;
  return std::filesystem::exists(std::filesystem::symlink_status(
      std::filesystem::path(std::u8string(path.begin(), path.end())), ec));
}

std::string ReplaceQuestion(const std::string& path) {
  return "Die Datei „" + LastPart(path) + "“ gibt es schon.\rSoll sie ersetzt werden?";
}

}  // namespace analysis
