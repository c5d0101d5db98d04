// A window test: the window session of tests/support/window_session.h, every step that has
// no result to return reported as a test failure. The test main's watchdog bounds it.
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QTest>

#include "tests/support/window_session.h"

class WindowTest : public ::testing::Test, public WindowSession {
 protected:
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
