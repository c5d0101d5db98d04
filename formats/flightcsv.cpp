#include "formats/flightcsv.h"

#include <charconv>
#include <filesystem>
#include <limits>

#include "formats/atomicfile.h"
#include "formats/fileerror.h"

namespace analysis {

namespace {
std::string LastPart(const std::string& path) {
  const auto slash = path.find_last_of("/\\");
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string KindOf(std::filesystem::file_type type) {
  using std::filesystem::file_type;
  switch (type) {
    case file_type::directory: return "ein Ordner";
    case file_type::fifo: return "eine benannte Pipe (FIFO)";
    case file_type::character:
    case file_type::block: return "ein Gerät";
    case file_type::socket: return "ein Socket";
    default: return "keine gewöhnliche Datei";
  }
}
}  // namespace

NotAFileError::NotAFileError(const std::string& path, std::filesystem::file_type type)
    : std::runtime_error("„" + LastPart(path) + "“ ist " + KindOf(type) +
                         ", keine Datei, die sich öffnen lässt.") {}

CsvFormatError::CsvFormatError(int64_t line, const std::string& reason)
    : std::runtime_error("Zeile " + std::to_string(line) + ": " + reason), line_(line) {}

namespace {

struct Range {
  int64_t min, max;
};

constexpr int64_t kU8 = 255, kU16 = 65535, kU32 = 4294967295LL;
// A coordinate column: degrees (a header byte's worth around the header degrees, which
// may be any 32-bit value) and five minute digits; anything beyond is not this format.
constexpr int64_t kCoordinateMax = (kU32 + 256) * 100000 + 99999;

constexpr Range kHeaderRanges[8] = {{0, kU8}, {0, kU8}, {0, kU8}, {0, kMaxCsvRecords},
                                    {0, kU8}, {0, kU8}, {0, kU8}, {0, kU16}};
constexpr Range kGpsRanges[3] = {{-kU32, kU32}, {-kU32, kU32}, {0, kU32}};
// clang-format off
constexpr Range kRecordRanges[kColumnCount] = {
    {0, kU16}, {0, 1023}, {0, 1023}, {0, 1023}, {0, 1023}, {0, kU8}, {0, kU16}, {0, kU16},
    {0, kU8},  {0, kU8},  {0, kU8},  {0, kU8},  {0, kU8},  {-kCoordinateMax, kCoordinateMax},
    {-kCoordinateMax, kCoordinateMax}, {0, kU16}};
// clang-format on

// A value quoted in a message only when it is short printable ASCII.
std::string Quoted(std::string_view v) {
  if (v.empty()) return "ein leerer Wert";
  if (v.size() > 20) return "ein Wert";
  for (char c : v)
    if (static_cast<unsigned char>(c) < 0x20 || static_cast<unsigned char>(c) > 0x7E)
      return "ein Wert";
  return "„" + std::string(v) + "“";
}

// Splits one line (without its line end) into values, each followed by ";", and checks
// each against its range. Returns the values through out.
template <size_t N>
void ParseLine(std::string_view line, int64_t lineNo, const Range (&ranges)[N], int64_t (&out)[N]) {
  if (line.empty()) throw CsvFormatError(lineNo, "die Zeile ist leer");
  size_t count = 0;
  size_t start = 0;
  while (start < line.size()) {
    const size_t semi = line.find(';', start);
    if (semi == std::string_view::npos)
      throw CsvFormatError(lineNo, "der letzte Wert ist nicht mit „;“ abgeschlossen");
    const std::string_view v = line.substr(start, semi - start);
    if (count < N) {
      int64_t x = 0;
      const char* first = v.data();
      const char* last = v.data() + v.size();
      // Decimal digits with at most a leading "-": no "+", no blanks, no decimal point.
      const bool digitsOnly =
          !v.empty() && v != "-" &&
          v.find_first_not_of("0123456789", v[0] == '-' ? 1 : 0) == std::string_view::npos;
      const auto r = digitsOnly ? std::from_chars(first, last, x)
                                : std::from_chars_result{first, std::errc::invalid_argument};
      if (r.ec != std::errc() || r.ptr != last)
        throw CsvFormatError(
            lineNo, Quoted(v) + " ist keine ganze Zahl (Wert " + std::to_string(count + 1) + ")");
      if (x < ranges[count].min || x > ranges[count].max)
        throw CsvFormatError(lineNo, "Wert " + std::to_string(count + 1) + " (" +
                                         std::to_string(x) + ") liegt nicht zwischen " +
                                         std::to_string(ranges[count].min) + " und " +
                                         std::to_string(ranges[count].max));
      out[count] = x;
    }
    ++count;
    start = semi + 1;
  }
  if (count != N)
    throw CsvFormatError(lineNo, std::to_string(count) + (count == 1 ? " Wert" : " Werte") +
                                     " statt " + std::to_string(N));
}

// Walks the text line by line; CR LF or LF ends a line, the last line may lack one.
class Lines {
 public:
  explicit Lines(std::string_view text) : text_(text) {}
  bool Next(std::string_view& line) {
    if (pos_ >= text_.size()) return false;
    size_t end = text_.find('\n', pos_);
    size_t next = end == std::string_view::npos ? text_.size() : end + 1;
    if (end == std::string_view::npos) end = text_.size();
    line = text_.substr(pos_, end - pos_);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    pos_ = next;
    ++number_;
    return true;
  }
  int64_t Number() const { return number_; }
  bool AtEnd() const { return pos_ >= text_.size(); }
  size_t Position() const { return pos_; }

