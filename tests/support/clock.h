// Time as the tests see it: the steady clock in milliseconds, the process's CPU time, and
// a bounded wait for a condition.
#pragma once

#include <chrono>
#include <ctime>
#include <cstdint>
#include <functional>
#include <thread>

inline int64_t NowMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

// Process CPU time (user + system) in milliseconds. (The Windows C library counts wall
// time since the start here; the Windows tests do not use it.)
inline int64_t CpuMs() { return static_cast<int64_t>(std::clock()) * 1000 / CLOCKS_PER_SEC; }

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
