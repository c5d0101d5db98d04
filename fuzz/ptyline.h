// A port for the exchange fuzz targets: a TComPort opened on the slave side of a
// pseudo-terminal, with reads that return at once (read interval all ones, totals 0), no
// event thread, and the master side kept by the target to see what the program sends.
// The logger's bytes are put into the receive ring with Append before the exchange runs,
// so the port itself never has anything to read: an empty ring is a time-out at once.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "serial/comport.h"
#include "serial/rxring.h"

class PtyLine {
 public:
  PtyLine() {
    int slave = -1;
    char name[256] = {};
    if (::openpty(&master_, &slave, name, nullptr, nullptr) != 0) Die("openpty");
    // Keep the slave open here too, so the line never hangs up between inputs.
    slave_ = slave;
    struct termios raw;
    ::tcgetattr(master_, &raw);
    ::cfmakeraw(&raw);
    ::tcsetattr(master_, TCSANOW, &raw);
    ::fcntl(master_, F_SETFL, ::fcntl(master_, F_GETFL) | O_NONBLOCK);
    port_ = std::make_unique<TComPort>("ComPort1");
    ApplyComPort1Design(*port_);
    port_->SetPort(name);
    port_->SetEvents(TComEvents{});  // no event thread: nothing to hand over
    port_->Timeouts().SetReadTotalConstant(0);
    port_->Open();
    ring_ = std::make_unique<ReceiveRing>(*port_, [this](const std::string&) { ++messages_; });
  }

  TComPort& Port() { return *port_; }
  ReceiveRing& Ring() { return *ring_; }
  int Messages() const { return messages_; }

  // Empties the ring and the master side before the next input.
  void Reset() {
    ring_->RxTail = ring_->RxHead;
    ring_->RxByte = 0;
    ring_->RxTimedOut = false;
    messages_ = 0;
    Sent(0, 0);
  }

  // The logger's bytes, as if the port had delivered them.
  void Feed(const uint8_t* data, size_t size) {
    if (ring_->Append(data, static_cast<int32_t>(size)) != static_cast<int32_t>(size))
      Die("input does not fit the ring");
  }

  // What the program has written so far: waits until `want` bytes came or maxMs passed
  // (the pseudo-terminal hands bytes over asynchronously, usually within microseconds).
  std::vector<uint8_t> Sent(size_t want, int maxMs) {
    std::vector<uint8_t> out;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(maxMs);
    for (;;) {
      uint8_t buf[512];
      const ssize_t n = ::read(master_, buf, sizeof buf);
      if (n > 0) {
        out.insert(out.end(), buf, buf + n);
        continue;
      }
      if (out.size() >= want) break;
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
          deadline - std::chrono::steady_clock::now()).count();
      if (left <= 0) break;
      struct pollfd p = {master_, POLLIN, 0};
      ::poll(&p, 1, static_cast<int>(left));
    }
    return out;
  }

  [[noreturn]] static void Die(const char* what) {
    std::fprintf(stderr, "fuzz harness: %s\n", what);
    std::abort();
  }

 private:
  int master_ = -1;
  int slave_ = -1;
  std::unique_ptr<TComPort> port_;
  std::unique_ptr<ReceiveRing> ring_;
  int messages_ = 0;
};
