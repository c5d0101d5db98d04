#include "protocol/configwrite.h"

#include <stdexcept>

#include "serial/line.h"
#include "serial/portline.h"
#include "frontend/userio.h"

namespace {

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
void SendMessage(SerialLine& line, const std::array<uint8_t, 11>& msg) {
  for (uint8_t b : msg)
    if (line.Write(&b, 1) != 1) throw std::runtime_error(kTextSendIncomplete);
  const int64_t deadline = line.NowMs() + line.WriteTimeoutMs(static_cast<int32_t>(msg.size()));
  while (line.PendingOutput() != 0) {
    if (line.NowMs() >= deadline) throw std::runtime_error(kTextSendIncomplete);
    line.SleepMs(1);
  }
}

}  // namespace

void WriteConfiguration(TCustomComPort& port, ReceiveRing& ring, UserIO& io,
                        ConfigReadView& readView, ConfigWriteView& writeView, LoggerConfig& cfg,
                        ConfigFlags& flags, const ConfigControls& controls,
                        const ConfigReadLimits& limits) {
  PortLine line(port, ring);
  WriteConfiguration(line, io, readView, writeView, cfg, flags, controls, limits);
}

void WriteConfiguration(SerialLine& line, UserIO& io, ConfigReadView& readView,
                        ConfigWriteView& writeView, LoggerConfig& cfg, ConfigFlags& flags,
                        const ConfigControls& controls, const ConfigReadLimits& limits) {
  PackControls(controls, cfg);
  flags.DeleteInProgress = cfg.DeleteMode() != 0;
  try {
    line.Purge(true, true);
    SendMessage(line, WriteMessage(cfg));
  } catch (...) {
    // Nothing waits for a delete that may not have been ordered.
    flags.DeleteInProgress = false;
    throw;
  }
  writeView.HideSchreibButton();
  line.Purge(true, false);
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
  ReadConfiguration(line, io, readView, cfg, flags, limits);
}
