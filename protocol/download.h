// The data download ("Daten einlesen"): request 0x53, skip to the start marker, read the
// 23-byte header, decode the records into the sample table, then complete the degree
// fields. What happens is told to a DownloadObserver (the window draws its live graph
// from the records as they come). Every read is bounded by the line's silence limit.
#pragma once

#include <cstdint>
#include <exception>
#include <string>

#include "model/rawdump.h"
#include "model/recorddecoder.h"
#include "model/sampletable.h"
#include "protocol/observer.h"
#include "serial/line.h"

class TCustomComPort;
class ReceiveRing;
class SerialLine;

constexpr uint32_t kSyncedColor = 11730092;
extern const char* const kTextSynchronised;  // "synchronisiert"
extern const char* const kTextSwitchOff;     // "Beenden der Datenübertragung ..."
extern const char* const kTextBlocksRead;    // " Datenblöcke gelesen - Datei nun speichern"
extern const char* const kTextNoData;        // "keine Daten empfangen !!!"

// How long the start marker may be awaited while bytes keep coming (a real logger sends
// a handful of 0x55 first); a line that babbles on is given up like a silent one.
constexpr int kSyncLimitMs = 5000;

// Bounds of the download's waits; tests and fuzz targets pass their own.
struct DownloadLimits {
  // The line counts as silent (the logger switched off) only after this long without a
  // byte, while waiting for the start marker, in the header and in the records.
  int silenceMs = kLineSilenceMs;
};

// The events of a download, in the order they come.
class DownloadObserver : public ExchangeObserver {
 public:
  // The request is about to go out.
  virtual void DownloadRequested() {}
  // The header has begun (its first eleven bytes are in): records may follow.
  virtual void HeaderBegun() {}
  // The whole header is in: the record layout and the announced amount are known.
  virtual void HeaderRead(const DownloadHeader& /*header*/, int /*eepromKByte*/) {}
  // Record `index` is decoded into fd.SampleTable.
  virtual void RecordDecoded(const FlightData& /*fd*/, int32_t /*index*/) {}
  // The number of records so far.
  virtual void RecordsSoFar(int32_t /*count*/) {}
  // The records are complete with their degree fields: the range can be exported.
  virtual void RecordsStored(const FlightData& /*fd*/) {}
};

enum class DownloadOutcome {
  Records,      // at least 6 records (LastSampleIndex >= 5)
  NoData,       // "keine Daten empfangen !!!": no start marker, no header, or under 6 records
  PortFailure,  // the port failed on the way; what came is kept (see portError)
};

struct DownloadResult {
  DownloadOutcome outcome = DownloadOutcome::NoData;
  // The download came through its header: fd holds its summary, records and indexes.
  bool stored = false;
  // The bytes the download consumed, from the start marker on.
  RawDump dump;
  // The port's error when it failed on the way; the caller reports it.
  std::exception_ptr portError;
};

// One download into fd. A record of which no byte came is not a record: the normal end
// (logger switched off at a record boundary) adds nothing, and a download that got no
// record leaves LastSampleIndex at -1. A record in which the line fell silent keeps zeros
// in its remaining fields and is the last one; a header cut short by silence ends the
// download as a missing start marker does. When the port fails on the way (device gone),
// the download ends as on a silent line with what it has, and the port's error comes back
// in the result. A download that did not come through its header leaves fd as it was.
DownloadResult Datenlesen(SerialLine& line, DownloadObserver& observer, FlightData& fd,
                          int eepromKByte, const DownloadLimits& limits = DownloadLimits());
// The same over a port and its receive ring.
DownloadResult Datenlesen(TCustomComPort& port, ReceiveRing& ring, DownloadObserver& observer,
                          FlightData& fd, int eepromKByte,
                          const DownloadLimits& limits = DownloadLimits());
