#include "serial/terminal_settings.h"

#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <cerrno>

namespace {

int Result(int r) { return r == 0 ? 0 : errno; }

class SystemTerminal : public TerminalSettingsIo {
 public:
  int Get(int fd, struct termios& tio) override { return Result(::tcgetattr(fd, &tio)); }
  int Set(int fd, const struct termios& tio) override {
    return Result(::tcsetattr(fd, TCSANOW, &tio));
  }
  int GetKernel(int fd, KernelTermios2& tio) override {
    return Result(::ioctl(fd, kTcGets2, &tio));
  }
  int SetKernel(int fd, const KernelTermios2& tio) override {
    return Result(::ioctl(fd, kTcSets2, &tio));
  }
  int ModemLines(int fd, int& bits) override { return Result(::ioctl(fd, TIOCMGET, &bits)); }
  int RaiseModemLines(int fd, int bits) override { return Result(::ioctl(fd, TIOCMBIS, &bits)); }
  int DropModemLines(int fd, int bits) override { return Result(::ioctl(fd, TIOCMBIC, &bits)); }
  bool IsPseudoTerminal(int fd) override {
    struct stat st;
    if (::fstat(fd, &st) != 0 || !S_ISCHR(st.st_mode)) return false;
    const unsigned maj = major(st.st_rdev);
    return (maj >= 136 && maj <= 143) || maj == 3;  // Unix 98 slaves, BSD-style slaves
  }
};

}  // namespace

TerminalSettingsIo& SystemTerminalSettings() {
  static SystemTerminal terminal;
  return terminal;
}
