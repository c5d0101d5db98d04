// The logger's configuration block: the 30 bytes the logger announces, their named
// fields, the channels of the two flag pairs, the settings a write gives the logger, the
// sample interval codes, the two wire messages the program sends (acknowledgement and
// write message), the texts shown for the fields, and the recording-time estimate.
// Plain C++; every front end maps its own controls or options onto LoggerSettings.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>

// ---- channels ----
// Index of a channel in LoggerSettings::channels and ::telemetryChannels. The order is the
// bit order of the two flag bytes: indexes 0..7 are bits 0..7 of RecordFlags1 /
// TeleFlags1, indexes 8..15 bits 0..7 of RecordFlags2 / TeleFlags2.
enum Channel : int {
  chAD16 = 0,        // "16-Bit-ADC"
  chAD0,             // "ADC 0"
  chAD1,             // "ADC 1"
  chAD2,             // "ADC 2"
  chAD3,             // "ADC 3"
  chAD4,             // "ADC4"
  chSpeed,           // "Frequenz"
  chFrq,             // "Drehzahl"
  chRC1,             // "RC 1"
  chRC2,             // "RC 2"
  chRC3,             // "RC 3"
  chFrei,            // "frei" (telemetry: "Manchester")
  chE1,              // "Temp. int."
  chE2,              // "Temp. ext."
  chGps,             // "GPS"
  chTele,            // recorded side: "Telemetrie", the telemetry switch
  chT4800 = chTele,  // telemetry side: "4800 BPS" (inverted bit)
  chCount = 16
};

// Bit table A (RecordFlags1, TeleFlags1): box index of bits 0..7.
inline constexpr std::array<int, 8> BitTableA = {chAD16, chAD0, chAD1,   chAD2,
                                                 chAD3,  chAD4, chSpeed, chFrq};
// Bit table B (RecordFlags2, TeleFlags2): box index of bits 0..7.
inline constexpr std::array<int, 8> BitTableB = {chRC1, chRC2, chRC3, chFrei,
                                                 chE1,  chE2,  chGps, chTele};
// The one inverted bit: bit 7 of TeleFlags2 is set when "4800 BPS" is NOT checked.
inline constexpr int TeleFlags2InvertedBit = 7;

// The sample intervals offered ("0,02 s" .. "5 s"), as items 0..5.
inline constexpr int SampleRateItemCount = 6;

// ---- the block ----

struct LoggerConfig {
  static constexpr int kBytes = 30;

  // Configuration bytes 1..30 as received; Bytes[0] is not used.
  std::array<uint8_t, kBytes + 1> Bytes{};
  uint8_t LeadByte = 0;
  uint8_t ByteCount = 0;

  // Named fields: copied from bytes 1..11 after a read, rebuilt from the settings
  // before a write.
  uint8_t RecordFlags1 = 0;      // byte 1
  uint8_t RecordFlags2 = 0;      // byte 2
  uint8_t SampleRateCode = 0;    // byte 3
  uint8_t DataCountHigh = 0;     // byte 4
  uint8_t DataCountLow = 0;      // byte 5
  uint8_t TeleFlags1 = 0;        // byte 6
  uint8_t TeleFlags2 = 0;        // byte 7
  uint8_t Adc3Offset = 0;        // byte 8
  uint8_t SerialSensor = 0;      // byte 9: serial number in bits 0..6, bit 7 = MS5534A
  uint8_t FlightNumberHigh = 0;  // byte 10; doubles as DeleteMode when writing
  uint8_t FlightNumberLow = 0;   // byte 11

  int32_t DataCount = 0;     // byte 4 * 256 + byte 5, after a read
  int32_t EepromKByte = 32;  // 32 at program start; set by a read with byte 12 > 0

  uint8_t& DeleteMode() { return FlightNumberHigh; }
  uint8_t DeleteMode() const { return FlightNumberHigh; }
  int FlightNumber() const { return FlightNumberHigh * 256 + FlightNumberLow; }
  uint8_t EepromSize() const { return Bytes[12]; }

  // Sets the 30 configuration bytes to 0 (before every read).
  void ClearBytes() { Bytes.fill(0); }
  // After a read: bytes 1..11 into the named fields, DataCount, and EepromKByte
  // when byte 12 is not 0.
  void CopyNamedFields();
  // The reset of a session: Adc3Offset and SerialSensor back to 0 (EepromKByte kept).
  void ResetForWindow() {
    Adc3Offset = 0;
    SerialSensor = 0;
  }
};

