// A line in memory for protocol tests and fuzz targets: the test schedules the logger's
// bytes on the line's own clock, answers the program's writes, and lets the port fail.
// The clock moves only when the exchange waits (a read that finds nothing takes one read
// time-out, a pause takes its length), so hours on the line take no real time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <vector>

#include "serial/line.h"

class ScriptedLine : public SerialLine {
 public:
  // The port's usual read time-out: what a read that finds nothing costs.
  static constexpr int kReadTimeoutMs = 20;

  // ---- the logger's side ----
  // Bytes that arrive now, or right after the bytes scheduled before them.
  void Send(const std::vector<uint8_t>& bytes);
  void Send(const uint8_t* bytes, size_t count);
  // Bytes whose first comes pauseMs after the last scheduled byte (or after now, when
  // that is later); the rest follow at once.
  void SendAfter(int pauseMs, const std::vector<uint8_t>& bytes);
  // Runs on every write with the bytes written: a logger or bootloader that answers.
  std::function<void(const std::vector<uint8_t>&)> onWrite;
  // Everything the program wrote, in order.
  const std::vector<uint8_t>& Written() const { return written_; }
  // Scheduled bytes not yet taken, arrived or not.
  size_t Unread() const { return queue_.size(); }
  // Time that passes outside the exchange's own waits (a sleep of the user interface).
  void Advance(int ms) { now_ += ms; }

  // ---- faults and states ----
  void SetConnected(bool connected) { connected_ = connected; }
  // Open raises EComPort ceOpen.
  void FailOpen(bool fail) { failOpen_ = fail; }
  // The device disappears: once the scheduled bytes are taken, every read raises
  // EComPort ceRead.
  void HangUp() { hungUp_ = true; }
  // Written bytes stay in the transmit queue (a line held by flow control).
  void HoldOutput(bool hold) { holdOutput_ = hold; }
  // The port's write time-out: multiplier per byte and constant, in ms.
  void SetWriteTimeouts(int64_t multiplier, int64_t constant) {
    writeMultiplier_ = multiplier;
    writeConstant_ = constant;
  }
  // Back to a connected, empty line at time 0.
  void Reset();

  // ---- SerialLine ----
  bool Connected() const override { return connected_; }
  void Open() override;
  int32_t Write(const void* bytes, int32_t count) override;
  int64_t WriteTimeoutMs(int32_t count) const override {
    return writeMultiplier_ * count + writeConstant_;
  }
  std::optional<uint8_t> Receive() override;
  std::optional<uint8_t> TakeReceived() override;
  int32_t ReadDirect(void* buffer, int32_t count, int timeoutMs) override;
  void Purge(bool input, bool output) override;
  int32_t PendingInput() override;
  int32_t PendingOutput() override;
  int64_t NowMs() override { return now_; }
  void SleepMs(int ms) override { now_ += ms; }

 private:
  struct Arrival {
    int64_t at;
    uint8_t byte;
  };
  // Waits up to waitMs for the next byte; true when one has arrived by then. A byte that
  // arrives exactly when the wait ends is not seen by it.
  bool WaitForByte(int waitMs);
  void CheckOpen(int error) const;
  int64_t LastArrival() const;

  std::deque<Arrival> queue_;
  std::vector<uint8_t> written_;
  int64_t now_ = 0;
  int32_t pendingOutput_ = 0;
  bool connected_ = true;
  bool failOpen_ = false;
  bool hungUp_ = false;
  bool holdOutput_ = false;
  int64_t writeMultiplier_ = 100;
  int64_t writeConstant_ = 1000;
};
