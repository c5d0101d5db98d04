// The first tab's configuration controls as plain values, and the window's rules between
// them and the logger's settings: the boxes by the bit tables, the interval as an item,
// the serial number and offset as the three-digit texts the fields show.
#pragma once

#include <array>
#include <string>

#include "model/loggerconfig.h"

struct ConfigControls {
  std::array<bool, chCount> record{};  // the recorded channels' boxes; [chTele] "Telemetrie"
  std::array<bool, chCount> tele{};    // the telemetry boxes; [chT4800] "4800 BPS"
  int rateItem = -1;                   // the interval item, -1 = none
  std::string serialText = "000";
  std::string offsetText = "000";
  int sensorItem = -1;  // 0 MPX4100, 1 MS5534A, -1 none
  int deleteItem = -1;  // 0 kein, 1 MultiLog, 2 SingleLog, -1 none
  bool operator==(const ConfigControls&) const = default;
};

// What loading a read configuration puts into the controls, before any change handler
// has run: the boxes by the bit tables, the rate item by the cascade of thresholds, the
// padded number texts, the sensor item, and delete item 0 ("kein").
ConfigControls ControlsFromConfig(const LoggerConfig& cfg);

// The settings a write sends for the controls: the code of the item (49 for none), the
// numbers the fields show, the sensor item, the delete mode of the delete item. Telemetry
// boxes are packed as they stand, also while telemetry is off.
LoggerSettings SettingsFromControls(const ConfigControls& controls);

// The captions of the boxes, by channel: the recorded side ("16-Bit-ADC" ... "Telemetrie")
// and the telemetry side ("16-Bit-ADC" ... "Temp. int", "Manchester", "4800 BPS").
const char* RecordedCaption(int channel);
const char* TelemetryCaption(int channel);

// The controls as the window leaves them after the first read of a session, its change
// handlers run in the order the read loads the controls: the boxes of both groups as the
// block gives them; the interval item raised from "0,02 s" to "0,06 s" when a channel
// other than the 16-bit ADC and ADC 0..4 is on; then the sensor choice: the window starts
// with MS5534A chosen, so a logger with MPX4100 changes it, which unticks the internal
// temperature in both groups (the box can be ticked again only for MS5534A).
ConfigControls ControlsAfterFirstRead(const LoggerConfig& cfg);
inline constexpr int kSensorItemAtStart = 1;

// The estimate for the controls as Loggerzeit makes it.
RecordingEstimate EstimateRecordingTime(const ConfigControls& controls, int eepromKByte);