// ---- sample interval (table C) ----

// The interval item for a code: the highest item whose threshold the code exceeds.
int SampleRateItemForCode(uint8_t code);
// Code written for an item; 49 when no item (or an unknown one) is selected.
uint8_t CodeForItem(int item);
// Samples per second of an item (50, 16.67, 3.85, 2, 1, 0.2); 1 when none is selected.
double SamplesPerSecond(int item);

// ---- the settings of a write ----

// What a write gives the logger, in its own terms. Values above their range are written
// as the highest the field holds (127, 255).
struct LoggerSettings {
  std::array<bool, chCount> channels{};           // channels[chTele]: telemetry on
  std::array<bool, chCount> telemetryChannels{};  // telemetryChannels[chT4800]: 4800 baud
  uint8_t sampleRateCode = 49;
  int serialNumber = 0;    // 0..127
  bool ms5534a = false;    // the sensor: MS5534A, else MPX4100
  int offset = 0;          // ADC 3 offset, 0..255
  uint8_t deleteMode = 0;  // 0 none, 1 MultiLog, 255 SingleLog
  bool operator==(const LoggerSettings&) const = default;
};

// The settings of a read block as received (delete mode 0).
LoggerSettings SettingsFromConfig(const LoggerConfig& cfg);

// DeleteMode sent for a delete choice: 0 none ("kein"), 1 MultiLog, 2 SingleLog -> 0, 1,
// 255; 0 for no choice.
uint8_t DeleteModeForItem(int item);

// Rebuilds the named fields of cfg from the settings (DataCount bytes 0).
void PackSettings(const LoggerSettings& settings, LoggerConfig& cfg);
// The 11-byte write message for the settings.
std::array<uint8_t, 11> WriteMessageFor(const LoggerSettings& settings);

// ---- wire messages ----

inline constexpr uint8_t SyncByte = 0x55;
inline constexpr uint8_t WriteCommand = 0x63;
inline constexpr uint8_t AckByte = 0x0F;
inline constexpr int AckLength = 31;

// The acknowledgement: 31 bytes 0x0F.
std::array<uint8_t, AckLength> Acknowledgement();
// The write message from the named fields: 0x63, RecordFlags1, RecordFlags2,
// SampleRateCode, 0, 0, TeleFlags1, TeleFlags2, Adc3Offset, SerialSensor, DeleteMode.
std::array<uint8_t, 11> WriteMessage(const LoggerConfig& cfg);

// ---- texts ----

std::string ThreeDigits(int value);        // "007", "012", "120"
std::string FlightNumberText(int number);  // "Flugnummer: 00007"
std::string DataCountText(int count);      // "Daten: 300"
std::string EepromText(int kByte);         // "EEPROM: 256kByte"
// "Konfiguration empfangen : " + lead + " " + each byte + " ".
std::string ConfigReceivedText(uint8_t lead, std::span<const uint8_t> bytes);

// The three-digit entry fields: digits only, at most three of them.
struct NumberField {
  std::string text;  // the padded text to write back into the field
  int value = 0;
};
NumberField NormalizeSerialText(const std::string& text);  // 0..127
NumberField NormalizeOffsetText(const std::string& text);  // 0..255
// The number a field shows, read from its digits as displayed; 0 without digits.
int DisplayedNumber(const std::string& text);

// ---- recording time ----

// Bytes one sample occupies in the EEPROM, from the recorded channels.
int BytesPerSample(const std::array<bool, chCount>& channels);
// True when "0,02 s" (item 0) is chosen but a recorded or telemetry channel other than the
// 16-bit ADC and ADC 0..4 is on: the rule then chooses "0,06 s" (item 1).
bool NeedsSlowerThanFastest(const std::array<bool, chCount>& channels,
                            const std::array<bool, chCount>& telemetryChannels, int rateItem);
// The recording time's text: " " when bytes is 0, else "max. [Hh ]Mm Ss".
std::string RecordingTimeText(int bytes, double samplesPerSecond, int eepromKByte);

// The whole estimate with its rule.
struct RecordingEstimate {
  int rateItem = -1;       // the item chosen afterwards (1 if the rule moved it)
  bool moved = false;      // the rule moved the choice from item 0 to item 1
  std::string text;        // the recording time's new text
  bool showLabel = false;  // the time is shown (false: its visibility stays)
};
RecordingEstimate EstimateRecordingTime(const std::array<bool, chCount>& channels,
                                        const std::array<bool, chCount>& telemetryChannels,
                                        int rateItem, int eepromKByte);
