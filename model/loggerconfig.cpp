#include "model/loggerconfig.h"

#include <algorithm>
#include <cfenv>
#include <cmath>

void LoggerConfig::CopyNamedFields() {
  RecordFlags1 = Bytes[1];
  RecordFlags2 = Bytes[2];
  SampleRateCode = Bytes[3];
  DataCountHigh = Bytes[4];
  DataCountLow = Bytes[5];
  TeleFlags1 = Bytes[6];
  TeleFlags2 = Bytes[7];
  Adc3Offset = Bytes[8];
  SerialSensor = Bytes[9];
  FlightNumberHigh = Bytes[10];
  FlightNumberLow = Bytes[11];
  DataCount = DataCountHigh * 256 + DataCountLow;
  if (Bytes[12] != 0) EepromKByte = Bytes[12] * 32;
}

// ---- sample interval ----

namespace {
// Codes above these thresholds raise the item by one, in turn.
constexpr std::array<int, 5> kRateThresholds = {0, 3, 18, 37, 225};
constexpr std::array<uint8_t, SampleRateItemCount> kRateCodes = {0, 2, 12, 24, 49, 249};
constexpr std::array<double, SampleRateItemCount> kSamplesPerSecond = {50, 16.67, 3.85, 2, 1, 0.2};
}  // namespace

int SampleRateItemForCode(uint8_t code) {
  int item = 0;
  for (int threshold : kRateThresholds)
    if (code > threshold) ++item;
  return item;
}

uint8_t CodeForItem(int item) {
  if (item < 0 || item >= SampleRateItemCount) return 49;
  return kRateCodes[static_cast<size_t>(item)];
}

double SamplesPerSecond(int item) {
  if (item < 0 || item >= SampleRateItemCount) return 1;
  return kSamplesPerSecond[static_cast<size_t>(item)];
}

// ---- settings ----

namespace {
void UnpackBits(uint8_t flags, const std::array<int, 8>& table, std::array<bool, chCount>& boxes) {
  for (int bit = 0; bit < 8; ++bit) boxes[static_cast<size_t>(table[bit])] = (flags >> bit) & 1;
}

uint8_t PackBits(const std::array<bool, chCount>& boxes, const std::array<int, 8>& table) {
  uint8_t flags = 0;
  for (int bit = 0; bit < 8; ++bit)
    if (boxes[static_cast<size_t>(table[bit])]) flags |= static_cast<uint8_t>(1u << bit);
  return flags;
}
}  // namespace

LoggerSettings SettingsFromConfig(const LoggerConfig& cfg) {
  LoggerSettings s;
  UnpackBits(cfg.RecordFlags1, BitTableA, s.channels);
  UnpackBits(cfg.RecordFlags2, BitTableB, s.channels);
  UnpackBits(cfg.TeleFlags1, BitTableA, s.telemetryChannels);
  UnpackBits(cfg.TeleFlags2, BitTableB, s.telemetryChannels);
  s.telemetryChannels[chT4800] = !s.telemetryChannels[chT4800];
  s.sampleRateCode = cfg.SampleRateCode;
  s.serialNumber = cfg.SerialSensor & 0x7F;
  s.ms5534a = (cfg.SerialSensor & 0x80) != 0;
  s.offset = cfg.Adc3Offset;
  s.deleteMode = 0;
  return s;
}

uint8_t DeleteModeForItem(int item) {
  switch (item) {
    case 1: return 1;
    case 2: return 255;
    default: return 0;
  }
}

void PackSettings(const LoggerSettings& settings, LoggerConfig& cfg) {
  cfg.RecordFlags1 = PackBits(settings.channels, BitTableA);
  cfg.RecordFlags2 = PackBits(settings.channels, BitTableB);
  cfg.SampleRateCode = settings.sampleRateCode;
  cfg.DataCountHigh = 0;
  cfg.DataCountLow = 0;
  cfg.TeleFlags1 = PackBits(settings.telemetryChannels, BitTableA);
  std::array<bool, chCount> tele = settings.telemetryChannels;
  tele[chT4800] = !tele[chT4800];
  cfg.TeleFlags2 = PackBits(tele, BitTableB);
  cfg.Adc3Offset = static_cast<uint8_t>(std::clamp(settings.offset, 0, 255));
  int serial = std::clamp(settings.serialNumber, 0, 127);
  if (settings.ms5534a) serial += 128;
  cfg.SerialSensor = static_cast<uint8_t>(serial);
  cfg.DeleteMode() = settings.deleteMode;
}

std::array<uint8_t, 11> WriteMessageFor(const LoggerSettings& settings) {
  LoggerConfig cfg;
  PackSettings(settings, cfg);
  return WriteMessage(cfg);
}

// ---- wire messages ----

std::array<uint8_t, AckLength> Acknowledgement() {
  std::array<uint8_t, AckLength> ack;
  ack.fill(AckByte);
  return ack;
}

