#include "tests/support/testmain.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>

namespace {

// The running test's name, kept where the signal handler may read it.
char runningTest[512] = "(between tests)";

void OnWatchdog(int) {
  static const char lead[] = "\nwatchdog: the test ran over its time and is stopped: ";
  (void)!::write(STDERR_FILENO, lead, sizeof lead - 1);
  (void)!::write(STDERR_FILENO, runningTest, std::strlen(runningTest));
  (void)!::write(STDERR_FILENO, "\n", 1);
  ::_exit(3);
}

class Watchdog : public ::testing::EmptyTestEventListener {
  void OnTestStart(const ::testing::TestInfo& test) override {
    std::snprintf(runningTest, sizeof runningTest, "%s.%s", test.test_suite_name(), test.name());
    ::alarm(kTestWatchdogSeconds);
  }
  void OnTestEnd(const ::testing::TestInfo&) override {
    ::alarm(0);
    std::strcpy(runningTest, "(between tests)");
  }
};

}  // namespace

int RunAllTests(int& argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  ::signal(SIGPIPE, SIG_IGN);
  ::signal(SIGALRM, OnWatchdog);
  ::testing::UnitTest::GetInstance()->listeners().Append(new Watchdog);
  return RUN_ALL_TESTS();
}
