// The serial devices that the setup dialog offers in its Port list.
#pragma once

#include <string>
#include <vector>

// Where the POSIX list looks (tests give folders of their own); Windows reads the
// registry and ignores them.
struct SerialPortRoots {
  std::string sysClassTty = "/sys/class/tty";
  std::string dev = "/dev";
  std::string byId = "/dev/serial/by-id";
};

// POSIX (posix_portlist.cpp): the ttys under roots.sysClassTty with real hardware behind
// them (a "device" link; a ttyS port whose UART type is unknown, a placeholder, is left
// out) whose device node roots.dev/NAME exists, as roots.dev/NAME; the links in
// roots.byId that lead to one of them; and currentPort when it names an existing device
// (TCustomComPort::DevicePath) and is not an item already. Sorted without regard to case,
// no duplicates. An unreadable roots.sysClassTty raises EComPort cePortList "Registry
// error" with errno.
// Windows (win32_portlist.cpp): the device names under HKLM\HARDWARE\DEVICEMAP\SERIALCOMM
// and currentPort when such a device exists; a registry failure raises cePortList with
// its code. Sorted as SortPortNames does.
std::vector<std::string> ListSerialPorts(const std::string& currentPort = "",
                                         const SerialPortRoots& roots = SerialPortRoots());

// COMn names first, by their number (COM2 before COM10), then every other name without
// regard to case; duplicates (without regard to case) removed.
void SortPortNames(std::vector<std::string>& names);
