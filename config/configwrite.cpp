#include "config/configwrite.h"

#include <chrono>
#include <stdexcept>
#include <thread>

#include "serial/comport.h"
#include "serial/rxring.h"
#include "userio/userio.h"

namespace {

using Clock = std::chrono::steady_clock;

// Runs its action when the scope ends, also when an exception leaves it.
template <class F>
class ScopeExit {
 public:
  explicit ScopeExit(F f) : f_(std::move(f)) {}
  ~ScopeExit() { f_(); }
  ScopeExit(const ScopeExit&) = delete;
  ScopeExit& operator=(const ScopeExit&) = delete;
 private:
  F f_;
};

// Sends the message one byte per write, then waits until the transmit queue is empty;
// the port's write time-out for the whole message bounds the wait.
void SendMessage(TCustomComPort& port, const std::array<uint8_t, 11>& msg) {
  const auto& t = port.Timeouts();
  const int64_t mult = t.WriteTotalMultiplier() > 0 ? t.WriteTotalMultiplier() : 0;
  const int64_t cons = t.WriteTotalConstant() > 0 ? t.WriteTotalConstant() : 0;
  for (uint8_t b : msg)
    if (port.Write(&b, 1) != 1) throw std::runtime_error(kTextSendIncomplete);
  const auto deadline =
      Clock::now() + std::chrono::milliseconds(mult * static_cast<int64_t>(msg.size()) + cons);
  while (port.PendingOutput() != 0) {
    if (Clock::now() >= deadline) throw std::runtime_error(kTextSendIncomplete);
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
}

}  // namespace

void WriteConfiguration(TCustomComPort& port, ReceiveRing& ring, UserIO& io,
                        ConfigReadView& readView, ConfigWriteView& writeView,
                        LoggerConfig& cfg, ConfigFlags& flags, const ConfigControls& controls,
                        const ConfigReadLimits& limits) {
  PackControls(controls, cfg);
  flags.DeleteInProgress = cfg.DeleteMode() != 0;
  try {
    port.PurgeQueues(true, true);
    SendMessage(port, WriteMessage(cfg));
  } catch (...) {
    // Nothing waits for a delete that may not have been ordered.
    flags.DeleteInProgress = false;
    throw;
  }
  writeView.HideSchreibButton();
  port.PurgeQueues(true, false);
  flags.SkipDrain = true;
  // Only the reset brings the two buttons back, whatever the read-back gives.
  ScopeExit hide([&writeView] { writeView.HideLoggerAndStartButtons(); });
  // However the read-back ends, also by a port error in the delete wait, nothing is
  // left waiting for the delete: the notice goes and the next read polls at its pace.
  ScopeExit endWait([&flags, &readView] {
    flags.DeleteInProgress = false;
    flags.SkipDrain = false;
    readView.SetWarteLabelVisible(false);
  });
  ReadConfiguration(port, ring, io, readView, cfg, flags, limits);
}
