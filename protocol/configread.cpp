#include "protocol/configread.h"

#include <optional>
#include <vector>

#include "serial/comerrors.h"
#include "serial/line.h"
#include "serial/portline.h"
#include "frontend/userio.h"

namespace {

void Fail(UserIO& io, ConfigFlags& flags, const char* text) {
  io.SetStatusColor(StatusColorFailure);
  io.SetStatusText(1, text);
  io.RepaintStatus();
  flags.NoLoggerFound = true;
}

// Takes and drops what the logger is still sending: until the line is quiet for one
// read time-out, but no longer than the limits allow.
void DropPending(SerialLine& line, const ConfigReadLimits& limits) {
  const int64_t deadline = line.NowMs() + limits.drainMs;
  int dropped = 0;
  for (;;) {
    if (!line.Receive()) return;
    if (++dropped >= limits.drainBytes || line.NowMs() >= deadline) return;
  }
}

enum class SyncResult { Found, NoSync, Cut };

// Finds the first 0x55 and reads past the run of them; the first other byte is the lead
// byte (left in lead). Time-outs before the first 0x55 only cost time; silence inside
// the run means the message broke off. The wall clock bounds the wait for the first 0x55
// (garbage or silence), the clock and a byte count bound the run.
SyncResult Synchronise(SerialLine& line, const ConfigReadLimits& limits, uint8_t& lead) {
  const int64_t syncDeadline = line.NowMs() + limits.syncMs;
  for (;;) {
    const std::optional<uint8_t> b = line.Receive();
    if (b && *b == SyncByte) break;
    if (line.NowMs() >= syncDeadline) return SyncResult::NoSync;
  }
  const int64_t runDeadline = line.NowMs() + limits.syncRunMs;
  int run = 1;
  for (;;) {
    const std::optional<uint8_t> b = line.ReceiveWithin(limits.silenceMs);
    if (!b) return SyncResult::Cut;
    if (*b != SyncByte) {
      lead = *b;
      return SyncResult::Found;
    }
    if (++run >= limits.syncRunBytes || line.NowMs() >= runDeadline) return SyncResult::NoSync;
  }
}

}  // namespace

void ReadConfiguration(TCustomComPort& port, ReceiveRing& ring, UserIO& io, ConfigReadView& view,
                       LoggerConfig& cfg, ConfigFlags& flags, const ConfigReadLimits& limits) {
  PortLine line(port, ring);
  ReadConfiguration(line, io, view, cfg, flags, limits);
}

void ReadConfiguration(SerialLine& line, UserIO& io, ConfigReadView& view, LoggerConfig& cfg,
                       ConfigFlags& flags, const ConfigReadLimits& limits) {
  // 1. Connect.
  if (!line.Connected()) {
    io.SetStatusColor(clBtnFace);
    io.SetStatusText(1, kTextStartInit);
    io.RepaintStatus();
    try {
      line.Open();
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
  if (line.Connected()) view.ShowResetButton();
  // 3. Whatever is still on its way belongs to an older message.
  if (!flags.SkipDrain) {
    DropPending(line, limits);
    line.Purge(true, true);
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
    const bool byte = line.Receive().has_value();
    io.SleepMs(flags.DeleteInProgress ? kDeletePollMs : kPollMs);
    io.SetStatusText(1, io.StatusText(1) + "<");
    io.RepaintStatus();
    if (byte) {
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
  uint8_t lead = 0;
  switch (Synchronise(line, limits, lead)) {
    case SyncResult::NoSync: Fail(io, flags, kTextNoLogger); return;
    case SyncResult::Cut: Fail(io, flags, kTextIncomplete); return;
    case SyncResult::Found: break;
  }

  // 10. Count and bytes; every one of them must arrive. The block keeps 30, the rest is
  // read and dropped so that the line stays in step.
  const std::optional<uint8_t> countByte = line.ReceiveWithin(limits.silenceMs);
  if (!countByte) {
    Fail(io, flags, kTextIncomplete);
    return;
  }
  const uint8_t count = *countByte;
  std::vector<uint8_t> bytes;
  bytes.reserve(count);
  for (int i = 0; i < count; ++i) {
    const std::optional<uint8_t> b = line.ReceiveWithin(limits.silenceMs);
    if (!b) {
      Fail(io, flags, kTextIncomplete);
      return;
    }
    if (i < LoggerConfig::kBytes) bytes.push_back(*b);
  }
  cfg.LeadByte = lead;
  cfg.ByteCount = count;
  for (size_t i = 0; i < bytes.size(); ++i) cfg.Bytes[i + 1] = bytes[i];

  // 11.
  cfg.CopyNamedFields();
  view.SetEepromLabel(EepromText(cfg.EepromKByte));

  // 12. Acknowledge.
  const auto ack = Acknowledgement();
  for (uint8_t b : ack) line.Write(&b, 1);

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
