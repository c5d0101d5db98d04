// Temporary folders, whole files and environment variables for the tests on Windows.
// Environment variables are set with the wide calls that the settings folder reads.
#include <windows.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "tests/support/files.h"
#include "formats/win32_text.h"

TempDir::TempDir(const std::string& base) {
  std::string folder = base;
  if (folder.empty()) {
    wchar_t buf[MAX_PATH + 1];
    const DWORD n = ::GetTempPathW(MAX_PATH + 1, buf);
    folder = n > 0 ? Narrow(std::wstring(buf, n)) : std::string("C:\\");
  }
  while (!folder.empty() && (folder.back() == '\\' || folder.back() == '/')) folder.pop_back();
  static LONG counter = 0;
  for (int attempt = 0; attempt < 100; ++attempt) {
    const std::string candidate = folder + "\\morvala-test-" +
                                  std::to_string(::GetCurrentProcessId()) + "-" +
                                  std::to_string(::InterlockedIncrement(&counter));
    if (::CreateDirectoryW(Widen(candidate).c_str(), nullptr)) {
      path_ = candidate;
      return;
    }
  }
}

TempDir::~TempDir() {
  if (path_.empty()) return;
  std::error_code ec;
  std::filesystem::remove_all(std::filesystem::path(Widen(path_)), ec);
}

std::string TempDir::Write(const std::string& name, const std::string& bytes) const {
  const std::string path = *this / name;
  WriteFile(path, bytes);
  return path;
}

const TempDir& ProgramTempDir() {
  static const TempDir dir;
  return dir;
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(std::filesystem::path(Widen(path)), std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool WriteFile(const std::string& path, const std::string& bytes) {
  std::ofstream out(std::filesystem::path(Widen(path)), std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  out.close();
  return static_cast<bool>(out);
}

ScopedEnv::ScopedEnv(const std::string& name, const char* value) : name_(name) {
  wchar_t buf[32768];
  const DWORD n = ::GetEnvironmentVariableW(Widen(name).c_str(), buf, 32768);
  if (n > 0 && n < 32768) old_ = Narrow(std::wstring(buf, n));
  ::SetEnvironmentVariableW(Widen(name).c_str(), value ? Widen(value).c_str() : nullptr);
}

ScopedEnv::~ScopedEnv() {
  ::SetEnvironmentVariableW(Widen(name_).c_str(), old_ ? Widen(*old_).c_str() : nullptr);
}
