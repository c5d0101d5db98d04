// Time as the tests see it: the steady clock in milliseconds, the process's CPU time, and
// a bounded wait for a condition.
#pragma once

#include <sys/resource.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <thread>

inline int64_t NowMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

// Process CPU time (user + system) in milliseconds.
inline int64_t CpuMs() {
  struct rusage ru;
  ::getrusage(RUSAGE_SELF, &ru);
  return (ru.ru_utime.tv_sec + ru.ru_stime.tv_sec) * 1000LL +
         (ru.ru_utime.tv_usec + ru.ru_stime.tv_usec) / 1000;
}

// Checks the condition every 2 ms until it holds (true) or ms have passed (false). The
// bound is generous, for a busy machine; the wait ends as soon as the condition holds.
inline bool WaitUntil(const std::function<bool()>& condition, int ms = 10000) {
  const int64_t end = NowMs() + ms;
  while (!condition()) {
    if (NowMs() > end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  return true;
}
