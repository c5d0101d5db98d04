// The kernel's struct termios2 and its two requests, which set any rate as a number
// (BOTHER). asm/termbits.h, where the kernel defines them, clashes with termios.h, so they
// are spelled out here, in the layout of the kernel's asm-generic termbits.
#pragma once

#include <sys/ioctl.h>
#include <termios.h>

struct KernelTermios2 {
  tcflag_t c_iflag;
  tcflag_t c_oflag;
  tcflag_t c_cflag;
  tcflag_t c_lflag;
  cc_t c_line;
  cc_t c_cc[19];
  speed_t c_ispeed;
  speed_t c_ospeed;
};

constexpr unsigned long kTcGets2 = _IOR('T', 0x2A, KernelTermios2);
constexpr unsigned long kTcSets2 = _IOW('T', 0x2B, KernelTermios2);
// The rate code meaning "the rate is the number in c_ispeed / c_ospeed".
constexpr tcflag_t kBother = 0010000;
// The input rate code sits this far above the output rate code in c_cflag.
constexpr int kIbShift = 16;
