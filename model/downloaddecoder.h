// The download's decoding from the header on: the 23 header bytes after the start marker,
// then the records into the sample table until the line falls silent, the byte budget is
// spent or the table is full; then the indexes and GradFilter. The download feeds it the
// line, a kept raw dump feeds it its bytes: the same decoder for both.
#pragma once

#include <cstdint>
#include <optional>

#include "model/recorddecoder.h"
#include "model/sampletable.h"

// The next byte, or nothing once the line fell silent (or the bytes ended).
class DownloadByteSource {
 public:
  virtual ~DownloadByteSource() = default;
  virtual std::optional<uint8_t> Next() = 0;
};

// The moments of the decoding that the download reports.
class DownloadDecodeListener {
 public:
  virtual ~DownloadDecodeListener() = default;
  virtual void HeaderBegun() {}                                 // header positions 0..10 are in
  virtual void HeaderRead(const DownloadHeader& /*header*/) {}  // all 23 are in
  virtual void RecordDecoded(const FlightData& /*fd*/, int32_t /*index*/) {}
  // The last record is in and LastSampleIndex set; the degree pass comes next.
  virtual void RecordsEnded(const FlightData& /*fd*/) {}
};

// A record of which no byte came is not a record: the normal end (logger switched off at a
// record boundary) adds nothing, and a download that got no record leaves LastSampleIndex
// at -1. A record in which the line fell silent keeps zeros in its remaining fields and is
// the last one. A header cut short ends the decoding before any record (false; fd keeps
// its records and indexes then).
bool DecodeDownload(DownloadByteSource& in, FlightData& fd, int eepromKByte,
                    DownloadDecodeListener& listener);
