// The serial devices that the setup dialog offers in its Port list.
#pragma once

#include <string>
#include <vector>

struct SerialPortRoots {
  std::string sysClassTty = "/sys/class/tty";
  std::string dev = "/dev";
  std::string byId = "/dev/serial/by-id";
};

// The ttys under roots.sysClassTty with real hardware behind them (a "device" link; a
// ttyS port whose UART type is unknown, a placeholder, is left out) whose device node
// roots.dev/NAME exists, as roots.dev/NAME; the links in roots.byId that lead to one of
// them; and currentPort when it names an existing device (TCustomComPort::DevicePath)
// and is not an item already. Sorted without regard to case, no duplicates.
// An unreadable roots.sysClassTty raises EComPort cePortList "Registry error" with errno.
std::vector<std::string> ListSerialPorts(const std::string& currentPort = "",
                                         const SerialPortRoots& roots = SerialPortRoots());
