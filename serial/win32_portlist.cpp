// Port list on Windows: the device names under HKLM\HARDWARE\DEVICEMAP\SERIALCOMM, with
// the current Port when the system knows a device of that name, sorted
// COM1, COM2, ..., COM10 by number and other names without regard to case.
#include <windows.h>

#include <algorithm>
#include <cctype>

#include "serial/comport.h"
#include "serial/portlist.h"
#include "serial/serial_device.h"

namespace {

std::string Narrow(const wchar_t* w, size_t len) {
  if (len == 0) return std::string();
  const int n =
      ::WideCharToMultiByte(CP_UTF8, 0, w, static_cast<int>(len), nullptr, 0, nullptr, nullptr);
  std::string s(static_cast<size_t>(n), '\0');
  ::WideCharToMultiByte(CP_UTF8, 0, w, static_cast<int>(len), s.data(), n, nullptr, nullptr);
  return s;
}

std::wstring Widen(const std::string& s) {
  if (s.empty()) return std::wstring();
  const int n = ::MultiByteToWideChar(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), nullptr, 0);
  std::wstring w(static_cast<size_t>(n), L'\0');
  ::MultiByteToWideChar(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), w.data(), n);
  return w;
}

// A device of that name: known to the object manager, or one that answers an open for
// no access at all (Wine resolves its dosdevices links only when they are opened); one
// that another program holds is there as well.
bool DeviceExists(const std::string& name) {
  wchar_t target[1024];
  if (::QueryDosDeviceW(Widen(name).c_str(), target, 1024) != 0) return true;
  HANDLE h = ::CreateFileW(Widen(SerialDevicePath(name)).c_str(), 0,
                           FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
  if (h != INVALID_HANDLE_VALUE) {
    ::CloseHandle(h);
    return true;
  }
  const DWORD err = ::GetLastError();
  return err == ERROR_ACCESS_DENIED || err == ERROR_SHARING_VIOLATION;
}

}  // namespace

std::vector<std::string> ListSerialPorts(const std::string& currentPort, const SerialPortRoots&) {
  HKEY key = nullptr;
  LONG r =
      ::RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"HARDWARE\\DEVICEMAP\\SERIALCOMM", 0, KEY_READ, &key);
  if (r != ERROR_SUCCESS) throw EComPort(cePortList, static_cast<int>(r));
  std::vector<std::string> ports;
  for (DWORD i = 0;; ++i) {
    wchar_t name[256];
    DWORD nameLen = 256;
    BYTE data[512];
    DWORD dataLen = sizeof data;
    DWORD type = 0;
    r = ::RegEnumValueW(key, i, name, &nameLen, nullptr, &type, data, &dataLen);
    if (r == ERROR_NO_MORE_ITEMS) break;
    if (r != ERROR_SUCCESS) {
      ::RegCloseKey(key);
      throw EComPort(cePortList, static_cast<int>(r));
    }
    if (type != REG_SZ) continue;
    const wchar_t* text = reinterpret_cast<const wchar_t*>(data);
    size_t len = dataLen / sizeof(wchar_t);
    while (len > 0 && text[len - 1] == L'\0') --len;
    if (len > 0) ports.push_back(Narrow(text, len));
  }
  ::RegCloseKey(key);
  if (!currentPort.empty() && DeviceExists(currentPort)) ports.push_back(currentPort);
  SortPortNames(ports);
  return ports;
}
