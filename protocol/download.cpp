#include "protocol/download.h"

#include <exception>
#include <optional>

#include "model/downloaddecoder.h"
#include "model/recorddecoder.h"
#include "serial/comerrors.h"
#include "serial/line.h"
#include "serial/portline.h"

const char* const kTextSynchronised = "synchronisiert";
const char* const kTextSwitchOff = "Beenden der Datenübertragung durch Ausschalten des Loggers";
const char* const kTextBlocksRead = " Datenblöcke gelesen - Datei nun speichern";
const char* const kTextNoData = "keine Daten empfangen !!!";

namespace {

// Receive that waits out pauses shorter than the silence limit and turns a port failure
// into a silent line: after the first EComPort the port is not read again and every call
// reports silence; the error is kept for the end. From the start marker on, every byte
// delivered goes into the dump.
class LineReader : public DownloadByteSource {
 public:
  LineReader(SerialLine& line, int silenceMs, RawDump& dump)
      : line_(line), silenceMs_(silenceMs), dump_(dump) {}
  std::optional<uint8_t> Next() override {
    std::optional<uint8_t> byte;
    if (!error_) {
      try {
        byte = line_.ReceiveWithin(silenceMs_);
      } catch (const EComPort&) {
        error_ = std::current_exception();
      }
    }
    // Bytes already received are still delivered before the line counts as dead.
    if (error_) byte = line_.TakeReceived();
    if (byte && recording_) dump_.bytes.push_back(*byte);
    return byte;
  }
  void StartRecording() {
    recording_ = true;
    dump_.bytes.push_back(StartMarker);
  }
  std::exception_ptr Error() const { return error_; }

 private:
  SerialLine& line_;
  int silenceMs_;
  RawDump& dump_;
  bool recording_ = false;
  std::exception_ptr error_;
};

// The decoder's moments as the download's status and events.
class DecodeReport : public DownloadDecodeListener {
 public:
  DecodeReport(DownloadObserver& observer, int eepromKByte)
      : observer_(observer), eepromKByte_(eepromKByte) {}
  void HeaderBegun() override {
    // 6.
    ReportStatus(observer_, clBtnFace, kTextSwitchOff);
    observer_.HeaderBegun();
  }
  void HeaderRead(const DownloadHeader& header) override {
    observer_.HeaderRead(header, eepromKByte_);
  }
  void RecordDecoded(const FlightData& fd, int32_t index) override {
    observer_.RecordDecoded(fd, index);
    observer_.RecordsSoFar(index + 1);
  }
  void RecordsEnded(const FlightData& fd) override {
    // 9.
    ReportStatus(observer_, kSyncedColor, std::to_string(fd.LastSampleIndex) + kTextBlocksRead);
  }

 private:
  DownloadObserver& observer_;
  int eepromKByte_;
};

}  // namespace

DownloadResult Datenlesen(TCustomComPort& port, ReceiveRing& ring, DownloadObserver& observer,
                          FlightData& fd, int eepromKByte, const DownloadLimits& limits) {
  PortLine line(port, ring);
  return Datenlesen(line, observer, fd, eepromKByte, limits);
}

DownloadResult Datenlesen(SerialLine& serial, DownloadObserver& observer, FlightData& fd,
                          int eepromKByte, const DownloadLimits& limits) {
  DownloadResult result;
  result.dump.eepromKByte = eepromKByte;
  // 1. The front end makes room for the graph.
  observer.DownloadRequested();
  // 2. The request; the ring and the queues keep what they hold.
  const uint8_t request = DownloadRequest;
  serial.Write(&request, 1);

  LineReader line(serial, limits.silenceMs, result.dump);
  // 3. Skip everything up to the start marker.
  bool synced = false;
  const int64_t syncDeadline = serial.NowMs() + kSyncLimitMs;
  for (;;) {
    const std::optional<uint8_t> b = line.Next();
    if (!b) break;
    if (*b == StartMarker) {
      synced = true;
      break;
    }
    if (serial.NowMs() > syncDeadline) break;
  }

  if (synced) {
    // 4.
    ReportStatus(observer, kSyncedColor, kTextSynchronised);
    line.StartRecording();
    // 5.-10. The header and the records.
    DecodeReport report(observer, eepromKByte);
    result.stored = DecodeDownload(line, fd, eepromKByte, report);
    if (result.stored) observer.RecordsStored(fd);
  }
  result.portError = line.Error();
  if (result.portError)
    result.outcome = DownloadOutcome::PortFailure;
  else if (result.stored && fd.LastSampleIndex >= 5)
    result.outcome = DownloadOutcome::Records;
  return result;
}
