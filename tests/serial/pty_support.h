// The serial tests' port on a pseudo-terminal, and the window's thread played by the test.
#pragma once

#include <gtest/gtest.h>

#include <functional>

#include "serial/comport.h"
#include "serial/mainsync.h"
#include "tests/support/clock.h"
#include "tests/support/pty.h"

// Plays the window's thread: runs handed-over batches until pred holds or ms passed.
inline bool PumpUntil(MainThreadSync& sync, const std::function<bool()>& pred, int ms = 10000) {
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

// ComPort1 as the window has it on the slave of a fresh pseudo-terminal, with its own
// hand-over; Port is the port class the test needs.
template <class Port = TComPort>
class PortOnPtyTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(pty.Ok());
    SetUpPort(port, pty, sync);
  }
  PtyPair pty;
  MainThreadSync sync;
  Port port;
};
