// The logbook's system calls on Windows.
#include <windows.h>

#include <cerrno>
#include <chrono>
#include <ctime>

#include "formats/win32_text.h"
#include "logbook/logbook.h"
#include "logbook/logbook_system.h"

namespace logbook {

namespace {

// Seconds since 1970 of a broken-down time read as UTC.
int64_t SecondsOf(const std::tm& tm) {
  using namespace std::chrono;
  const sys_days day{year{tm.tm_year + 1900} / month(static_cast<unsigned>(tm.tm_mon + 1)) /
                     day(static_cast<unsigned>(tm.tm_mday))};
  return day.time_since_epoch().count() * int64_t(86400) + tm.tm_hour * 3600 + tm.tm_min * 60 +
         tm.tm_sec;
}

}  // namespace

LocalTime LocalTime::Now() {
  const __time64_t now = ::_time64(nullptr);
  std::tm local{}, utc{};
  if (::_localtime64_s(&local, &now) != 0 || ::_gmtime64_s(&utc, &now) != 0)
    return {static_cast<int64_t>(now), 0};
  return {static_cast<int64_t>(now), static_cast<int32_t>(SecondsOf(local) - SecondsOf(utc))};
}

namespace platform {

int LastError() { return static_cast<int>(::GetLastError()); }

int ErrorCode(const std::error_code& ec) {
  if (ec.category() == std::system_category()) return ec.value();
  switch (ec.value()) {  // an errno value
    case EACCES:
    case EPERM:
    case EROFS: return ERROR_ACCESS_DENIED;
    case EBUSY: return ERROR_SHARING_VIOLATION;
    case ENOSPC:
    case EFBIG: return ERROR_DISK_FULL;
    case ENOENT: return ERROR_FILE_NOT_FOUND;
    case ENOTDIR: return ERROR_DIRECTORY;
    case EEXIST: return ERROR_ALREADY_EXISTS;
    case EINVAL:
    case ENAMETOOLONG: return ERROR_INVALID_NAME;
    default: return ec.value();
  }
}

int NotAFolderError() { return ERROR_DIRECTORY; }
int NoSpaceError() { return ERROR_DISK_FULL; }
int AccessDeniedError() { return ERROR_ACCESS_DENIED; }
bool IsOutOfRoom(int err) {
  return err == ERROR_DISK_FULL || err == ERROR_HANDLE_DISK_FULL || err == ERROR_FILE_TOO_LARGE;
}

int CreateUniqueFile(const std::string& prefix, std::string& path) {
  static const char kChars[] = "abcdefghijklmnopqrstuvwxyz0123456789";
  unsigned long long seed =
      ::GetTickCount64() ^ (static_cast<unsigned long long>(::GetCurrentProcessId()) << 32);
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::string name = prefix;
    for (int i = 0; i < 6; ++i) {
      seed = seed * 6364136223846793005ull + 1442695040888963407ull;
      name += kChars[(seed >> 33) % 36];
    }
    const HANDLE h = ::CreateFileW(Widen(name).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                   FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
      const DWORD err = ::GetLastError();
      if (err == ERROR_FILE_EXISTS || err == ERROR_ALREADY_EXISTS) continue;
      return static_cast<int>(err);
    }
    ::CloseHandle(h);
    path = name;
    return 0;
  }
  return ERROR_FILE_EXISTS;
}

int SyncFile(const std::string& path) {
  const HANDLE h = ::CreateFileW(Widen(path).c_str(), GENERIC_WRITE,
                                 FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                 OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return static_cast<int>(::GetLastError());
  const int err = ::FlushFileBuffers(h) ? 0 : static_cast<int>(::GetLastError());
  ::CloseHandle(h);
  return err;
}

}  // namespace platform
}  // namespace logbook
