#include "config/configread.h"

#include <chrono>
#include <vector>

#include "serial/comport.h"
#include "serial/rxring.h"
#include "userio/userio.h"

namespace {

using Clock = std::chrono::steady_clock;

Clock::time_point After(int ms) { return Clock::now() + std::chrono::milliseconds(ms); }

void Fail(UserIO& io, ConfigFlags& flags, const char* text) {
  io.SetStatusColor(StatusColorFailure);
  io.SetStatusText(1, text);
  io.RepaintStatus();
  flags.NoLoggerFound = true;
}

// Takes and drops what the logger is still sending: until the line is quiet for one
// read time-out, but no longer than the limits allow.
void DropPending(ReceiveRing& ring, const ConfigReadLimits& limits) {
  const auto deadline = After(limits.drainMs);
  int dropped = 0;
  for (;;) {
    ring.Empfang();
    if (ring.RxTimedOut) return;
    if (++dropped >= limits.drainBytes || Clock::now() >= deadline) return;
  }
}

enum class SyncResult { Found, NoSync, Cut };

// Finds the first 0x55 and reads past the run of them; the first other byte is the lead
// byte (left in RxByte). Time-outs before the first 0x55 only cost time; silence inside
// the run means the message broke off. The wall clock bounds the wait for the first 0x55
// (garbage or silence), the clock and a byte count bound the run.
SyncResult Synchronise(ReceiveRing& ring, const ConfigReadLimits& limits) {
  const auto syncDeadline = After(limits.syncMs);
  for (;;) {
    ring.Empfang();
    if (!ring.RxTimedOut && ring.RxByte == SyncByte) break;
    if (Clock::now() >= syncDeadline) return SyncResult::NoSync;
  }
  const auto runDeadline = After(limits.syncRunMs);
  int run = 1;
  for (;;) {
    ring.EmpfangWithin(limits.silenceMs);
    if (ring.RxTimedOut) return SyncResult::Cut;
    if (ring.RxByte != SyncByte) return SyncResult::Found;
    if (++run >= limits.syncRunBytes || Clock::now() >= runDeadline) return SyncResult::NoSync;
  }
}

}  // namespace

void ReadConfiguration(TCustomComPort& port, ReceiveRing& ring, UserIO& io,
                       ConfigReadView& view, LoggerConfig& cfg, ConfigFlags& flags,
                       const ConfigReadLimits& limits) {
  // 1. Connect.
  if (!port.Connected()) {
    io.SetStatusColor(clBtnFace);
    io.SetStatusText(1, kTextStartInit);
    io.RepaintStatus();
    try {
      port.Open();
    } catch (const EComPort&) {
      io.SetStatusColor(StatusColorFailure);
      io.SetStatusText(1, kTextOpenFailed);
      io.RepaintStatus();
      throw;
    }
    view.ZeroFirstSampleRecords();
    io.SetStatusColor(clBtnFace);
    io.SetStatusText(0, kTextConnected);
    io.RepaintStatus();
    io.SetStatusText(1, kTextPressRead);
    io.RepaintStatus();
    view.ShowStartbuttonFocused();
  }
  // 2.
  if (port.Connected()) view.ShowResetButton();
  // 3. Whatever is still on its way belongs to an older message.
  if (!flags.SkipDrain) {
    DropPending(ring, limits);
    port.PurgeQueues(true, true);
    io.SetStatusColor(clBtnFace);
    io.SetStatusText(1, kTextSwitchOn);
    io.RepaintStatus();
  }
  // 4., 5.
  cfg.ClearBytes();
  if (flags.DeleteInProgress) view.SetWarteLabelVisible(true);
  io.RepaintWindow();
  io.SetStatusColor(clBtnFace);

  // 6. Wait for the logger; a byte in the 41st poll comes too late.
  bool answered = false;
  for (int poll = 1; poll <= kLoggerPolls; ++poll) {
    ring.Empfang();
    io.SleepMs(flags.DeleteInProgress ? kDeletePollMs : kPollMs);
    io.SetStatusText(1, io.StatusText(1) + "<");
    io.RepaintStatus();
    if (!ring.RxTimedOut) {
      answered = poll < kLoggerPolls;
      break;
    }
  }
  // 7.
  if (flags.DeleteInProgress) io.Beep();
  flags.SkipDrain = false;
  view.SetWarteLabelVisible(false);
  flags.DeleteInProgress = false;
  flags.NoLoggerFound = false;
  // 8.
  if (!answered) {
    Fail(io, flags, kTextNoLogger);
    return;
  }

  // 9. Synchronise.
  switch (Synchronise(ring, limits)) {
    case SyncResult::NoSync: Fail(io, flags, kTextNoLogger); return;
    case SyncResult::Cut: Fail(io, flags, kTextIncomplete); return;
    case SyncResult::Found: break;
  }
  const uint8_t lead = ring.RxByte;

  // 10. Count and bytes; every one of them must arrive. The block keeps 30, the rest is
  // read and dropped so that the line stays in step.
  ring.EmpfangWithin(limits.silenceMs);
  if (ring.RxTimedOut) {
    Fail(io, flags, kTextIncomplete);
    return;
  }
  const uint8_t count = ring.RxByte;
  std::vector<uint8_t> bytes;
  bytes.reserve(count);
  for (int i = 0; i < count; ++i) {
    ring.EmpfangWithin(limits.silenceMs);
    if (ring.RxTimedOut) {
      Fail(io, flags, kTextIncomplete);
      return;
    }
    if (i < LoggerConfig::kBytes) bytes.push_back(ring.RxByte);
  }
  cfg.LeadByte = lead;
  cfg.ByteCount = count;
  for (size_t i = 0; i < bytes.size(); ++i) cfg.Bytes[i + 1] = bytes[i];

  // 11.
  cfg.CopyNamedFields();
  view.SetEepromLabel(EepromText(cfg.EepromKByte));

  // 12. Acknowledge.
  const auto ack = Acknowledgement();
  for (uint8_t b : ack) port.Write(&b, 1);

  // 13.
  view.ShowConfigControls();
  io.SetStatusColor(StatusColorSuccess);
  io.SetStatusText(1, ConfigReceivedText(cfg.LeadByte, bytes));
  io.RepaintStatus();
  // 14., 15.
  view.LoadControls(cfg);
  view.FinishRead();
  flags.ConfigRead = true;
}
