#include "protocol/configread.h"

#include <optional>
#include <vector>

#include "serial/comerrors.h"
#include "serial/line.h"
#include "serial/portline.h"

namespace {

ConfigOutcome Fail(ConfigObserver& observer, ConfigFlags& flags, ConfigOutcome outcome) {
  ReportStatus(observer, StatusColorFailure, ConfigOutcomeText(outcome));
  flags.NoLoggerFound = true;
  return outcome;
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

const char* ConfigOutcomeText(ConfigOutcome outcome) {
  switch (outcome) {
    case ConfigOutcome::Read: return "";
    case ConfigOutcome::NoLogger: return kTextNoLogger;
    case ConfigOutcome::Incomplete: return kTextIncomplete;
  }
  return "";
}

ConfigOutcome ReadConfiguration(TCustomComPort& port, ReceiveRing& ring, ConfigObserver& observer,
                                LoggerConfig& cfg, ConfigFlags& flags,
                                const ConfigReadLimits& limits) {
  PortLine line(port, ring);
  return ReadConfiguration(line, observer, cfg, flags, limits);
}

ConfigOutcome ReadConfiguration(SerialLine& line, ConfigObserver& observer, LoggerConfig& cfg,
                                ConfigFlags& flags, const ConfigReadLimits& limits) {
  // 1. Connect.
  if (!line.Connected()) {
    ReportStatus(observer, clBtnFace, kTextStartInit);
    try {
      line.Open();
    } catch (const EComPort&) {
      ReportStatus(observer, StatusColorFailure, kTextOpenFailed);
      throw;
    }
    observer.PortOpened();
    ReportStatus(observer, clBtnFace, kTextConnected, 0);
    observer.StatusText(1, kTextPressRead);
    observer.StatusShown();
    observer.Connected();
  }
  // 2.
  if (line.Connected()) observer.LineReady();
  // 3. Whatever is still on its way belongs to an older message.
  if (!flags.SkipDrain) {
    DropPending(line, limits);
    line.Purge(true, true);
    ReportStatus(observer, clBtnFace, kTextSwitchOn);
  }
  // 4., 5.
  cfg.ClearBytes();
  if (flags.DeleteInProgress) observer.DeleteWait(true);
  observer.WindowShown();
  observer.StatusColor(clBtnFace);

  // 6. Wait for the logger; a byte in the 41st poll comes too late.
  bool answered = false;
  for (int poll = 1; poll <= kLoggerPolls; ++poll) {
    const bool byte = line.Receive().has_value();
    observer.Pause(flags.DeleteInProgress ? kDeletePollMs : kPollMs);
    observer.StatusAppend(1, "<");
    observer.StatusShown();
    if (byte) {
      answered = poll < kLoggerPolls;
      break;
    }
  }
  // 7.
  if (flags.DeleteInProgress) observer.Beep();
  flags.SkipDrain = false;
  observer.DeleteWait(false);
  flags.DeleteInProgress = false;
  flags.NoLoggerFound = false;
  // 8.
  if (!answered) return Fail(observer, flags, ConfigOutcome::NoLogger);

  // 9. Synchronise.
  uint8_t lead = 0;
  switch (Synchronise(line, limits, lead)) {
    case SyncResult::NoSync: return Fail(observer, flags, ConfigOutcome::NoLogger);
    case SyncResult::Cut: return Fail(observer, flags, ConfigOutcome::Incomplete);
    case SyncResult::Found: break;
  }

  // 10. Count and bytes; every one of them must arrive. The block keeps 30, the rest is
  // read and dropped so that the line stays in step.
  const std::optional<uint8_t> countByte = line.ReceiveWithin(limits.silenceMs);
  if (!countByte) return Fail(observer, flags, ConfigOutcome::Incomplete);
  const uint8_t count = *countByte;
  std::vector<uint8_t> bytes;
  bytes.reserve(count);
  for (int i = 0; i < count; ++i) {
    const std::optional<uint8_t> b = line.ReceiveWithin(limits.silenceMs);
    if (!b) return Fail(observer, flags, ConfigOutcome::Incomplete);
    if (i < LoggerConfig::kBytes) bytes.push_back(*b);
  }
  cfg.LeadByte = lead;
  cfg.ByteCount = count;
  for (size_t i = 0; i < bytes.size(); ++i) cfg.Bytes[i + 1] = bytes[i];

  // 11.
  cfg.CopyNamedFields();
  observer.ConfigBytesTaken(cfg);

  // 12. Acknowledge.
  const auto ack = Acknowledgement();
  for (uint8_t b : ack) line.Write(&b, 1);

  // 13.
  observer.ConfigAcknowledged(cfg);
  ReportStatus(observer, StatusColorSuccess, ConfigReceivedText(cfg.LeadByte, bytes));
  // 14., 15.
  observer.ConfigRead(cfg);
  flags.ConfigRead = true;
  return ConfigOutcome::Read;
}
