// Location of the settings file and the data folder on POSIX (XDG).
#include "formats/settingspath.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>

namespace {

std::string HomeDirectory() {
  const char* home = std::getenv("HOME");
  if (home != nullptr && *home != '\0') return home;
  // No HOME (a service, a stripped environment): the password database knows it.
  if (const struct passwd* pw = ::getpwuid(::getuid()); pw != nullptr && pw->pw_dir != nullptr)
    return pw->pw_dir;
  return "/tmp";
}

}  // namespace

std::string SettingsDirectory() {
  const char* xdg = std::getenv("XDG_CONFIG_HOME");
  std::string base;
  // A relative XDG_CONFIG_HOME is to be ignored, as the XDG base directory rules say.
  if (xdg != nullptr && xdg[0] == '/')
    base = xdg;
  else
    base = HomeDirectory() + "/.config";
  while (base.size() > 1 && base.back() == '/') base.pop_back();
  return base + "/morvala";
}

std::string DataDirectory() {
  const char* xdg = std::getenv("XDG_DATA_HOME");
  std::string base;
  if (xdg != nullptr && xdg[0] == '/')
    base = xdg;
  else
    base = HomeDirectory() + "/.local/share";
  while (base.size() > 1 && base.back() == '/') base.pop_back();
  return base + "/morvala";
}

bool IsBareSettingsName(const std::string& name) { return name.find('/') == std::string::npos; }

std::string SettingsFilePath(const std::string& name) {
  if (!IsBareSettingsName(name)) return name;
  return SettingsDirectory() + "/" + name;
}
