// Fuzz target: the configuration read over the line. The input is what the logger sends
// after it is switched on (wake byte, 0x55 sync run, lead byte, count, configuration
// bytes, and whatever follows); it arrives at once on a scripted line, with the usual
// silence limits on the line's own clock, and ReadConfiguration runs to the end.
//
// The outcome is checked against the message rules worked out independently here:
// a complete message sets ConfigRead, fills the block (30 bytes at most, the rest read
// and dropped), sends 31 acknowledgement bytes and leaves the rest of the input unread;
// anything else sets NoLoggerFound, keeps the block at zero and sends nothing. The
// loaded controls must pack back into the same bytes.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "protocol/configread.h"
#include "model/loggerconfig.h"
#include "serial/scriptedline.h"
#include "frontend/configcontrols.h"
#include "tests/support/recordinguserio.h"

namespace {

[[noreturn]] void Fail(const char* what) {
  std::fprintf(stderr, "config model check failed: %s\n", what);
  std::abort();
}

// What loading the controls does, checked on the way: the controls the block gives must
// pack back into the same flag bytes and numbers, and the estimate must be computable.
class CheckingView : public StatusOnUserIO<ConfigObserver> {
 public:
  using StatusOnUserIO::StatusOnUserIO;
  void ConfigRead(const LoggerConfig& cfg) override {
    ++loads;
    const ConfigControls c = ControlsFromConfig(cfg);
    if (c.rateItem < 0 || c.rateItem >= SampleRateItemCount) Fail("rate item out of range");
    if (SampleRateItemForCode(CodeForItem(c.rateItem)) != c.rateItem)
      Fail("rate code does not read back");
    if (c.serialText.size() != 3 || c.offsetText.size() != 3) Fail("number texts not three digits");
    if (c.sensorItem != 0 && c.sensorItem != 1) Fail("sensor item out of range");
    LoggerConfig packed;
    PackSettings(SettingsFromControls(c), packed);
    // The controls give the block's settings back, the interval as the code of its item.
    LoggerSettings received = SettingsFromConfig(cfg);
    received.sampleRateCode = CodeForItem(c.rateItem);
    if (SettingsFromControls(c) != received) Fail("settings do not map back");
    if (packed.RecordFlags1 != cfg.RecordFlags1 || packed.RecordFlags2 != cfg.RecordFlags2)
      Fail("record flags do not pack back");
    if (packed.TeleFlags1 != cfg.TeleFlags1 || packed.TeleFlags2 != cfg.TeleFlags2)
      Fail("telemetry flags do not pack back");
    if (packed.Adc3Offset != cfg.Adc3Offset || packed.SerialSensor != cfg.SerialSensor)
      Fail("offset or serial/sensor do not pack back");
    const RecordingEstimate e = EstimateRecordingTime(c, cfg.EepromKByte);
    if (e.text.empty()) Fail("empty recording-time text");
    (void)FlightNumberText(cfg.FlightNumber());
    (void)DataCountText(cfg.DataCount);
  }
  int loads = 0;
};

struct Expectation {
  bool ok = false;
  uint8_t lead = 0;
  uint8_t count = 0;
  std::vector<uint8_t> kept;  // at most 30
  size_t consumed = 0;
};

Expectation Expect(const uint8_t* s, size_t n) {
  Expectation e;
  if (n == 0) return e;  // nobody switched on
  size_t p = 1;          // the byte that ends the wait is consumed
  while (p < n && s[p] != SyncByte) ++p;
  if (p == n) return e;
  while (p < n && s[p] == SyncByte) ++p;
  if (p == n) return e;
  e.lead = s[p++];
  if (p == n) return e;
  e.count = s[p++];
  if (n - p < e.count) return e;
  for (size_t i = 0; i < e.count; ++i)
    if (i < LoggerConfig::kBytes) e.kept.push_back(s[p + i]);
  e.consumed = p + e.count;
  e.ok = true;
  return e;
}

ScriptedLine& Line() {
  static ScriptedLine* line = new ScriptedLine;
  return *line;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // More than the receive ring holds is not a message the program could get.
  if (size >= 65536) return 0;
  ScriptedLine& line = Line();
  line.Reset();
  line.Send(data, size);

  RecordingUserIO io;
  io.onSleep = [&line](int ms) { line.Advance(ms); };  // the polls pass on the line's clock
  CheckingView view(io);
  LoggerConfig cfg;
  cfg.EepromKByte = 32;
  ConfigFlags flags;
  flags.SkipDrain = true;  // the bytes on the line are the message, not an old one
  flags.DeleteInProgress = size % 2 == 1;
  // The program's own limits: the bytes all arrive at once, so only a silent line moves
  // the clock, and no bound is reached while input is left.
  const ConfigOutcome outcome = ReadConfiguration(line, view, cfg, flags);
  if ((outcome == ConfigOutcome::Read) != flags.ConfigRead) Fail("outcome differs from the flags");

  if (flags.SkipDrain || flags.DeleteInProgress) Fail("read flags not cleared");
  if (flags.ConfigRead == flags.NoLoggerFound)
    Fail("neither or both of ConfigRead and NoLoggerFound");
  const Expectation e = Expect(data, size);
  if (e.ok != flags.ConfigRead) Fail("outcome differs from the message rules");

  if (flags.ConfigRead) {
    if (cfg.LeadByte != e.lead || cfg.ByteCount != e.count) Fail("lead byte or count");
    for (int i = 1; i <= LoggerConfig::kBytes; ++i) {
      const uint8_t want = static_cast<size_t>(i) <= e.kept.size() ? e.kept[i - 1] : 0;
      if (cfg.Bytes[i] != want) Fail("configuration byte");
    }
    if (cfg.RecordFlags1 != cfg.Bytes[1] || cfg.SampleRateCode != cfg.Bytes[3] ||
        cfg.TeleFlags2 != cfg.Bytes[7] || cfg.FlightNumberLow != cfg.Bytes[11])
      Fail("named fields");
    if (cfg.DataCount != cfg.Bytes[4] * 256 + cfg.Bytes[5]) Fail("DataCount");
    if (cfg.EepromKByte != (cfg.Bytes[12] ? cfg.Bytes[12] * 32 : 32)) Fail("EepromKByte");
    if (view.loads != 1) Fail("controls not loaded once");
    if (io.color != StatusColorSuccess) Fail("status colour after a read");
    if (io.panel[1] != ConfigReceivedText(e.lead, e.kept)) Fail("status text after a read");
    if (line.Unread() != size - e.consumed) Fail("consumed more than the message");
    const std::vector<uint8_t>& sent = line.Written();
    if (sent.size() != static_cast<size_t>(AckLength)) Fail("acknowledgement length");
    for (uint8_t b : sent)
      if (b != AckByte) Fail("acknowledgement byte");
  } else {
    for (uint8_t b : cfg.Bytes)
      if (b != 0) Fail("block not zero after a failed read");
    if (io.color != StatusColorFailure) Fail("status colour after a failed read");
    if (view.loads != 0) Fail("controls loaded after a failed read");
    if (!line.Written().empty()) Fail("sent something after a failed read");
  }
  return 0;
}
