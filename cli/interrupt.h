// Ctrl-C and SIGTERM during an exchange: the handlers only note the signal; the line the
// exchanges talk on looks at the note whenever it waits (in slices of at most 50 ms) and
// ends the exchange with Interrupted. The port is then closed by its owner as on any
// other error, and nothing is written.
#pragma once

#include <stdexcept>

#include "serial/line.h"
#include "serial/portline.h"

class MainThreadSync;

namespace cli {

class Interrupted : public std::runtime_error {
 public:
  explicit Interrupted(int signal) : std::runtime_error("abgebrochen"), signal_(signal) {}
  int Signal() const { return signal_; }

 private:
  int signal_;
};

// Installs the handlers of SIGINT and SIGTERM (POSIX), of Ctrl-C, Ctrl-Break and the
// console's close (Windows, noted as SIGINT); one file per system.
void CatchInterrupts();
// What the handlers do: note the signal (async-signal-safe).
void NoteInterrupt(int signal);
// The signal noted, 0 for none.
int InterruptSignal();
// Throws Interrupted when a signal was noted.
void ThrowIfInterrupted();
// A pause that ends early with Interrupted.
void SleepInterruptibly(int ms);

// The port's line without a window: the port's receive batches, handed over for the main
// thread, run whenever the line is used (the tool's own small event loop), and every wait
// looks at the signals. Without a ring (the firmware update, which reads straight from the
// port) nothing is handed over and the line reads the port alone.
class ToolLine : public SerialLine {
 public:
  ToolLine(TCustomComPort& port, ReceiveRing& ring, MainThreadSync& sync)
      : inner_(port, ring), ring_(&ring), sync_(&sync) {}
  explicit ToolLine(TCustomComPort& port) : inner_(port) {}

  bool Connected() const override { return inner_.Connected(); }
  void Open() override;
  int32_t Write(const void* bytes, int32_t count) override;
  int64_t WriteTimeoutMs(int32_t count) const override { return inner_.WriteTimeoutMs(count); }
  std::optional<uint8_t> Receive() override;
  std::optional<uint8_t> TakeReceived() override;
  int32_t ReadDirect(void* buffer, int32_t count, int timeoutMs) override;
  void Purge(bool input, bool output) override;
  int32_t PendingInput() override;
  int32_t PendingOutput() override;
  int64_t NowMs() override { return inner_.NowMs(); }
  void SleepMs(int ms) override;

 private:
  void Pump();
  PortLine inner_;
  ReceiveRing* ring_ = nullptr;
  MainThreadSync* sync_ = nullptr;
};

}  // namespace cli
