// The simulated logger: the logger's side of the serial line, played on a
// pseudo-terminal. The program under test opens the slave side (SlavePath())
// as its serial port; the simulator holds the master side and answers as the
// logger's firmware and bootloader would.
//
// This is an independent coding of the wire format: it shares no code with the
// program, so a test that runs both compares two implementations.
//
// Wire summary (logger side):
//  * power-on announce: sync 0x55 (one or more), lead byte (not 0x55), count N,
//    N configuration bytes: 1 RecordFlags1, 2 RecordFlags2, 3 SampleRateCode,
//    4-5 DataCount (big-endian), 6 TeleFlags1, 7 TeleFlags2, 8 Adc3Offset,
//    9 SerialSensor (bit 7 = MS5534A), 10-11 FlightNumber (big-endian),
//    12 EepromSize (units of 32 kByte), 13.. extra bytes.
//  * acknowledgement from the program: 31 bytes 0x0F.
//  * write message from the program: 0x63 and 10 bytes (RecordFlags1,
//    RecordFlags2, SampleRateCode, 0, 0, TeleFlags1, TeleFlags2, Adc3Offset,
//    SerialSensor, DeleteMode). DeleteMode 1 (MultiLog) and 255 (SingleLog)
//    clear the stored flight. The logger then announces its new configuration.
//  * download request 0x53: sync 0x55 bytes, start marker 0x01, 23-byte header,
//    then the records packed field by field; then silence.
//  * bootloader: trigger 0x21 -> "r"; Intel HEX records without line ends,
//    each answered "." (good), "S" (end-of-file record) or "E" (bad record).
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace loggersim {

// The logger's configuration block.
struct SimConfig {
  uint8_t recordFlags1 = 0xFF;
  uint8_t recordFlags2 = 0x77;
  uint8_t sampleRateCode = 49;
  uint8_t teleFlags1 = 0x01;
  uint8_t teleFlags2 = 0x80;
  uint8_t adc3Offset = 0;
  uint8_t serialSensor = 0x80 | 12;  // serial number 12, MS5534A
  uint16_t flightNumber = 7;
  uint16_t dataCount = 0;           // number of stored records
  uint8_t eepromSize = 2;           // units of 32 kByte (2 = 64 kByte)
  uint8_t leadByte = 0x00;          // never 0x55
  std::vector<uint8_t> extraBytes;  // positions 13..N
  int countOverride = -1;           // >= 0: send this count byte N (bytes beyond 12+extra are 0)

  // Positions 1..N as sent.
  std::vector<uint8_t> Bytes() const;
};

// One sample as the logger measured it (values, not bytes).
struct SimRecord {
  uint16_t adc16 = 0;
  uint16_t adc[4] = {0, 0, 0, 0};  // 10-bit ADC 0..3
  uint8_t adc4 = 0;
  uint16_t freq = 0;
  uint16_t rpm = 0;
  uint8_t rc[3] = {0, 0, 0};
  uint8_t tempInt = 0;
  uint8_t tempExt = 0;
  uint16_t latMin = 0;  // thousandths of a minute, 0..59999
  uint16_t lonMin = 0;
  uint16_t gps3 = 0;
  bool operator==(const SimRecord&) const = default;
};

// A stored flight: the download header and the records.
struct SimFlight {
  uint8_t headerByte0 = 0;  // position 0, ignored by the program
  uint8_t recordFlags1 = 0xFF;
  uint8_t recordFlags2 = 0x77;
  uint8_t sampleRateCode = 49;
  int dataLength = -1;  // -1: the real number of record bytes; 0..65535 sent as is
  uint8_t headerByte6 = 0, headerByte7 = 0, headerByte8 = 0;
  uint16_t headerWord9 = 0;
  char latHemisphere = 'N';
  uint8_t latDegrees = 0;    // 0..99
  uint8_t headerByte14 = 0;  // ignored by the program
  char lonHemisphere = 'E';
  uint16_t lonDegrees = 0;     // 0..999
  bool gpsHeaderNone = false;  // true: 0xFE 0xFE 0xFE gpsHeaderLast
  uint32_t gpsHeaderValue = 0;
  uint8_t gpsHeaderLast = 0;
  bool truncateToDataLength = false;  // stop the stream after dataLength record bytes
  std::vector<SimRecord> records;

  int RecordSize() const;   // bytes per record for the flags
  int RecordBytes() const;  // RecordSize() * records
  uint16_t AnnouncedDataLength() const;
};

SimFlight SampleFlight();                     // built-in 20-minute flight, 1200 records at 1 s
SimConfig ConfigForFlight(const SimFlight&);  // default configuration that matches a flight
// The configuration that announces a replayed dump: its channel flags and sample rate
// (header positions 1 to 3 behind the start marker) and the EEPROM size that bounded it.
SimConfig ConfigForReplay(const std::vector<uint8_t>& dump, int eepromKByte);

// Text format (see data/README.md): "key = value" header lines, one line of 16
// numbers per record, "#" comments. Throw std::runtime_error on bad input.
SimFlight LoadFlight(const std::string& path);
void SaveFlight(const SimFlight&, const std::string& path);

// Record packed field by field in record byte order, each field only when its
// flag is set. allHighBits: byte 2 carries the high bits of all four ADCs, not
// only of the recorded ones.
std::vector<uint8_t> PackRecord(const SimRecord&, uint8_t flags1, uint8_t flags2,
                                bool allHighBits = false);
std::vector<uint8_t> PackHeader(const SimFlight&);  // the 23 header bytes
std::vector<uint8_t> BuildAnnounce(const SimConfig&, int syncCount = 3);
std::vector<uint8_t> BuildDownload(const SimFlight&, int syncCount = 8, bool allHighBits = false);

// Intel HEX helpers.
using HexImage = std::map<uint32_t, uint8_t>;  // address -> byte
bool ParseHexFile(const std::string& path, HexImage& image, std::string* error = nullptr);
bool WriteHexFile(const HexImage& image, const std::string& path, bool crlf = false);
// A small plausible PIC16F876 program (INHX8M byte addresses).
HexImage SampleFirmwareImage();

// The line held for ms milliseconds after the first `offset` bytes of a message.
struct SimPause {
  long offset = 0;
  int ms = 0;
};

struct SimFaults {
  // Normal mode
  std::vector<SimPause> downloadPauses;  // inside every download answer (0x55 run on)
  std::vector<SimPause> configPauses;    // inside every announce (0x55 run on)
  int configStopAfter = -1;              // every announce stops after k bytes (from its first byte)
  int downloadStopAfter = -1;    // the download answer stops after k bytes (from its first byte)
  int recordsStopAfter = -1;     // the record stream stops after k record bytes
  int garbageBefore = 0;         // garbage bytes before every message (never 0x01 or 0x55)
  int garbageInsideAt = -1;      // garbage after byte k of every message ...
  int garbageInsideCount = 0;    // ... this many bytes
  bool endless = false;          // the download stream never stops
  bool babble = false;           // sends garbage without a pause from power-on
  bool allHighBits = false;      // byte 2 of a record carries unrecorded ADC high bits too
  long hangupAt = -1;            // closes the master after k bytes sent in all
  long hangupInDownloadAt = -1;  // closes the master after k bytes of a download answer
  int downloadDelayMs = 2;       // delay between request 0x53 and the answer
  // Bootloader mode
  bool bootSilent = false;       // no answer to triggers at all
  int bootReadyOnTrigger = 1;    // "r" only to the k-th trigger (1 = the first)
  int bootWrongReady = -1;       // answer to the triggers before the k-th (-1 = none)
  int bootBadAnswerAtLine = -1;  // record m (1-based) is answered with bootBadAnswer
  char bootBadAnswer = 'E';
  int bootNoAnswerAtLine = -1;  // record m gets no answer
  bool bootNoFinalS = false;    // the end record is answered "." instead of "S"
};

// "NAME=ARG" or "NAME" (see --help of build/loggersim). False and *error on a bad one.
bool ParseFault(const std::string& text, SimFaults& faults, std::string* error = nullptr);
// "OFFSET:MS" (a pause in the download answer) or "config:OFFSET:MS" (in the announce).
bool ParsePause(const std::string& text, SimFaults& faults, std::string* error = nullptr);
// "key=value" for SimConfig fields (recordFlags1, ..., eepromSize, leadByte, count, extra=1,2,3).
bool ParseConfigSetting(const std::string& text, SimConfig& config, std::string* error = nullptr);

enum class SimMode { Normal, Bootloader };

struct SimOptions {
  SimMode mode = SimMode::Normal;
  int powerOnDelayMs = 300;     // from Start() (or PowerOn()) to the first announce
  int announceEveryMs = 0;      // 0: announce once; > 0: again until acknowledged
  int reannounceDelayMs = 300;  // after a write without delete
  int deleteMs = 3000;          // after a write with delete
  int syncCount = 3;            // 0x55 bytes before an announce
  int downloadSyncCount = 8;    // 0x55 bytes before the start marker
  int baud = 38400;             // 0: as fast as the pty takes it
  int bitsPerByte = 11;         // 8N2
  int reonAfterDownloadMs = 0;  // > 0: switched on again this long after a download
  std::string linkPath;         // if set: symlink to the slave
  std::string logPath;          // if set: log of received bytes with times
  int lifetimeMs = 0;           // > 0: the simulator ends by itself
  // Not empty: a download is answered with the 0x55 run and then exactly these bytes
  // (a raw dump as a download consumed it, from the start marker on) instead of the
  // stored flight.
  std::vector<uint8_t> replay;
  SimFaults faults;
};

struct RxEvent {
  double ms;  // since Start()
  uint8_t byte;
};

class LoggerSim {
 public:
  LoggerSim(SimOptions options, SimConfig config, SimFlight flight);
  ~LoggerSim();  // stops
  LoggerSim(const LoggerSim&) = delete;
  LoggerSim& operator=(const LoggerSim&) = delete;

  // Opens the pty (throws std::runtime_error on failure) and starts the thread.
  void Start();
  void Stop();
  bool Running() const;  // false after Stop, lifetime end or hang-up
  std::string SlavePath() const;

  // Thread-safe accessors.
  std::vector<uint8_t> Received() const;
  std::vector<RxEvent> ReceivedEvents() const;
  void ClearReceived();
  SimConfig CurrentConfig() const;
  SimFlight CurrentFlight() const;
  std::vector<std::vector<uint8_t>> WriteMessages() const;  // each 11 bytes, 0x63 first
  int Announces() const;                                    // announces sent in full
  int Acks() const;                                         // acknowledgements (31 x 0x0F) seen
  int Downloads() const;                                    // download requests answered
  int Deletes() const;                                      // deletes finished
  long BytesSent() const;
  bool HungUp() const;
  int Triggers() const;                                // bootloader triggers received
  std::vector<std::string> ProgrammedRecords() const;  // good records, as received
  std::vector<std::string> BadRecords() const;
  HexImage ProgrammedImage() const;
  bool Finished() const;  // bootloader saw the end record
  bool WriteImageHex(const std::string& path) const;

  // Switch the logger on again now: announce after powerOnDelayMs.
  void PowerOn();
  // Switch it off: stops sending (the queued output is dropped).
  void PowerOff();

 private:
  struct Impl;
  std::unique_ptr<Impl> d;
};

}  // namespace loggersim
