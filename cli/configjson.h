// The configuration as morvala-cli shows it: one JSON object of the block as received,
// with the interval item and the recording time as the window shows them after its rules;
// and the changes of `config --set`, applied in the window's order.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "frontend/configcontrols.h"
#include "model/loggerconfig.h"

namespace cli {

std::string ConfigJson(const LoggerConfig& cfg);
// The block in a few German lines, for the terminal.
std::string ConfigSummary(const LoggerConfig& cfg);

// The changes of a write, applied to the controls as the window leaves them after the
// first read, in this order (the order a user clicks in the window):
//   1. sensor             (a change unticks the internal temperature in both groups)
//   2. recordedChannels   (exactly the boxes named; "Temp. int." only with MS5534A)
//   3. telemetry          (off unticks the telemetry group's 16-Bit-ADC, GPS and Temp. int)
//   4. telemetryChannels, telemetry4800 (only while telemetry is on)
//   5. sampleInterval / sampleRateItem, then the rule: "0,02 s" becomes "0,06 s" when a
//      channel other than the 16-bit ADC and ADC 0..4 is on
//   6. serialNumber, offset
//   7. the delete choice: 0 kein, 1 MultiLog, 2 SingleLog
// Throws UsageError for an unknown name or a value out of range, before anything is sent.
ConfigControls ApplyChanges(const ConfigControls& afterRead,
                            const std::vector<std::pair<std::string, std::string>>& sets,
                            int deleteItem);
// The checks of ApplyChanges that need no logger: names, values, and changes that
// contradict each other. Throws UsageError.
void CheckChanges(const std::vector<std::pair<std::string, std::string>>& sets, int deleteItem);

}  // namespace cli
