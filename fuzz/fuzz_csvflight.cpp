// Fuzz target: reading a saved flight back from its CSV text (ParseFlightCsv). Checked:
// - only CsvFormatError leaves the reader, its message starts with "Zeile <line>: ", and
//   the line lies within the text (or is the one after it);
// - it is the first line that does not fit: the lines before it are read without error
//   (from line 4 on: as a flight of that many records);
// - an accepted text gives 1 to 65536 records, every value within its column's range, the
//   whole flight as the range; written again in the program's format it reads back the
//   same.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "formats/flightcsv.h"

using namespace analysis;

namespace {

[[noreturn]] void Fail(const char* what) {
  std::fprintf(stderr, "csvflight model check failed: %s\n", what);
  std::abort();
}

// The lines of the text as the reader counts them (LF ends a line; the last may lack it).
size_t LineCount(std::string_view t) {
  size_t n = 0;
  for (char c : t) n += c == '\n';
  if (!t.empty() && t.back() != '\n') ++n;
  return n;
}

// The text up to (not including) line `line`, 1-based.
std::string_view Before(std::string_view t, int64_t line) {
  size_t pos = 0;
  for (int64_t l = 1; l < line; ++l) {
    const size_t nl = t.find('\n', pos);
    if (nl == std::string_view::npos) return t;
    pos = nl + 1;
  }
  return t.substr(0, pos);
}

void CheckRanges(const Flight& f) {
  static constexpr int64_t kMax[kColumnCount] = {65535, 1023, 1023, 1023, 1023, 255, 65535, 65535,
                                                 255,   255,  255,  255,  255,  -1,  -1,    65535};
  for (int c = 0; c < kColumnCount; ++c) {
    if (f.columns[c].size() != f.columns[0].size()) Fail("columns of different length");
    if (kMax[c] < 0) continue;
    for (int64_t v : f.columns[c])
      if (v < 0 || v > kMax[c]) Fail("value outside its column's range");
  }
  if (f.recordFlags1 < 0 || f.recordFlags1 > 255 || f.sampleRateCode > 255 ||
      f.downloadCount > 65536)
    Fail("header value outside its range");
}

std::string Written(const Flight& f) {
  auto v = [](std::string& out, int64_t x) { out += std::to_string(x) + ";"; };
  std::string out;
  for (int64_t x : {int64_t(f.recordFlags1), int64_t(f.recordFlags2), int64_t(f.sampleRateCode),
                    f.downloadCount, int64_t(f.headerByte6), int64_t(f.headerByte7),
                    int64_t(f.headerByte8), f.headerWord9})
    v(out, x);
  out += "\r\n";
  v(out, f.latDegrees);
  v(out, f.lonDegrees);
  v(out, f.gpsHeaderValue);
  out += "\r\n";
  for (int32_t i = 0; i < f.Count(); ++i) {
    for (int c = 0; c < kColumnCount; ++c) v(out, f.columns[c][i]);
    out += "\r\n";
  }
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  try {
    const Flight f = ParseFlightCsv(text);
    if (f.Count() < 1 || f.Count() > kMaxCsvRecords) Fail("record count out of range");
    if (f.rangeFirst != 0 || f.rangeLast != f.Count() - 1) Fail("range is not the whole flight");
    if (f.source != FlightSource::File) Fail("source is not a file");
    CheckRanges(f);
    const Flight again = ParseFlightCsv(Written(f));
    if (again.columns != f.columns || again.latDegrees != f.latDegrees ||
        again.lonDegrees != f.lonDegrees || again.downloadCount != f.downloadCount ||
        again.gpsHeaderValue != f.gpsHeaderValue)
      Fail("written again, the flight reads back different");
  } catch (const CsvFormatError& e) {
    const int64_t line = e.Line();
    const std::string prefix = "Zeile " + std::to_string(line) + ": ";
    if (std::string(e.what()).rfind(prefix, 0) != 0) Fail("message does not start with its line");
    if (line < 1 || static_cast<size_t>(line) > LineCount(text) + 1) Fail("line outside the text");
    // Everything before the first line that does not fit is readable.
    const std::string_view head = Before(text, line);
    try {
      const Flight ok = ParseFlightCsv(head);
      if (line < 4) Fail("a text of fewer than three lines was accepted");
      if (ok.Count() != line - 3) Fail("the lines before the error are not all records");
    } catch (const CsvFormatError& e2) {
      if (line >= 4) Fail("a line before the reported one does not fit");
      if (e2.Line() != line) Fail("the text before the error fails elsewhere");
    }
  }
  return 0;
}
