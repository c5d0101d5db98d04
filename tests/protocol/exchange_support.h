// The test side of the configuration exchanges: a logger that babbles, the message as the
// logger sends it, the polls of the wait, and a front end that records the events.
#pragma once

#include <unistd.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "protocol/configread.h"
#include "protocol/configwrite.h"
#include "frontend/configcontrols.h"
#include "serial/comport.h"
#include "serial/mainsync.h"
#include "serial/rxring.h"
#include "tests/support/clock.h"
#include "tests/support/recordinguserio.h"

// A logger that sends one byte value without end, politely: 256 bytes a millisecond.
class Babbler {
 public:
  Babbler(int fd, uint8_t value) : fd_(fd), value_(value) {}
  ~Babbler() { Stop(); }
  void Start() {
    thread_ = std::thread([this] {
      std::vector<uint8_t> chunk(256, value_);
      while (!stop_) {
        ssize_t n = ::write(fd_, chunk.data(), chunk.size());
        if (n > 0) sent_ += n;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
      }
    });
  }
  void Stop() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
  }
  long Sent() const { return sent_; }

 private:
  int fd_;
  uint8_t value_;
  std::atomic<bool> stop_{false};
  std::atomic<long> sent_{0};
  std::thread thread_;
};

// A configuration message as the logger sends it.
inline std::vector<uint8_t> Announce(uint8_t lead, const std::vector<uint8_t>& bytes,
                                     int syncCount = 3, int count = -1) {
  std::vector<uint8_t> m(static_cast<size_t>(syncCount), 0x55);
  m.push_back(lead);
  m.push_back(static_cast<uint8_t>(count >= 0 ? count : static_cast<int>(bytes.size())));
  m.insert(m.end(), bytes.begin(), bytes.end());
  return m;
}

// The polls of the wait: every sleep first runs `atPoll` (if set) with the number of the
// poll (1-based), then passes a divisor-th of its time for real.
inline void OnPoll(RecordingUserIO& io, std::function<void(int)> atPoll, int divisor = 10) {
  io.onSleep = [&io, atPoll, divisor](int ms) {
    if (atPoll) atPoll(static_cast<int>(io.sleeps.size()));
    std::this_thread::sleep_for(std::chrono::milliseconds(ms / divisor));
  };
}

// The front end of the configuration exchanges: the status goes to the recording user,
// every other event is recorded under a short name, in order.
class RecordingView : public StatusOnUserIO<ConfigObserver> {
 public:
  explicit RecordingView(UserIO& io) : StatusOnUserIO(io) {}
  std::vector<std::string> calls;
  std::vector<LoggerConfig> loaded;
  bool warteVisible = false;
  bool throwOnLoad = false;

  void PortOpened() override { calls.push_back("zero"); }
  void Connected() override { calls.push_back("start"); }
  void LineReady() override { calls.push_back("reset"); }
  void DeleteWait(bool v) override {
    warteVisible = v;
    calls.push_back(v ? "warte+" : "warte-");
  }
  void ConfigBytesTaken(const LoggerConfig& cfg) override {
    calls.push_back(EepromText(cfg.EepromKByte));
  }
  void ConfigAcknowledged(const LoggerConfig&) override { calls.push_back("show"); }
  void ConfigRead(const LoggerConfig& cfg) override {
    calls.push_back("load");
    loaded.push_back(cfg);
    if (throwOnLoad) throw std::runtime_error("view fault");
    calls.push_back("finish");
  }
  void WriteSent() override { calls.push_back("hideSchreib"); }
  void WriteEnded() override { calls.push_back("hideButtons"); }

  bool Called(const std::string& what) const {
    for (const auto& c : calls)
      if (c == what) return true;
    return false;
  }
  std::string Joined() const {
    std::string s;
    for (const auto& c : calls) s += c + ",";
    return s;
  }
};

// The window's side of a configuration exchange: ComPort1 as designed with its own
// hand-over, the receive ring (its warnings become boxes), the user, whose polls pass a
// tenth of their time for real, the view and the configuration.
struct ConfigExchange {
  ConfigExchange() { OnPoll(io, nullptr); }

  // The port on the device at path; it opens at the first exchange.
  void Connect(const std::string& path) {
    ApplyComPort1Design(port);
    port.SetPort(path);
    port.SetMainThreadSync(&sync);
  }
  ConfigOutcome Read() { return ReadConfiguration(port, ring, view, cfg, flags); }
  ConfigOutcome Write(const ConfigControls& controls) {
    return WriteConfiguration(port, ring, view, cfg, flags, SettingsFromControls(controls));
  }

  MainThreadSync sync;
  TComPort port;
  RecordingUserIO io;
  ReceiveRing ring{port, [this](const std::string& t) { io.ui.Message(BoxKind::Warning, t); }};
  RecordingView view{io};
  LoggerConfig cfg;
  ConfigFlags flags;
};
