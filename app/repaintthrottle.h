// Limits the paints of something that changes far more often than a screen can show: a
// paint goes to the screen at most about 60 times a second, so that at high line rates
// the screen does not become the limit of an exchange. A change that comes too soon is
// remembered as pending; the next paint, whether due or forced, takes it along.
#pragma once

#include <chrono>
#include <functional>

class RepaintThrottle {
 public:
  using Clock = std::chrono::steady_clock;
  static constexpr std::chrono::milliseconds kInterval{16};

  explicit RepaintThrottle(std::function<Clock::time_point()> now = &Clock::now)
      : now_(std::move(now)) {}

  // Whether a paint asked for now goes to the screen. When it does, it counts as done
  // now; when it does not, a paint is pending.
  bool Due() {
    const Clock::time_point now = now_();
    if (painted_ && now - last_ < kInterval) {
      pending_ = true;
      return false;
    }
    MarkPainted(now);
    return true;
  }

  // A paint made without asking (the last state before a result, a changed prompt).
  void Painted() { MarkPainted(now_()); }

  bool Pending() const { return pending_; }

 private:
  void MarkPainted(Clock::time_point now) {
    last_ = now;
    painted_ = true;
    pending_ = false;
  }

  std::function<Clock::time_point()> now_;
  Clock::time_point last_{};
  bool painted_ = false;
  bool pending_ = false;
};
