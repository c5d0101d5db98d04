// Fuzz target: the download header and record stream.
//
// Input: two bytes of channel flags (RecordFlags1, RecordFlags2), then a byte stream.
// 1. The decoders alone: the stream is cut into records of the layout the two flags give
//    and fed to RecordDecoder byte by byte; every record must hold exactly the present
//    fields (byte 2 masked to the recorded ADCs) and zeros elsewhere. The first 23
//    stream bytes also go through HeaderDecoder and ParseDownloadHeader, which must
//    agree with each other and with the header layout worked out here.
// 2. The whole download: the stream is what the logger sends after the request (0x55
//    bytes, start marker, header, records; the header's own flags decide the layout).
//    It arrives at once on a scripted line, with the usual silence limit on the line's
//    own clock, and Datenlesen runs with the graph on a bounds-checking canvas. The table, the
//    indexes, the summary and the request byte are checked against the download rules:
//    a record cut short keeps zeros after its last byte and ends the download, a header
//    cut short is a download without data.
#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "graph/graph.h"
#include "model/rawdump.h"
#include "protocol/download.h"
#include "model/recorddecoder.h"
#include "model/sampletable.h"
#include "serial/scriptedline.h"
#include "tests/support/recordinguserio.h"

namespace {

[[noreturn]] void Fail(const char* what) {
  std::fprintf(stderr, "download model check failed: %s\n", what);
  std::abort();
}

// Which record byte each line byte fills, by the record layout.
std::vector<int> Fields(uint8_t f1, uint8_t f2) {
  std::vector<int> v;
  if (f1 & 0x01) v.insert(v.end(), {0, 1});
  if (f1 & 0x1E) v.push_back(2);
  for (int bit = 1; bit <= 4; ++bit)
    if (f1 & (1 << bit)) v.push_back(2 + bit);
  if (f1 & 0x20) v.push_back(7);
  if (f1 & 0x40) v.insert(v.end(), {8, 9});
  if (f1 & 0x80) v.insert(v.end(), {10, 11});
  for (int bit = 0; bit <= 2; ++bit)
    if (f2 & (1 << bit)) v.push_back(12 + bit);
  if (f2 & 0x10) v.push_back(15);
  if (f2 & 0x20) v.push_back(16);
  if (f2 & 0x40)
    for (int i = 17; i <= 22; ++i) v.push_back(i);
  return v;
}

uint8_t Mask2(uint8_t f1) {
  return static_cast<uint8_t>(((f1 & 0x02) ? 0x03 : 0) | ((f1 & 0x04) ? 0x0C : 0) |
                              ((f1 & 0x08) ? 0x30 : 0) | ((f1 & 0x10) ? 0xC0 : 0));
}

SampleRecord Expected(const std::vector<int>& fields, uint8_t mask2, const uint8_t* bytes,
                      size_t n) {
  SampleRecord r;
  std::memset(&r, 0, sizeof r);
  for (size_t i = 0; i < fields.size() && i < n; ++i)
    r.b[fields[i]] = fields[i] == 2 ? static_cast<uint8_t>(bytes[i] & mask2) : bytes[i];
  return r;
}

DownloadHeader ExpectedHeader(const uint8_t* h) {
  DownloadHeader e;
  e.RecordFlags1 = h[1];
  e.RecordFlags2 = h[2];
  e.SampleRateCode = h[3];
  e.DataLength = static_cast<uint16_t>(h[4] * 256 + h[5]);
  e.HeaderByte6 = h[6];
  e.HeaderByte7 = h[7];
  e.HeaderByte8 = h[8];
  e.HeaderWord9 = h[9] * 256 + h[10];
  e.LatHemisphere = static_cast<char>(h[11]);
  e.LatDegrees = h[12] * 10u + h[13];
  e.LonHemisphere = static_cast<char>(h[15]);
  e.LonDegrees = h[16] * 100u + h[17] * 10u + h[18];
  const bool none = h[19] == 0xFE && h[20] == 0xFE && h[21] == 0xFE;
  e.GpsHeaderValue =
      none ? 0u : (uint32_t{h[19]} << 24 | uint32_t{h[20]} << 16 | uint32_t{h[21]} << 8 | h[22]);
  return e;
}

bool SameHeader(const DownloadHeader& a, const DownloadHeader& b) {
  return a.RecordFlags1 == b.RecordFlags1 && a.RecordFlags2 == b.RecordFlags2 &&
         a.SampleRateCode == b.SampleRateCode && a.DataLength == b.DataLength &&
         a.HeaderByte6 == b.HeaderByte6 && a.HeaderByte7 == b.HeaderByte7 &&
         a.HeaderByte8 == b.HeaderByte8 && a.HeaderWord9 == b.HeaderWord9 &&
         a.LatHemisphere == b.LatHemisphere && a.LatDegrees == b.LatDegrees &&
         a.LonHemisphere == b.LonHemisphere && a.LonDegrees == b.LonDegrees &&
         a.GpsHeaderValue == b.GpsHeaderValue;
}

bool SameBytes(const SampleRecord& a, const SampleRecord& b, int upto) {
  return std::memcmp(a.b, b.b, static_cast<size_t>(upto)) == 0;
}

void DecodersAlone(uint8_t f1, uint8_t f2, const uint8_t* s, size_t n) {
  const std::vector<int> fields = Fields(f1, f2);
  const RecordLayout layout(f1, f2);
  if (layout.length != static_cast<int>(fields.size()) || RecordLength(f1, f2) != layout.length)
    Fail("record length");
  if (Byte2Mask(f1) != Mask2(f1)) Fail("byte 2 mask");
  for (int i = 0; i < 25; ++i) {
    bool present = false;
    for (int f : fields) present = present || f == i;
    if (RecordBytePresent(i, f1, f2) != present) Fail("RecordBytePresent");
  }
  RecordDecoder dec(layout);
  SampleRecord rec;
  size_t pos = 0;
  while (layout.length > 0 && pos < n) {
    std::memset(&rec, 0xA5, sizeof rec);  // Begin must clear what was there
    dec.Begin(rec);
    const size_t take = std::min(n - pos, static_cast<size_t>(layout.length));
    for (size_t i = 0; i < take; ++i) {
      const bool done = dec.Feed(s[pos + i]);
      if (done != (i + 1 == static_cast<size_t>(layout.length))) Fail("Feed's completion");
    }
    if (dec.BytesRead() != static_cast<int>(take)) Fail("BytesRead");
    if (!SameBytes(rec, Expected(fields, Mask2(f1), s + pos, take), 25)) Fail("decoded record");
    if (take == static_cast<size_t>(layout.length) && !dec.Feed(0x5A)) Fail("Feed after complete");
    if (!SameBytes(rec, Expected(fields, Mask2(f1), s + pos, take), 25))
      Fail("Feed after complete changed the record");
    pos += take;
  }
  if (n >= kDownloadHeaderSize) {
    HeaderDecoder hd;
    for (int i = 0; i < kDownloadHeaderSize; ++i) {
      if (hd.Complete() || hd.Position() != i) Fail("header position");
      hd.Feed(s[i]);
    }
    if (!hd.Complete()) Fail("header not complete after 23 bytes");
    const DownloadHeader before = hd.Header();
    hd.Feed(0x77);
    uint8_t fixed[kDownloadHeaderSize];
    std::memcpy(fixed, s, sizeof fixed);
    const DownloadHeader parsed = ParseDownloadHeader(fixed);
    if (!SameHeader(before, hd.Header())) Fail("header changed after complete");
    if (!SameHeader(parsed, before)) Fail("ParseDownloadHeader differs from HeaderDecoder");
    if (!SameHeader(parsed, ExpectedHeader(s))) Fail("header fields differ from the layout");
  }
}

// ---- the whole download ----

// Accepts any coordinates the graph may give (lines may leave the box), but not ones
// that only an overflow or a division by zero can make.
class CheckingCanvas : public GraphCanvas {
 public:
  CheckingCanvas(int w, int h) : w_(w), h_(h) {}
  int Width() const override { return w_; }
  int Height() const override { return h_; }
  void FillRect(int l, int t, int r, int b, uint32_t) override { Check(l, t), Check(r, b); }
  void SetPenColor(uint32_t) override {}
  void SetPenInvert(bool) override {}
  void MoveTo(int x, int y) override { Check(x, y); }
  void LineTo(int x, int y) override { Check(x, y), ++lines; }
  void TextOut(int x, int y, const std::string&) override { Check(x, y); }
  long lines = 0;

