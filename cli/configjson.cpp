#include "cli/configjson.h"

#include <charconv>
#include <cstdio>
#include <map>
#include <sstream>

#include "cli/args.h"
#include "cli/jsontext.h"

namespace cli {

namespace {

// The channels of a group whose bits are set, without the group's switch.
std::vector<std::string> Captions(const std::array<bool, chCount>& on, bool telemetrySide) {
  std::vector<std::string> out;
  for (int ch = 0; ch < chCount; ++ch)
    if (ch != chTele && on[static_cast<size_t>(ch)])
      out.push_back(telemetrySide ? TelemetryCaption(ch) : RecordedCaption(ch));
  return out;
}

const char* kIntervals[SampleRateItemCount] = {"0,02 s", "0,06 s", "0,26 s", "0,5 s", "1 s", "5 s"};

int Number(const std::string& name, const std::string& text, int low, int high) {
  int value = 0;
  const auto [p, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (ec != std::errc() || p != text.data() + text.size() || value < low || value > high)
    throw UsageError(name + ": " + text + " ist keine Zahl von " + std::to_string(low) + " bis " +
                     std::to_string(high));
  return value;
}

bool Flag(const std::string& name, const std::string& text) {
  if (text == "true" || text == "ja" || text == "1") return true;
  if (text == "false" || text == "nein" || text == "0") return false;
  throw UsageError(name + ": " + text + " ist weder true noch false");
}

// "a,b,c" by the captions of one group; the group's switch cannot be named.
std::array<bool, chCount> Channels(const std::string& name, const std::string& text,
                                   bool telemetrySide) {
  std::array<bool, chCount> on{};
  std::stringstream in(text);
  std::string item;
  while (std::getline(in, item, ',')) {
    while (!item.empty() && item.front() == ' ') item.erase(item.begin());
    while (!item.empty() && item.back() == ' ') item.pop_back();
    if (item.empty()) continue;
    int found = -1;
    for (int ch = 0; ch < chCount; ++ch)
      if (ch != chTele && item == (telemetrySide ? TelemetryCaption(ch) : RecordedCaption(ch)))
        found = ch;
    if (found < 0) throw UsageError(name + ": unbekannter Kanal \"" + item + "\"");
    on[static_cast<size_t>(found)] = true;
  }
  return on;
}

int IntervalItem(const std::string& text) {
  std::string t = text;
  for (char& c : t)
    if (c == '.') c = ',';
  if (t.size() > 2 && t.compare(t.size() - 2, 2, " s") == 0) t.resize(t.size() - 2);
  for (int item = 0; item < SampleRateItemCount; ++item) {
    std::string v = kIntervals[item];
    v.resize(v.size() - 2);
    if (t == v) return item;
  }
  throw UsageError("sampleInterval: " + text + " ist keines von 0,02 0,06 0,26 0,5 1 5");
}

}  // namespace

std::string ConfigJson(const LoggerConfig& cfg) {
  const LoggerSettings s = SettingsFromConfig(cfg);
  const ConfigControls shown = ControlsAfterFirstRead(cfg);
  const RecordingEstimate estimate = EstimateRecordingTime(shown, cfg.EepromKByte);
  JsonObject j;
  j.Number("serialNumber", s.serialNumber);
  j.Text("sensor", s.ms5534a ? "MS5534A" : "MPX4100");
  j.Number("flightNumber", cfg.FlightNumber());
  j.Number("storedData", cfg.DataCount);
  j.Number("eepromKByte", cfg.EepromKByte);
  j.Number("sampleRateCode", s.sampleRateCode);
  j.Real("sampleInterval", s.sampleRateCode * 0.02 + 0.02, 2);
  j.Raw("recordedChannels", JsonList(Captions(s.channels, false)));
  j.Flag("telemetry", s.channels[chTele]);
  j.Flag("telemetry4800", s.telemetryChannels[chT4800]);
  j.Raw("telemetryChannels", JsonList(Captions(s.telemetryChannels, true)));
  j.Number("offset", s.offset);
  j.Number("leadByte", cfg.LeadByte);
  j.Number("sampleRateItem", shown.rateItem);
  j.Text("recordingTime", estimate.showLabel ? estimate.text : "");
  return j.Close() + "\n";
}

std::string ConfigSummary(const LoggerConfig& cfg) {
  const LoggerSettings s = SettingsFromConfig(cfg);
  const ConfigControls shown = ControlsAfterFirstRead(cfg);
  const RecordingEstimate estimate = EstimateRecordingTime(shown, cfg.EepromKByte);
  std::string t;
  t += "Logger-Serialnummer: " + ThreeDigits(s.serialNumber) + ", Sensor " +
       (s.ms5534a ? "MS5534A" : "MPX4100") + "\n";
  t += FlightNumberText(cfg.FlightNumber()) + ", " + DataCountText(cfg.DataCount) + ", " +
       EepromText(cfg.EepromKByte) + "\n";
  const int item = shown.rateItem;
  t += std::string("Abtastintervall: ") +
       (item >= 0 && item < SampleRateItemCount ? kIntervals[item] : "-") + "\n";
  std::string rec;
  for (const auto& c : Captions(s.channels, false)) rec += (rec.empty() ? "" : ", ") + c;
  t += "EEPROM-Record-Konfiguration: " + (rec.empty() ? std::string("-") : rec) + "\n";
  if (s.channels[chTele]) {
    std::string tele;
    for (const auto& c : Captions(s.telemetryChannels, true))
      tele += (tele.empty() ? "" : ", ") + c;
    t += "Telemetrie-Konfiguration: " + (tele.empty() ? std::string("-") : tele) +
         (s.telemetryChannels[chT4800] ? " (4800 BPS)" : "") + "\n";
  } else {
    t += "Telemetrie: aus\n";
  }
  t += "ADC3-Offset: " + ThreeDigits(s.offset) + "\n";
  if (estimate.showLabel) t += "Aufzeichnungszeit: " + estimate.text + "\n";
  return t;
}

ConfigControls ApplyChanges(const ConfigControls& afterRead,
                            const std::vector<std::pair<std::string, std::string>>& sets,
                            int deleteItem) {
  std::map<std::string, std::string> v;
  static const char* kNames[] = {
      "sensor",        "recordedChannels", "telemetry",      "telemetryChannels",
      "telemetry4800", "sampleInterval",   "sampleRateItem", "serialNumber",
      "offset"};
  for (const auto& [name, value] : sets) {
    bool known = false;
    for (const char* n : kNames) known |= name == n;
    if (!known) {
      if (name == "flightNumber" || name == "storedData" || name == "eepromKByte" ||
          name == "sampleRateCode" || name == "recordingTime")
        throw UsageError(name + " kann nicht gesetzt werden");
      throw UsageError("unbekannte Einstellung: " + name);
    }
    if (v.count(name)) throw UsageError(name + " ist doppelt angegeben");
    v[name] = value;
  }
  if (v.count("sampleInterval") && v.count("sampleRateItem"))
    throw UsageError("sampleInterval und sampleRateItem nicht zugleich angeben");

  ConfigControls c = afterRead;
  // 1.
  if (v.count("sensor")) {
    const std::string& s = v["sensor"];
    if (s != "MPX4100" && s != "MS5534A")
      throw UsageError("sensor: " + s + " ist weder MPX4100 noch MS5534A");
    const int item = s == "MS5534A" ? 1 : 0;
    if (item != c.sensorItem) {
      c.sensorItem = item;
      c.record[chE1] = false;
      c.tele[chE1] = false;
    }
  }
  const bool ms5534a = c.sensorItem == 1;
  // 2.
  if (v.count("recordedChannels")) {
    const std::array<bool, chCount> on = Channels("recordedChannels", v["recordedChannels"], false);
    if (on[chE1] && !ms5534a) throw UsageError("Temp. int. nur mit Sensor MS5534A");
    for (int ch = 0; ch < chCount; ++ch)
      if (ch != chTele) c.record[static_cast<size_t>(ch)] = on[static_cast<size_t>(ch)];
  }
  // 3.
  if (v.count("telemetry")) {
    c.record[chTele] = Flag("telemetry", v["telemetry"]);
    if (!c.record[chTele]) {
      c.tele[chAD16] = false;
      c.tele[chGps] = false;
      c.tele[chE1] = false;
    }
  }
  // 4.
  if ((v.count("telemetryChannels") || v.count("telemetry4800")) && !c.record[chTele])
    throw UsageError("telemetryChannels und telemetry4800 nur mit telemetry=true");
  if (v.count("telemetryChannels")) {
    const std::array<bool, chCount> on =
        Channels("telemetryChannels", v["telemetryChannels"], true);
    if (on[chE1] && !ms5534a) throw UsageError("Temp. int nur mit Sensor MS5534A");
    for (int ch = 0; ch < chCount; ++ch)
      if (ch != chT4800) c.tele[static_cast<size_t>(ch)] = on[static_cast<size_t>(ch)];
  }
  if (v.count("telemetry4800")) c.tele[chT4800] = Flag("telemetry4800", v["telemetry4800"]);
  // 5.
  if (v.count("sampleInterval")) c.rateItem = IntervalItem(v["sampleInterval"]);
  if (v.count("sampleRateItem"))
    c.rateItem = Number("sampleRateItem", v["sampleRateItem"], 0, SampleRateItemCount - 1);
  if (NeedsSlowerThanFastest(c.record, c.tele, c.rateItem)) c.rateItem = 1;
  // 6.
  if (v.count("serialNumber"))
    c.serialText = ThreeDigits(Number("serialNumber", v["serialNumber"], 0, 127));
  if (v.count("offset")) c.offsetText = ThreeDigits(Number("offset", v["offset"], 0, 255));
  // 7.
  c.deleteItem = deleteItem;
  return c;
}

void CheckChanges(const std::vector<std::pair<std::string, std::string>>& sets, int deleteItem) {
  // From controls that allow every change: telemetry on, the sensor with every channel.
  ConfigControls open;
  open.record[chTele] = true;
  open.sensorItem = 1;
  ApplyChanges(open, sets, deleteItem);
}

}  // namespace cli
