#include "formats/csvexport.h"

#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "formats/atomicfile.h"
#include "formats/fileerror.h"

namespace {

void AppendInt(std::string& out, int64_t v) {
  char buf[24];
  const auto r = std::to_chars(buf, buf + sizeof buf, v);
  out.append(buf, r.ptr);
}

void Value(std::string& out, int64_t v) {
  AppendInt(out, v);
  out.push_back(';');
}

void EndLine(std::string& out) { out.append("\r\n"); }

bool IsLower(char hemisphere, char letter) {
  return hemisphere == letter || hemisphere == static_cast<char>(letter - 'a' + 'A');
}

}  // namespace

// A degree value below zero (header degrees + offset byte - 100 < 0, after crossing
// degrees downwards from a small header value, or on a zeroed record) is written as one
// integer whose sign is the product of the hemisphere's sign and the degrees' sign:
// negative degrees in the north or east give "-", negative degrees in the south or west
// cancel to no sign. So a column is never "--" nor a sign inside the number.
void AppendCoordinate(std::string& out, bool southOrWest, int64_t degrees, uint32_t minutes) {
  const bool negative = southOrWest != (degrees < 0);
  if (negative) out.push_back('-');
  AppendInt(out, degrees < 0 ? -degrees : degrees);
  for (uint32_t threshold : {10000u, 1000u, 100u, 10u})
    if (minutes < threshold) out.push_back('0');
  AppendInt(out, minutes);
}

void AppendCsvHeader(std::string& out, const FlightData& fd) {
  Value(out, fd.RecordFlags1);
  Value(out, fd.RecordFlags2);
  Value(out, fd.SampleRateCode);
  Value(out, static_cast<int64_t>(fd.LastSampleIndex) + 1);
  Value(out, fd.HeaderByte6);
  Value(out, fd.HeaderByte7);
  Value(out, fd.HeaderByte8);
  Value(out, fd.HeaderWord9);
  EndLine(out);
  if (IsLower(fd.LatHemisphere, 's')) out.push_back('-');
  Value(out, fd.LatDegrees);
  if (IsLower(fd.LonHemisphere, 'w')) out.push_back('-');
  Value(out, fd.LonDegrees);
  Value(out, fd.GpsHeaderValue);
  EndLine(out);
}

void AppendCsvRecord(std::string& out, const FlightData& fd, int32_t i) {
  const uint8_t* b = fd.SampleTable[i].b;
  Value(out, b[0] * 256 + b[1]);
  Value(out, (b[2] & 3) * 256 + b[3]);
  Value(out, ((b[2] >> 2) & 3) * 256 + b[4]);
  Value(out, ((b[2] >> 4) & 3) * 256 + b[5]);
  Value(out, ((b[2] >> 6) & 3) * 256 + b[6]);
  Value(out, b[7]);
  Value(out, b[8] * 256 + b[9]);
  Value(out, b[10] * 256 + b[11]);
  Value(out, b[12]);
  Value(out, b[13]);
  Value(out, b[14]);
  Value(out, b[15]);
  Value(out, b[16]);
  AppendCoordinate(out, IsLower(fd.LatHemisphere, 's'),
                   static_cast<int64_t>(fd.LatDegrees) + b[23] - 100, b[17] * 256u + b[18]);
  out.push_back(';');
  AppendCoordinate(out, IsLower(fd.LonHemisphere, 'w'),
                   static_cast<int64_t>(fd.LonDegrees) + b[24] - 100, b[19] * 256u + b[20]);
  out.push_back(';');
  Value(out, b[21] * 256 + b[22]);
  EndLine(out);
}

namespace {

int32_t ClampIndex(int32_t i) {
  if (i < 0) return 0;
  return i < kSampleTableSize ? i : kSampleTableSize - 1;
}

// Calls f for every record of the export range (both ends inclusive, within the table).
template <typename F>
void ForEachExported(const FlightData& fd, F&& f) {
  if (fd.ExportLastIndex < fd.ExportFirstIndex) return;
  const int32_t first = ClampIndex(fd.ExportFirstIndex);
  const int32_t last = ClampIndex(fd.ExportLastIndex);
  for (int32_t i = first; i <= last; ++i) f(i);
}

}  // namespace

std::string CsvText(const FlightData& fd) {
  std::string out;
  AppendCsvHeader(out, fd);
  ForEachExported(fd, [&](int32_t i) { AppendCsvRecord(out, fd, i); });
  return out;
}

void WriteCsvFile(const std::string& path, const FlightData& fd) {
  AtomicFile file(path);
  std::string chunk;
  chunk.reserve(70000);
  AppendCsvHeader(chunk, fd);
  ForEachExported(fd, [&](int32_t i) {
    AppendCsvRecord(chunk, fd, i);
    if (chunk.size() >= 65536) {
      file.Write(chunk);
      chunk.clear();
    }
  });
  file.Write(chunk);
  file.Commit();
}
