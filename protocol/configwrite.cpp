#include "protocol/configwrite.h"

#include <stdexcept>

#include "serial/line.h"
#include "serial/portline.h"

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

ConfigOutcome WriteConfiguration(TCustomComPort& port, ReceiveRing& ring, ConfigObserver& observer,
                                 LoggerConfig& cfg, ConfigFlags& flags,
                                 const LoggerSettings& settings, const ConfigReadLimits& limits) {
  PortLine line(port, ring);
  return WriteConfiguration(line, observer, cfg, flags, settings, limits);
}

ConfigOutcome WriteConfiguration(SerialLine& line, ConfigObserver& observer, LoggerConfig& cfg,
                                 ConfigFlags& flags, const LoggerSettings& settings,
                                 const ConfigReadLimits& limits) {
  PackSettings(settings, cfg);
  flags.DeleteInProgress = cfg.DeleteMode() != 0;
  try {
    line.Purge(true, true);
    SendMessage(line, WriteMessage(cfg));
  } catch (...) {
    // Nothing waits for a delete that may not have been ordered.
    flags.DeleteInProgress = false;
    throw;
  }
  observer.WriteSent();
  line.Purge(true, false);
  flags.SkipDrain = true;
  // Only a new session brings read and download back, whatever the read-back gives.
  ScopeExit ended([&observer] { observer.WriteEnded(); });
  // However the read-back ends, also by a port error in the delete wait, nothing is
  // left waiting for the delete: the notice goes and the next read polls at its pace.
  ScopeExit endWait([&flags, &observer] {
    flags.DeleteInProgress = false;
    flags.SkipDrain = false;
    observer.DeleteWait(false);
  });
  return ReadConfiguration(line, observer, cfg, flags, limits);
}
