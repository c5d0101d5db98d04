// The serial tests' port on a pseudo-terminal, and the window's thread played by the test.
#pragma once

#include <unistd.h>

#include <functional>

#include "serial/comport.h"
#include "serial/mainsync.h"
#include "tests/support/clock.h"
#include "tests/support/pty.h"

// Plays the window's thread: runs handed-over batches until pred holds or ms passed.
inline bool PumpUntil(MainThreadSync& sync, const std::function<bool()>& pred, int ms = 2000) {
  return WaitUntil(
      [&] {
        if (pred()) return true;
        sync.RunPending();
        return false;
      },
      ms);
}

// ComPort1 as the window has it, on the slave of pty, with its own hand-over.
inline void SetUpPort(TCustomComPort& port, const PtyPair& pty, MainThreadSync& sync) {
  ApplyComPort1Design(port);
  port.SetPort(pty.path);
  port.SetMainThreadSync(&sync);
}
