#include "frontend/configcontrols.h"

namespace {

constexpr const char* kRecorded[chCount] = {
    "16-Bit-ADC", "ADC 0", "ADC 1", "ADC 2", "ADC 3",      "ADC4",       "Frequenz", "Drehzahl",
    "RC 1",       "RC 2",  "RC 3",  "frei",  "Temp. int.", "Temp. ext.", "GPS",      "Telemetrie"};
constexpr const char* kTelemetry[chCount] = {"16-Bit-ADC", "ADC 0",      "ADC 1",    "ADC 2",
                                             "ADC 3",      "ADC4",       "Frequenz", "Drehzahl",
                                             "RC 1",       "RC 2",       "RC 3",     "Manchester",
                                             "Temp. int",  "Temp. ext.", "GPS",      "4800 BPS"};

}  // namespace

const char* RecordedCaption(int channel) {
  return channel >= 0 && channel < chCount ? kRecorded[channel] : "";
}

const char* TelemetryCaption(int channel) {
  return channel >= 0 && channel < chCount ? kTelemetry[channel] : "";
}

ConfigControls ControlsAfterFirstRead(const LoggerConfig& cfg) {
  ConfigControls c = ControlsFromConfig(cfg);
  if (NeedsSlowerThanFastest(c.record, c.tele, c.rateItem)) c.rateItem = 1;
  if (c.sensorItem != kSensorItemAtStart) {
    c.record[chE1] = false;
    c.tele[chE1] = false;
  }
  return c;
}

ConfigControls ControlsFromConfig(const LoggerConfig& cfg) {
  const LoggerSettings s = SettingsFromConfig(cfg);
  ConfigControls c;
  c.record = s.channels;
  c.tele = s.telemetryChannels;
  c.rateItem = SampleRateItemForCode(s.sampleRateCode);
  c.offsetText = ThreeDigits(s.offset);
  c.serialText = ThreeDigits(s.serialNumber);
  c.sensorItem = s.ms5534a ? 1 : 0;
  c.deleteItem = 0;
  return c;
}

LoggerSettings SettingsFromControls(const ConfigControls& controls) {
  LoggerSettings s;
  s.channels = controls.record;
  s.telemetryChannels = controls.tele;
  s.sampleRateCode = CodeForItem(controls.rateItem);
  s.serialNumber = DisplayedNumber(controls.serialText);
  s.offset = DisplayedNumber(controls.offsetText);
  s.ms5534a = controls.sensorItem == 1;
  s.deleteMode = DeleteModeForItem(controls.deleteItem);
  return s;
}

RecordingEstimate EstimateRecordingTime(const ConfigControls& controls, int eepromKByte) {
  return EstimateRecordingTime(controls.record, controls.tele, controls.rateItem, eepromKByte);
}
