// The terminal-settings calls of a serial device behind one small interface: the device
// uses the system's calls; a test puts in a terminal of its own, to play a driver that
// refuses or bends a setting, which a pseudo-terminal never does.
#pragma once

#include "serial/termios2.h"

class TerminalSettingsIo {
 public:
  virtual ~TerminalSettingsIo() = default;
  // Each call answers 0, or the errno of its failure.
  virtual int Get(int fd, struct termios& tio) = 0;              // tcgetattr
  virtual int Set(int fd, const struct termios& tio) = 0;        // tcsetattr, TCSANOW
  virtual int GetKernel(int fd, KernelTermios2& tio) = 0;        // TCGETS2
  virtual int SetKernel(int fd, const KernelTermios2& tio) = 0;  // TCSETS2
  virtual int ModemLines(int fd, int& bits) = 0;                 // TIOCMGET
  virtual int RaiseModemLines(int fd, int bits) = 0;             // TIOCMBIS
  virtual int DropModemLines(int fd, int bits) = 0;              // TIOCMBIC
  // A pseudo-terminal has no rate and no modem lines, and keeps 8 data bits without
  // parity whatever it is asked for.
  virtual bool IsPseudoTerminal(int fd) = 0;
};

// The system's calls.
TerminalSettingsIo& SystemTerminalSettings();
