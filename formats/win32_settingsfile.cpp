// The settings file's disk access on Windows. Paths are UTF-8 inside, UTF-16 at the
// calls. A replacement is written beside the target, flushed to the disk, then put in
// place by ReplaceFileW (or MoveFileExW when there is no old file).
#include <windows.h>

#include <string>

#include "formats/settingsfile_io.h"
#include "formats/win32_text.h"

namespace {

std::string DirectoryOf(const std::string& path) {
  const size_t slash = path.find_last_of("/\\");
  if (slash == std::string::npos) return ".";
  if (slash == 0 || (slash == 2 && path[1] == ':')) return path.substr(0, slash + 1);
  return path.substr(0, slash);
}

bool IsFolder(const std::wstring& path) {
  const DWORD a = ::GetFileAttributesW(path.c_str());
  return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}

}  // namespace

SettingsLoad LoadSettingsFile(const std::string& path, size_t maxBytes, std::string& data) {
  data.clear();
  const std::wstring wide = Widen(path);
  HANDLE f = ::CreateFileW(wide.c_str(), GENERIC_READ,
                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                           OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (f == INVALID_HANDLE_VALUE) {
    const DWORD err = ::GetLastError();
    const bool missing =
        (err == ERROR_FILE_NOT_FOUND || err == ERROR_PATH_NOT_FOUND) && !IsFolder(wide);
    return missing ? SettingsLoad::kMissing : SettingsLoad::kFailed;
  }
  LARGE_INTEGER size{};
  if (::GetFileType(f) != FILE_TYPE_DISK || !::GetFileSizeEx(f, &size) ||
      static_cast<unsigned long long>(size.QuadPart) > maxBytes) {
    ::CloseHandle(f);
    return SettingsLoad::kFailed;
  }
  char buf[8192];
  for (;;) {
    DWORD n = 0;
    if (!::ReadFile(f, buf, sizeof buf, &n, nullptr)) {
      ::CloseHandle(f);
      return SettingsLoad::kFailed;
    }
    if (n == 0) break;
    data.append(buf, n);
    if (data.size() > maxBytes) {
      ::CloseHandle(f);
      return SettingsLoad::kFailed;
    }
  }
  ::CloseHandle(f);
  return SettingsLoad::kOk;
}

bool MakeSettingsFolders(const std::string& dir) {
  const std::wstring wide = Widen(dir);
  if (IsFolder(wide)) return true;
  const std::string parent = DirectoryOf(dir);
  if (parent != dir && parent != "." && !MakeSettingsFolders(parent)) return false;
  return ::CreateDirectoryW(wide.c_str(), nullptr) != 0 || IsFolder(wide);
}

bool ReplaceSettingsFile(const std::string& path, const std::string& data) {
  const std::wstring target = Widen(path);
  const std::wstring temp = target + L".new-" + std::to_wstring(::GetCurrentProcessId()) + L"-" +
                            std::to_wstring(::GetTickCount64());
  HANDLE f = ::CreateFileW(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
  if (f == INVALID_HANDLE_VALUE) return false;
  bool ok = true;
  size_t done = 0;
  while (ok && done < data.size()) {
    DWORD n = 0;
    ok = ::WriteFile(f, data.data() + done, static_cast<DWORD>(data.size() - done), &n, nullptr) &&
         n > 0;
    done += n;
  }
  ok = ok && ::FlushFileBuffers(f);
  ok = ::CloseHandle(f) && ok;
  if (ok) {
    if (::GetFileAttributesW(target.c_str()) != INVALID_FILE_ATTRIBUTES) {
      // A target held open by another program without delete sharing cannot be
      // replaced; found out first, as Wine's ReplaceFileW leaves a stray file behind.
      HANDLE probe = ::CreateFileW(target.c_str(), DELETE,
                                   FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                   OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
      ok = probe != INVALID_HANDLE_VALUE;
      if (ok) ::CloseHandle(probe);
      ok = ok && ::ReplaceFileW(target.c_str(), temp.c_str(), nullptr,
                                REPLACEFILE_IGNORE_MERGE_ERRORS, nullptr, nullptr) != 0;
    } else {
      ok = ::MoveFileExW(temp.c_str(), target.c_str(),
                         MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
    }
  }
  if (!ok) ::DeleteFileW(temp.c_str());
  return ok;
}
