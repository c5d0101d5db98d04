#include "tests/support/window_fixture.h"

#include <unistd.h>

void WindowTest::SetUp() {
  ::alarm(kWatchdogSeconds);  // no test may hang
  onFailure = [](const std::string& what) { ADD_FAILURE() << what; };
  ASSERT_TRUE(Ok());
}

void WindowTest::TearDown() {
  Close();
  ::alarm(0);
}

void WindowTest::StartFullSpeed(const loggersim::SimFlight& f) {
  loggersim::SimOptions o = QuickOptions();
  o.baud = 0;
  StartSim(o, f);
  CreateWindow();
}