 private:
  std::string_view text_;
  size_t pos_ = 0;
  int64_t number_ = 0;
};

bool OnlyLineEndsFollow(std::string_view text, const Lines& lines) {
  return text.find_first_not_of("\r\n", lines.Position()) == std::string_view::npos;
}

// The minutes of a coordinate value in thousandths: its last five digits.
int64_t MinutesOf(int64_t v) { return (v < 0 ? -v : v) % 100000; }

}  // namespace

Flight ParseFlightCsv(std::string_view text) {
  Flight f;
  f.source = FlightSource::File;
  Lines lines(text);
  std::string_view line;

  if (!lines.Next(line)) throw CsvFormatError(1, "die Datei ist leer");
  int64_t h[8];
  ParseLine(line, 1, kHeaderRanges, h);
  f.recordFlags1 = static_cast<int>(h[0]);
  f.recordFlags2 = static_cast<int>(h[1]);
  f.sampleRateCode = static_cast<int>(h[2]);
  f.downloadCount = h[3];
  f.headerByte6 = static_cast<int>(h[4]);
  f.headerByte7 = static_cast<int>(h[5]);
  f.headerByte8 = static_cast<int>(h[6]);
  f.headerWord9 = h[7];

  if (!lines.Next(line)) throw CsvFormatError(2, "die Zeile fehlt");
  int64_t g[3];
  ParseLine(line, 2, kGpsRanges, g);
  f.latDegrees = g[0];
  f.lonDegrees = g[1];
  f.gpsHeaderValue = g[2];

  // Records: an estimate of the line count spares the columns their regrowth.
  size_t estimate = 0;
  for (char c : text) estimate += c == '\n';
  if (estimate > static_cast<size_t>(kMaxCsvRecords)) estimate = kMaxCsvRecords;
  for (auto& col : f.columns) col.reserve(estimate);
  int64_t values[kColumnCount];
  while (lines.Next(line)) {
    // Nothing but line ends after the last record: the end of the file.
    if (line.empty() && OnlyLineEndsFollow(text, lines)) break;
    if (f.columns[0].size() == static_cast<size_t>(kMaxCsvRecords))
      throw CsvFormatError(lines.Number(),
                           "mehr als " + std::to_string(kMaxCsvRecords) + " Datensätze");
    ParseLine(line, lines.Number(), kRecordRanges, values);
    for (int c : {kLatitude, kLongitude}) {
      if (MinutesOf(values[c]) >= 60000)
        throw CsvFormatError(lines.Number(), "Wert " + std::to_string(c + 1) + " (" +
                                                 std::to_string(values[c]) + ") hat " +
                                                 std::to_string(MinutesOf(values[c]) / 1000) +
                                                 " Minuten, mehr als 59");
    }
    for (int c = 0; c < kColumnCount; ++c) f.columns[c].push_back(values[c]);
  }
  if (f.Empty()) throw CsvFormatError(3, "die Datei enthält keinen Datensatz");
  f.rangeFirst = 0;
  f.rangeLast = f.Count() - 1;
  return f;
}

Flight ReadFlightCsvFile(const std::string& path) {
  // A name that exists but is no plain file is told by what it is; the read itself opens
  // without waiting, so that nothing chosen in a dialog can hold the window.
  std::error_code ec;
  const std::filesystem::file_status st = std::filesystem::status(path, ec);
  if (!ec && std::filesystem::exists(st) && !std::filesystem::is_regular_file(st))
    throw NotAFileError(path, st.type());
  // A file of this format holds at most about 18 MB. Of a larger one only the first
  // 64 MB are read: the first line that does not fit lies within them.
  constexpr size_t kLimit = 64u << 20;
  std::string text = ReadPlainFile(path, kLimit);
  const bool cut = text.size() > kLimit;
  Flight f = ParseFlightCsv(text);
  if (cut) throw CsvFormatError(f.Count() + 3, "die Datei ist zu groß");
  f.fileName = LastPart(path);
  f.filePath = path;
  return f;
}

}  // namespace analysis
