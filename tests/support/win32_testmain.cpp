// How the test programs run on Windows: GoogleTest and one watchdog for every test, a
// thread that ends the program with the test's name when the test runs over its time.
#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>
#include <thread>

#include "tests/support/testmain.h"

namespace {

// The watch's state lives as long as the process (its thread is never joined); the
// listener that GoogleTest owns and deletes at the end only points to it.
struct Watch {
  Watch() {
    std::thread([this] { Run(); }).detach();
  }
  void Start(const ::testing::TestInfo& test) {
    std::lock_guard<std::mutex> lock(mutex_);
    running_ = std::string(test.test_suite_name()) + "." + test.name();
    deadline_ = std::chrono::steady_clock::now() + std::chrono::seconds(kTestWatchdogSeconds);
    armed_ = true;
    cv_.notify_all();
  }
  void End() {
    std::lock_guard<std::mutex> lock(mutex_);
    armed_ = false;
    cv_.notify_all();
  }
  void Run() {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
      if (!armed_) {
        cv_.wait(lock);
        continue;
      }
      if (cv_.wait_until(lock, deadline_) == std::cv_status::timeout && armed_ &&
          std::chrono::steady_clock::now() >= deadline_) {
        std::fprintf(stderr, "\nwatchdog: the test ran over its time and is stopped: %s\n",
                     running_.c_str());
        std::fflush(stderr);
        std::_Exit(3);
      }
    }
  }

  std::mutex mutex_;
  std::condition_variable cv_;
  std::string running_;
  std::chrono::steady_clock::time_point deadline_;
  bool armed_ = false;
};

class Watchdog : public ::testing::EmptyTestEventListener {
  void OnTestStart(const ::testing::TestInfo& test) override { watch_->Start(test); }
  void OnTestEnd(const ::testing::TestInfo&) override { watch_->End(); }
  Watch* watch_ = new Watch;
};

}  // namespace

int RunAllTests(int& argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  ::testing::UnitTest::GetInstance()->listeners().Append(new Watchdog);
  return RUN_ALL_TESTS();
}

int main(int argc, char** argv) { return RunAllTests(argc, argv); }
