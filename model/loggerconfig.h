// The logger's configuration block: the 30 bytes the logger announces, their named
// fields, the mapping between bits and the check boxes of the first tab, the sample
// interval codes, the two wire messages the program sends (acknowledgement and write
// message), the texts the window shows for the fields, and the recording-time estimate.
// Plain C++; the window (TForm1) moves the values into and out of its controls.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>

// ---- check box indexes ----
// Index of a box in ConfigControls::record and ::tele. The order is the bit order of
// the two flag bytes: indexes 0..7 are bits 0..7 of RecordFlags1 / TeleFlags1, indexes
// 8..15 bits 0..7 of RecordFlags2 / TeleFlags2.
enum ConfigBox : int {
  cbAD16 = 0,        // "16-Bit-ADC"
  cbAD0,             // "ADC 0"
  cbAD1,             // "ADC 1"
  cbAD2,             // "ADC 2"
  cbAD3,             // "ADC 3"
  cbAD4,             // "ADC4"
  cbSpeed,           // "Frequenz"
  cbFrq,             // "Drehzahl"
  cbRC1,             // "RC 1"
  cbRC2,             // "RC 2"
  cbRC3,             // "RC 3"
  cbFrei,            // "frei" (telemetry: "Manchester")
  cbE1,              // "Temp. int."
  cbE2,              // "Temp. ext."
  cbGps,             // "GPS"
  cbTele,            // record side: TeleCheckBox "Telemetrie"
  cbT4800 = cbTele,  // telemetry side: t4800bpsCheckBox "4800 BPS" (inverted bit)
  cbCount = 16
};

// Bit table A (RecordFlags1, TeleFlags1): box index of bits 0..7.
inline constexpr std::array<int, 8> BitTableA = {cbAD16, cbAD0, cbAD1,   cbAD2,
                                                 cbAD3,  cbAD4, cbSpeed, cbFrq};
// Bit table B (RecordFlags2, TeleFlags2): box index of bits 0..7.
inline constexpr std::array<int, 8> BitTableB = {cbRC1, cbRC2, cbRC3, cbFrei,
                                                 cbE1,  cbE2,  cbGps, cbTele};
// The one inverted bit: bit 7 of TeleFlags2 is set when "4800 BPS" is NOT checked.
inline constexpr int TeleFlags2InvertedBit = 7;

// Sample interval items of RadioGroup1 ("0,02 s" .. "5 s").
inline constexpr int SampleRateItemCount = 6;

// ---- the block ----

struct LoggerConfig {
  static constexpr int kBytes = 30;

  // Configuration bytes 1..30 as received; Bytes[0] is not used.
  std::array<uint8_t, kBytes + 1> Bytes{};
  uint8_t LeadByte = 0;
  uint8_t ByteCount = 0;

  // Named fields: copied from bytes 1..11 after a read, rebuilt from the controls
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
  // The main window's reset: Adc3Offset and SerialSensor back to 0 (EepromKByte kept).
  void ResetForWindow() {
    Adc3Offset = 0;
    SerialSensor = 0;
  }
};

// ---- sample interval (table C) ----

// RadioGroup1 item for a code: the highest item whose threshold the code exceeds.
int SampleRateItemForCode(uint8_t code);
// Code written for an item; 49 when no item (or an unknown one) is selected.
uint8_t CodeForItem(int item);
// Samples per second of an item (50, 16.67, 3.85, 2, 1, 0.2); 1 when none is selected.
double SamplesPerSecond(int item);

// ---- the controls ----

// The state of the first tab's controls that the write packs and Loggerzeit reads.
struct ConfigControls {
  std::array<bool, cbCount> record{};  // GroupBox1 boxes; record[cbTele] = "Telemetrie"
  std::array<bool, cbCount> tele{};    // GroupBox2 boxes; tele[cbT4800] = "4800 BPS"
  int rateItem = -1;                   // RadioGroup1, -1 = none
  std::string serialText = "000";      // SnMaskEdit
  std::string offsetText = "000";      // OffsetMaskEdit
  int sensorItem = -1;                 // DRadioGroup: 0 MPX4100, 1 MS5534A, -1 none
  int deleteItem = -1;                 // LRadioGroup: 0 kein, 1 MultiLog, 2 SingleLog
  bool operator==(const ConfigControls&) const = default;
};

// What loading a read configuration puts into the controls, before any change handler
// has run: the boxes by the bit tables, the rate item by the cascade of thresholds, the
// padded number texts, the sensor item, and delete item 0 ("kein").
ConfigControls ControlsFromConfig(const LoggerConfig& cfg);

// DeleteMode sent for an LRadioGroup item: 0, 1, 255; 0 when none is selected.
uint8_t DeleteModeForItem(int item);

// Rebuilds the named fields of cfg from the controls (DataCount bytes 0, DeleteMode
// from the delete item). Texts above their range are packed as 255 / 127.
void PackControls(const ConfigControls& controls, LoggerConfig& cfg);
// The 11-byte write message for the controls.
std::array<uint8_t, 11> PackWriteMessage(const ConfigControls& controls);

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

// Bytes one sample occupies in the EEPROM, from the GroupBox1 boxes.
int BytesPerSample(const std::array<bool, cbCount>& record);
// True when "0,02 s" is selected but a recorded or telemetry channel other than the
// 16-bit ADC and ADC 0..4 is checked: Loggerzeit then selects "0,06 s".
bool NeedsSlowerThanFastest(const ConfigControls& controls);
// ZeitLabel's text: " " when bytes is 0, else "max. [Hh ]Mm Ss".
std::string RecordingTimeText(int bytes, double samplesPerSecond, int eepromKByte);

// The whole estimate as Loggerzeit makes it.
struct RecordingEstimate {
  int rateItem = -1;       // the item selected afterwards (1 if the rule moved it)
  bool moved = false;      // the rule moved the selection from item 0 to item 1
  std::string text;        // ZeitLabel's new text
  bool showLabel = false;  // ZeitLabel is shown (false: its visibility stays)
};
RecordingEstimate EstimateRecordingTime(const ConfigControls& controls, int eepromKByte);
