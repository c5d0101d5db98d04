// A window test: the window session of tests/support/window_session.h with a watchdog, and
// every step that has no result to return reported as a test failure.
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QTest>

#include "tests/support/window_session.h"

class WindowTest : public ::testing::Test, public WindowSession {
 protected:
  // Long enough for the slowest test, a logger that never stops sending until the table
  // is full (bounded at three minutes), and short of the 300 s that scripts/test.sh gives
  // a test, so that a hung test ends with this alarm and not as a time-out of the runner.
  static constexpr unsigned kWatchdogSeconds = 240;

  void SetUp() override;
  void TearDown() override;

  // A logger with this flight that sends as fast as the line takes it, and the window.
  void StartFullSpeed(const loggersim::SimFlight& f);

  // A new logger (the arguments of StartSim), the window, and the configuration read as
  // the user starts it.
  template <typename... SimArgs>
  void ReadNewLogger(const SimArgs&... simArgs) {
    StartSim(simArgs...);
    CreateWindow();
    ReadConfiguration();
  }
};
