#include "tests/support/window_fixture.h"

void WindowTest::SetUp() {
  onFailure = [](const std::string& what) { ADD_FAILURE() << what; };
  ASSERT_TRUE(Ok());
}

void WindowTest::TearDown() { Close(); }

void WindowTest::StartFullSpeed(const loggersim::SimFlight& f) {
  loggersim::SimOptions o = QuickOptions();
  o.baud = 0;
  StartSim(o, f);
  CreateWindow();
}
