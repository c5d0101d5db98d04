#include "frontend/configcontrols.h"

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
