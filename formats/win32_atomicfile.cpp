// The all-or-nothing file and whole-file reading on Windows. The temporary file lies
// beside the target; Commit flushes it to the disk (FlushFileBuffers) and then puts it
// in place: ReplaceFileW over an existing target, MoveFileExW (replace, write through)
// where there is none yet. Error codes are GetLastError codes, which fileerror maps onto
// the German texts. Paths are UTF-8 inside, UTF-16 at the calls.
#include <windows.h>

#include "formats/atomicfile.h"
#include "formats/fileerror.h"
#include "formats/win32_text.h"

namespace {

std::wstring TempName(const std::wstring& target) {
  static LONG counter = 0;
  return target + L".morvala-" + std::to_wstring(::GetCurrentProcessId()) + L"-" +
         std::to_wstring(::InterlockedIncrement(&counter));
}

bool IsFolder(const std::wstring& path) {
  const DWORD a = ::GetFileAttributesW(path.c_str());
  return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}

}  // namespace

AtomicFile::AtomicFile(const std::string& target) : target_(target) {
  if (target.empty()) throw EInOutError(ERROR_PATH_NOT_FOUND);
  if (target.back() == '/' || target.back() == '\\' || IsFolder(Widen(target)))
    throw EInOutError(ERROR_ACCESS_DENIED);
  const std::wstring temp = TempName(Widen(target));
  HANDLE h = ::CreateFileW(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) throw EInOutError(static_cast<int>(::GetLastError()));
  handle_ = h;
  const char* p = reinterpret_cast<const char*>(temp.c_str());
  path_.assign(p, p + (temp.size() + 1) * sizeof(wchar_t));
}

AtomicFile::~AtomicFile() {
  if (handle_ != nullptr) ::CloseHandle(static_cast<HANDLE>(handle_));
  if (!committed_ && !path_.empty()) ::DeleteFileW(reinterpret_cast<const wchar_t*>(path_.data()));
}

void AtomicFile::Write(const std::string& data) {
  size_t done = 0;
  while (done < data.size()) {
    DWORD n = 0;
    if (!::WriteFile(static_cast<HANDLE>(handle_), data.data() + done,
                     static_cast<DWORD>(data.size() - done), &n, nullptr))
      throw EInOutError(static_cast<int>(::GetLastError()));
    if (n == 0) throw EInOutError(ERROR_DISK_FULL);
    done += n;
  }
}

void AtomicFile::Commit() {
  HANDLE h = static_cast<HANDLE>(handle_);
  if (!::FlushFileBuffers(h)) throw EInOutError(static_cast<int>(::GetLastError()));
  handle_ = nullptr;
  if (!::CloseHandle(h)) throw EInOutError(static_cast<int>(::GetLastError()));
  const wchar_t* temp = reinterpret_cast<const wchar_t*>(path_.data());
  const std::wstring target = Widen(target_);
  BOOL ok;
  if (::GetFileAttributesW(target.c_str()) != INVALID_FILE_ATTRIBUTES) {
    // A target that another program holds open without letting it be deleted cannot be
    // replaced: say so before ReplaceFileW tries (Wine's leaves a stray file behind).
    HANDLE probe = ::CreateFileW(target.c_str(), DELETE,
                                 FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                 OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (probe == INVALID_HANDLE_VALUE) throw EInOutError(static_cast<int>(::GetLastError()));
    ::CloseHandle(probe);
    ok = ::ReplaceFileW(target.c_str(), temp, nullptr, REPLACEFILE_IGNORE_MERGE_ERRORS, nullptr,
                        nullptr);
  } else {
    ok = ::MoveFileExW(temp, target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
  }
  if (!ok) throw EInOutError(static_cast<int>(::GetLastError()));
  committed_ = true;
}

void AtomicFile::WriteWhole(const std::string& path, const std::string& text) {
  AtomicFile file(path);
  file.Write(text);
  file.Commit();
}

std::string ReadPlainFile(const std::string& path, size_t limit) {
  const std::wstring wide = Widen(path);
  if (IsFolder(wide)) throw EInOutError(ERROR_ACCESS_DENIED, FileOp::Read);
  HANDLE h = ::CreateFileW(wide.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                           OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE)
    throw EInOutError(static_cast<int>(::GetLastError()), FileOp::Read);
  if (::GetFileType(h) != FILE_TYPE_DISK) {
    ::CloseHandle(h);
    throw EInOutError(ERROR_INVALID_NAME, FileOp::Read);
  }
  std::string text;
  char buf[65536];
  while (text.size() <= limit) {
    DWORD n = 0;
    if (!::ReadFile(h, buf, sizeof buf, &n, nullptr)) {
      const DWORD err = ::GetLastError();
      ::CloseHandle(h);
      throw EInOutError(static_cast<int>(err), FileOp::Read);
    }
    if (n == 0) break;
    text.append(buf, n);
  }
  ::CloseHandle(h);
  if (text.size() > limit + 1) text.resize(limit + 1);
  return text;
}
