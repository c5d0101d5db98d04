// The test side of the configuration exchanges: a pseudo-terminal whose master plays the
// logger by hand, a UserIO that records what the user would see and sleeps a tenth of
// what is asked, and a view that records the control changes.
#pragma once

#include <poll.h>
#include <pty.h>
#include <unistd.h>
#include <fcntl.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "config/configread.h"
#include "config/configwrite.h"
#include "userio/userio.h"

inline int64_t NowMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

// The far end of the line.
struct Line {
  int master = -1;
  int slave = -1;
  std::string path;

  Line() {
    if (::openpty(&master, &slave, nullptr, nullptr, nullptr) != 0) return;
    path = ::ttyname(slave);
    ::fcntl(master, F_SETFL, ::fcntl(master, F_GETFL) | O_NONBLOCK);
  }
  ~Line() {
    if (master >= 0) ::close(master);
    if (slave >= 0) ::close(slave);
  }
  bool Ok() const { return master >= 0 && !path.empty(); }

  void Send(const std::vector<uint8_t>& bytes) const {
    size_t done = 0;
    const int64_t end = NowMs() + 2000;
    while (done < bytes.size() && NowMs() < end) {
      ssize_t n = ::write(master, bytes.data() + done, bytes.size() - done);
      if (n > 0) {
        done += static_cast<size_t>(n);
      } else {
        struct pollfd p = {master, POLLOUT, 0};
        ::poll(&p, 1, 50);
      }
    }
  }
  // What the program sent, collected until the line is quiet for quietMs.
  std::vector<uint8_t> Received(int quietMs = 100) const {
    std::vector<uint8_t> out;
    uint8_t buf[4096];
    const int64_t end = NowMs() + 5000;
    while (NowMs() < end) {
      struct pollfd p = {master, POLLIN, 0};
      if (::poll(&p, 1, quietMs) <= 0) break;
      ssize_t n = ::read(master, buf, sizeof buf);
      if (n <= 0) break;
      out.insert(out.end(), buf, buf + n);
    }
    return out;
  }
};

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

class RecordingIO : public UserIO {
 public:
  uint32_t color = clBtnFace;
  std::string panel[2];
  std::vector<uint32_t> colors;
  std::vector<std::string> panel1History;
  std::vector<int> sleeps;
  std::vector<std::string> messages;
  int repaintStatus = 0;
  int repaintWindow = 0;
  int beeps = 0;
  int divisor = 10;
  // Runs at every sleep with the number of the sleep (1-based): the polls of the wait.
  std::function<void(int)> onSleep;

  void SetStatusColor(uint32_t c) override {
    color = c;
    colors.push_back(c);
  }
  void SetStatusText(int p, const std::string& text) override {
    panel[p & 1] = text;
    if (p == 1) panel1History.push_back(text);
  }
  std::string StatusText(int p) const override { return panel[p & 1]; }
  void RepaintStatus() override { ++repaintStatus; }
  void RepaintWindow() override { ++repaintWindow; }
  void ShowMessage(BoxKind, const std::string& text) override { messages.push_back(text); }
  bool Confirm(const std::string&) override { return false; }
  std::optional<std::string> OpenFileName(const std::string&, const std::string&) override {
    return std::nullopt;
  }
  std::optional<std::string> SaveFileName(const std::string&, const std::string&) override {
    return std::nullopt;
  }
  void Beep() override { ++beeps; }
  void SleepMs(int ms) override {
    sleeps.push_back(ms);
    if (onSleep) onSleep(static_cast<int>(sleeps.size()));
    std::this_thread::sleep_for(std::chrono::milliseconds(ms / divisor));
  }
};

class RecordingView : public ConfigReadView, public ConfigWriteView {
 public:
  std::vector<std::string> calls;
  std::vector<LoggerConfig> loaded;
  bool warteVisible = false;
  bool throwOnLoad = false;

  void ZeroFirstSampleRecords() override { calls.push_back("zero"); }
  void ShowStartbuttonFocused() override { calls.push_back("start"); }
  void ShowResetButton() override { calls.push_back("reset"); }
  void SetWarteLabelVisible(bool v) override {
    warteVisible = v;
    calls.push_back(v ? "warte+" : "warte-");
  }
  void ShowConfigControls() override { calls.push_back("show"); }
  void LoadControls(const LoggerConfig& cfg) override {
    calls.push_back("load");
    loaded.push_back(cfg);
    if (throwOnLoad) throw std::runtime_error("view fault");
  }
  void FinishRead() override { calls.push_back("finish"); }
  void SetEepromLabel(const std::string& text) override { calls.push_back(text); }
  void HideSchreibButton() override { calls.push_back("hideSchreib"); }
  void HideLoggerAndStartButtons() override { calls.push_back("hideButtons"); }

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

inline bool PanelHas(const RecordingIO& io, const std::string& text) {
  for (const auto& t : io.panel1History)
    if (t == text) return true;
  return false;
}