 private:
  void Check(int x, int y) const {
    if (x < -1000000 || x > 1000000 || y < -1000000 || y > 1000000)
      Fail("graph coordinate out of all reason");
  }
  int w_, h_;
};

// The window's part of a download on checking canvases: the live graph as the records
// come, the final graph after a download with records.
class QuietView : public StatusOnUserIO<DownloadObserver> {
 public:
  QuietView(UserIO& io, GraphCanvas& bitmap, GraphCanvas& box, int32_t graphStep)
      : StatusOnUserIO(io), bitmap_(bitmap), box_(box), step_(graphStep) {}
  void HeaderBegun() override { live_.PrepareLiveGraph(bitmap_); }
  void RecordDecoded(const FlightData& fd, int32_t index) override {
    if (index % step_ == 0) live_.PlotLivePoint(bitmap_, fd, index, step_);
  }
  void RecordsStored(const FlightData&) override { saveEnabled = true; }
  void Finish(const DownloadResult& result, const FlightData& fd) {
    if (fd.LastSampleIndex < 5) {
      if (!result.portError) io_.ShowMessage(BoxKind::Information, kTextNoData);
    } else {
      DrawFinalGraph(box_, fd, bitmap_.Width(), bitmap_.Height());
    }
  }
  bool saveEnabled = false;