std::array<uint8_t, 11> WriteMessage(const LoggerConfig& cfg) {
  return {
      WriteCommand,   cfg.RecordFlags1, cfg.RecordFlags2, cfg.SampleRateCode, 0, 0, cfg.TeleFlags1,
      cfg.TeleFlags2, cfg.Adc3Offset,   cfg.SerialSensor, cfg.DeleteMode()};
}

// ---- texts ----

std::string ThreeDigits(int value) {
  if (value < 10) return "00" + std::to_string(value);
  if (value < 100) return "0" + std::to_string(value);
  return std::to_string(value);
}

std::string FlightNumberText(int number) {
  const char* prefix = number < 10      ? "Flugnummer: 0000"
                       : number < 100   ? "Flugnummer: 000"
                       : number < 1000  ? "Flugnummer: 00"
                       : number < 10000 ? "Flugnummer: 0"
                                        : "Flugnummer: ";
  return prefix + std::to_string(number);
}

std::string DataCountText(int count) { return "Daten: " + std::to_string(count); }

std::string EepromText(int kByte) { return "EEPROM: " + std::to_string(kByte) + "kByte"; }

std::string ConfigReceivedText(uint8_t lead, std::span<const uint8_t> bytes) {
  std::string text = "Konfiguration empfangen : " + std::to_string(lead) + " ";
  for (uint8_t b : bytes) text += std::to_string(b) + " ";
  return text;
}

namespace {
// The field takes digits only, three at most; an empty field counts as 0.
NumberField Normalize(const std::string& text, int limit) {
  int value = std::min(DisplayedNumber(text), limit);
  return {ThreeDigits(value), value};
}
}  // namespace

NumberField NormalizeSerialText(const std::string& text) { return Normalize(text, 127); }
NumberField NormalizeOffsetText(const std::string& text) { return Normalize(text, 255); }

int DisplayedNumber(const std::string& text) {
  int value = 0;
  int digits = 0;
  for (char ch : text) {
    if (ch < '0' || ch > '9') continue;
    value = value * 10 + (ch - '0');
    if (++digits == 3) break;
  }
  return value;
}

// ---- recording time ----

int BytesPerSample(const std::array<bool, chCount>& record) {
  int bytes = 0;
  if (record[chAD16]) bytes += 2;
  if (record[chSpeed]) bytes += 2;
  bool anyAdc = false;
  for (int box : {chAD0, chAD1, chAD2, chAD3, chAD4}) {
    if (record[static_cast<size_t>(box)]) {
      bytes += 1;
      anyAdc = true;
    }
  }
  if (anyAdc) bytes += 1;  // the shared byte of the ADC high bits
  if (record[chFrq]) bytes += 2;
  for (int box : {chRC1, chRC2, chRC3, chFrei, chE1, chE2})
    if (record[static_cast<size_t>(box)]) bytes += 1;
  if (record[chGps]) bytes += 6;
  return bytes;
}

bool NeedsSlowerThanFastest(const std::array<bool, chCount>& channels,
                            const std::array<bool, chCount>& telemetryChannels, int rateItem) {
  if (rateItem != 0) return false;
  for (int box : {chSpeed, chFrq, chRC1, chRC2, chRC3, chFrei, chE1, chE2, chGps}) {
    const auto i = static_cast<size_t>(box);
    if (channels[i] || telemetryChannels[i]) return true;
  }
  return false;
}

std::string RecordingTimeText(int bytes, double samplesPerSecond, int eepromKByte) {
  if (bytes == 0) return " ";
  const double exact = static_cast<double>(eepromKByte) * 1024.0 / bytes / samplesPerSecond;
  // Halves go to the even neighbour, whatever rounding mode the caller left behind.
  const int saved = std::fegetround();
  std::fesetround(FE_TONEAREST);
  const double rounded = std::nearbyint(exact);
  std::fesetround(saved);
  int64_t t = static_cast<int64_t>(rounded);
  std::string text = "max. ";
  if (t > 3600) {
    text += std::to_string(t / 3600) + "h ";
    t %= 3600;
  }
  text += std::to_string(t / 60) + "m " + std::to_string(t % 60) + "s";
  return text;
}

RecordingEstimate EstimateRecordingTime(const std::array<bool, chCount>& channels,
                                        const std::array<bool, chCount>& telemetryChannels,
                                        int rateItem, int eepromKByte) {
  RecordingEstimate e;
  e.rateItem = rateItem;
  if (NeedsSlowerThanFastest(channels, telemetryChannels, rateItem)) {
    e.rateItem = 1;
    e.moved = true;
  }
  const int bytes = BytesPerSample(channels);
  e.text = RecordingTimeText(bytes, SamplesPerSecond(e.rateItem), eepromKByte);
  e.showLabel = bytes != 0;
  return e;
}
