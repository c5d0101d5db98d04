// Location of the settings file and the data folder on Windows: %APPDATA%\Morvala and
// %LOCALAPPDATA%\Morvala. Paths are UTF-16 only at the Win32 calls.
#include <windows.h>

#include <string>

#include "formats/settingspath.h"
#include "formats/win32_text.h"

namespace {

std::string Environment(const wchar_t* name) {
  wchar_t buf[32768];
  const DWORD n = ::GetEnvironmentVariableW(name, buf, sizeof buf / sizeof buf[0]);
  if (n == 0 || n >= sizeof buf / sizeof buf[0]) return std::string();
  return Narrow(std::wstring(buf, n));
}

// The folder a variable names, or the profile's folder below %USERPROFILE% where the
// variable is missing (a stripped environment).
std::string KnownFolder(const wchar_t* variable, const char* belowProfile) {
  std::string base = Environment(variable);
  if (base.empty()) {
    base = Environment(L"USERPROFILE");
    if (base.empty()) base = "C:";
    base += belowProfile;
  }
  while (base.size() > 3 && (base.back() == '\\' || base.back() == '/')) base.pop_back();
  return base + "\\Morvala";
}

}  // namespace

std::string SettingsDirectory() { return KnownFolder(L"APPDATA", "\\AppData\\Roaming"); }

std::string DataDirectory() { return KnownFolder(L"LOCALAPPDATA", "\\AppData\\Local"); }

bool IsBareSettingsName(const std::string& name) {
  return name.find_first_of("/\\:") == std::string::npos;
}

std::string SettingsFilePath(const std::string& name) {
  if (!IsBareSettingsName(name)) return name;
  return SettingsDirectory() + "\\" + name;
}