 private:
  GraphCanvas& bitmap_;
  GraphCanvas& box_;
  int32_t step_;
  LiveGraph live_;
};

ScriptedLine& Line() {
  static ScriptedLine* line = new ScriptedLine;
  return *line;
}

FlightData& Table() {
  static FlightData* fd = new FlightData;  // 1.6 MB, one for the run as in the program
  return *fd;
}

void WholeDownload(uint8_t option, const uint8_t* s, size_t n) {
  ScriptedLine& line = Line();
  line.Reset();
  line.Send(s, n);
  FlightData& fd = Table();
  fd.ResetIndexes();
  const int eepromKByte = 32;
  const int32_t graphStep = 1 + option % 7;

  RecordingUserIO io;
  CheckingCanvas bitmap(470, 129), box(470, 129);
  QuietView view(io, bitmap, box, graphStep);
  // The program's own limits: the bytes all arrive at once, so only the silent line at
  // the end of the input moves the clock.
  const DownloadResult result = Datenlesen(line, view, fd, eepromKByte);
  view.Finish(result, fd);

  const std::vector<uint8_t>& sent = line.Written();
  if (sent.size() != 1 || sent[0] != DownloadRequest) Fail("the request is not one byte 0x53");

  // Where the stream stands: the start marker, then the whole header. A stream that ends
  // before either is a download without data.
  size_t p = 0;
  while (p < n && s[p] != StartMarker) ++p;
  if (p == n || n - (p + 1) < static_cast<size_t>(kDownloadHeaderSize)) {
    if (fd.LastSampleIndex != 0 || view.saveEnabled)
      Fail("no start marker or header, but a download");
    if (io.ui.boxes.size() != 1 || io.ui.boxes[0].text != kTextNoData)
      Fail("no start marker or header, no message");
    if (line.Unread() != 0) Fail("bytes left after a failed sync or header");
    return;
  }
  ++p;
  uint8_t h[kDownloadHeaderSize] = {};
  for (int i = 0; i < kDownloadHeaderSize; ++i, ++p) h[i] = s[p];
  const DownloadHeader eh = ExpectedHeader(h);
  if (fd.RecordFlags1 != eh.RecordFlags1 || fd.RecordFlags2 != eh.RecordFlags2 ||
      fd.SampleRateCode != eh.SampleRateCode || fd.HeaderWord9 != eh.HeaderWord9 ||
      fd.LatDegrees != eh.LatDegrees || fd.LonDegrees != eh.LonDegrees ||
      fd.GpsHeaderValue != eh.GpsHeaderValue || fd.HeaderByte8 != eh.HeaderByte8)
    Fail("download summary differs from the header");

  // The records: a record of which no byte came is no record.
  const std::vector<int> fields = Fields(eh.RecordFlags1, eh.RecordFlags2);
  const size_t len = fields.size();
  int32_t budget = eh.DataLength ? eh.DataLength : eepromKByte * 1024;
  int32_t records = 0;
  for (;;) {
    const size_t avail = p < n ? n - p : 0;
    if (len > 0 && avail == 0) break;
    const size_t take = std::min(avail, len);
    const SampleRecord want = Expected(fields, Mask2(eh.RecordFlags1), s + std::min(p, n), take);
    if (!SameBytes(fd.SampleTable[records], want, 23)) Fail("record differs from the stream");
    p += len;
    budget -= static_cast<int32_t>(len);
    ++records;
    if (records == kSampleTableSize || take < len || budget <= 0) break;
  }
  if (fd.LastSampleIndex != records - 1) Fail("LastSampleIndex differs from the records read");
  if (fd.ExportFirstIndex != 0 || fd.ExportLastIndex != fd.LastSampleIndex) Fail("export range");
  if (!view.saveEnabled) Fail("save not enabled after a download");
  if ((fd.LastSampleIndex < 5) != (io.ui.boxes.size() == 1)) Fail("no-data message");
  const size_t left = p < n ? n - p : 0;
  if (line.Unread() != left) Fail("consumed other than the records");
  // The dump is exactly the bytes consumed from the start marker on, and decodes to the
  // same table.
  const size_t marker = static_cast<size_t>(std::find(s, s + n, StartMarker) - s);
  if (result.dump.bytes.size() != n - left - marker ||
      !std::equal(result.dump.bytes.begin(), result.dump.bytes.end(), s + marker))
    Fail("the dump is not the bytes consumed");
  static FlightData* again = new FlightData;
  if (!DecodeRawDump(result.dump, *again) || again->LastSampleIndex != fd.LastSampleIndex ||
      std::memcmp(again->SampleTable, fd.SampleTable,
                  sizeof(SampleRecord) * static_cast<size_t>(fd.LastSampleIndex + 1)) != 0)
    Fail("the dump decodes to another table");
  // Degree offsets: 100 at the first record, one step at most from record to record.
  for (int32_t i = 0; i <= fd.LastSampleIndex; ++i) {
    const SampleRecord& r = fd.SampleTable[i];
    if (i == 0 && (r.b[23] != 100 || r.b[24] != 100)) Fail("first record's degree offsets");
    if (i > 0) {
      const SampleRecord& q = fd.SampleTable[i - 1];
      if (std::abs(r.b[23] - q.b[23]) > 1 || std::abs(r.b[24] - q.b[24]) > 1)
        Fail("degree offset jumps");
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  DecodersAlone(data[0], data[1], data + 2, size - 2);
  WholeDownload(data[0] ^ data[1], data + 2, size - 2);
  return 0;
}
