// Pseudo-terminal pairs and small timing helpers for the serial tests.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <string>
#include <thread>

#include "serial/comport.h"
#include "serial/mainsync.h"

// The test side of a line: the master of a pseudo-terminal; the port opens the slave.
struct Pty {
  int master = -1;
  int slave = -1;
  std::string path;

  Pty() {
    if (::openpty(&master, &slave, nullptr, nullptr, nullptr) != 0) return;
    path = ::ttyname(slave);
    ::fcntl(master, F_SETFL, ::fcntl(master, F_GETFL) | O_NONBLOCK);
  }
  ~Pty() {
    CloseMaster();
    if (slave >= 0) ::close(slave);
  }
  bool Ok() const { return master >= 0 && !path.empty(); }
  void CloseMaster() {
    if (master >= 0) ::close(master);
    master = -1;
  }
  void Send(const std::string& bytes) const {
    size_t done = 0;
    while (done < bytes.size()) {
      ssize_t n = ::write(master, bytes.data() + done, bytes.size() - done);
      if (n > 0) {
        done += static_cast<size_t>(n);
      } else {
        struct pollfd p = {master, POLLOUT, 0};
        if (::poll(&p, 1, 1000) <= 0) return;
      }
    }
  }
  // Everything the port sent, collected until the line has been quiet for quietMs.
  std::string Received(int quietMs = 100) const {
    std::string out;
    char buf[4096];
    for (;;) {
      struct pollfd p = {master, POLLIN, 0};
      if (::poll(&p, 1, quietMs) <= 0) break;
      ssize_t n = ::read(master, buf, sizeof buf);
      if (n <= 0) break;
      out.append(buf, static_cast<size_t>(n));
    }
    return out;
  }
};

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

// Plays the window's thread: runs handed-over batches until pred holds or ms passed.
inline bool PumpUntil(MainThreadSync& sync, const std::function<bool()>& pred, int ms = 2000) {
  const int64_t end = NowMs() + ms;
  while (!pred()) {
    if (NowMs() > end) return false;
    sync.RunPending();
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  return true;
}

inline bool WaitUntil(const std::function<bool()>& pred, int ms = 2000) {
  const int64_t end = NowMs() + ms;
  while (!pred()) {
    if (NowMs() > end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  return true;
}

// A test that deadlocks ends the program instead of hanging the run.
inline void ArmWatchdog(unsigned seconds = 60) { ::alarm(seconds); }

// ComPort1 as the window has it, on the slave of pty, with its own hand-over.
inline void SetUpPort(TCustomComPort& port, const Pty& pty, MainThreadSync& sync) {
  ApplyComPort1Design(port);
  port.SetPort(pty.path);
  port.SetMainThreadSync(&sync);
}
