#include "model/downloaddecoder.h"

#include "model/rawdump.h"
#include "model/recorddecoder.h"

namespace {

// Feeds header bytes until position `last` is read; false when the line fell silent
// first. A missing header byte is never read as 0: the header decides the record layout.
bool ReadHeaderThrough(DownloadByteSource& in, HeaderDecoder& header, int last) {
  while (header.Position() <= last) {
    const std::optional<uint8_t> b = in.Next();
    if (!b) return false;
    header.Feed(*b);
  }
  return true;
}

class DumpBytes : public DownloadByteSource {
 public:
  explicit DumpBytes(const std::vector<uint8_t>& bytes) : bytes_(bytes) {}
  std::optional<uint8_t> Next() override {
    if (pos_ >= bytes_.size()) return std::nullopt;
    return bytes_[pos_++];
  }

 private:
  const std::vector<uint8_t>& bytes_;
  size_t pos_ = 1;  // behind the start marker
};

}  // namespace

bool DecodeDownload(DownloadByteSource& in, FlightData& fd, int eepromKByte,
                    DownloadDecodeListener& listener) {
  HeaderDecoder header;
  if (!ReadHeaderThrough(in, header, 10)) return false;
  listener.HeaderBegun();
  if (!ReadHeaderThrough(in, header, kDownloadHeaderSize - 1)) return false;
  const DownloadHeader& h = header.Header();
  h.StoreSummary(fd);
  listener.HeaderRead(h);

  const RecordLayout layout(h.RecordFlags1, h.RecordFlags2);
  RecordDecoder decoder(layout);
  int32_t budget = h.ByteBudget(eepromKByte);
  int32_t n = 0;
  SampleRecord incoming;
  for (;;) {
    decoder.Begin(incoming);
    // Once the line is silent inside a record nothing more is read into it: a byte that
    // came late must not be taken for the next field. The rest stays zero.
    int got = 0;
    bool timedOut = false;
    while (got < layout.length) {
      const std::optional<uint8_t> b = in.Next();
      if (!b) {
        timedOut = true;
        break;
      }
      decoder.Feed(*b);
      ++got;
    }
    // The line fell silent before the record began: no record.
    if (layout.length > 0 && got == 0) break;
    fd.SampleTable[n] = incoming;
    listener.RecordDecoded(fd, n);
    budget -= layout.length;
    ++n;
    if (n == kSampleTableSize || timedOut || budget <= 0) break;
  }
  fd.LastSampleIndex = n - 1;
  listener.RecordsEnded(fd);
  fd.ExportFirstIndex = 0;
  fd.ExportLastIndex = fd.LastSampleIndex;
  fd.GradFilter();
  return true;
}

bool DecodeRawDump(const RawDump& dump, FlightData& fd) {
  if (dump.bytes.empty() || dump.bytes[0] != StartMarker) return false;
  DumpBytes in(dump.bytes);
  DownloadDecodeListener quiet;
  return DecodeDownload(in, fd, dump.eepromKByte, quiet);
}
