// Saved CSV files read back: the same values as the download itself, refusals that name
// the first line that does not fit.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <string>

#include "formats/flightcsv.h"
#include "formats/csvexport.h"
#include "formats/fileerror.h"
#include "flights.h"

using namespace analysis;

namespace {

void ExpectSameRecords(const Flight& got, const Flight& want, int32_t from) {
  ASSERT_LE(from + got.Count(), want.Count());
  for (int c = 0; c < kColumnCount; ++c)
    for (int32_t i = 0; i < got.Count(); ++i)
      ASSERT_EQ(got.columns[c][i], want.columns[c][from + i]) << "column " << c << " record " << i;
}

void ExpectSameHeader(const Flight& a, const Flight& b) {
  EXPECT_EQ(a.recordFlags1, b.recordFlags1);
  EXPECT_EQ(a.recordFlags2, b.recordFlags2);
  EXPECT_EQ(a.sampleRateCode, b.sampleRateCode);
  EXPECT_EQ(a.downloadCount, b.downloadCount);
  EXPECT_EQ(a.headerByte6, b.headerByte6);
  EXPECT_EQ(a.headerByte7, b.headerByte7);
  EXPECT_EQ(a.headerByte8, b.headerByte8);
  EXPECT_EQ(a.headerWord9, b.headerWord9);
  EXPECT_EQ(a.latDegrees, b.latDegrees);
  EXPECT_EQ(a.lonDegrees, b.lonDegrees);
  EXPECT_EQ(a.gpsHeaderValue, b.gpsHeaderValue);
}

std::string Refusal(const std::string& text, int64_t* line = nullptr) {
  try {
    ParseFlightCsv(text);
  } catch (const CsvFormatError& e) {
    if (line) *line = e.Line();
    return e.what();
  }
  return "accepted";
}

const char* const kHead = "255;119;12;3;1;2;3;4;\r\n47;8;0;\r\n";
const char* const kRecord = "1;2;3;4;5;6;7;8;9;10;11;12;13;4701000;800500;16;\r\n";

}  // namespace

TEST(FlightCsv, SavedDownloadReadsBackAsTheDownloadInEveryHemisphere) {
  for (const auto& [latH, lonH] : {std::pair{'N', 'E'}, {'S', 'W'}, {'s', 'e'}, {'n', 'w'}}) {
    auto fd = testflights::Download(3000, latH, 2, lonH, 1);
    const Flight direct = FlightFromDownload(*fd);
    const Flight read = ParseFlightCsv(CsvText(*fd));
    EXPECT_EQ(read.source, FlightSource::File);
    EXPECT_EQ(direct.source, FlightSource::Download);
    ExpectSameHeader(read, direct);
    ASSERT_EQ(read.Count(), 3000);
    ExpectSameRecords(read, direct, 0);
    EXPECT_EQ(read.rangeFirst, 0);
    EXPECT_EQ(read.rangeLast, 2999);
    // Latitude crosses degrees upwards, longitude downwards (below 0 in the header's
    // hemisphere: the sign flips as the CSV writes it).
    EXPECT_NE(read.columns[kLatitude].front() / 100000, read.columns[kLatitude].back() / 100000);
  }
}

TEST(FlightCsv, NarrowedRangeKeepsTheDownloadCountOfLineOne) {
  auto fd = testflights::Download(500);
  fd->ExportFirstIndex = 120;
  fd->ExportLastIndex = 129;
  const Flight direct = FlightFromDownload(*fd);
  EXPECT_EQ(direct.rangeFirst, 120);
  EXPECT_EQ(direct.rangeLast, 129);
  const Flight read = ParseFlightCsv(CsvText(*fd));
  EXPECT_EQ(read.downloadCount, 500);
  ASSERT_EQ(read.Count(), 10);
  ExpectSameRecords(read, direct, 120);
}

TEST(FlightCsv, ZeroedRecordsWithNegativeDegreesRoundTrip) {
  // After a configuration read zeroed the table, record 0 has degree offsets 0, so the
  // degrees fall below zero: the CSV writes them with the sign they then have.
  auto fd = testflights::Download(3, 'S', 5, 'E', 30);
  fd->SampleTable[0] = SampleRecord{};
  const Flight direct = FlightFromDownload(*fd);
  const Flight read = ParseFlightCsv(CsvText(*fd));
  ExpectSameRecords(read, direct, 0);
  EXPECT_EQ(read.columns[kLatitude][0], 9500000);    // S, -95 degrees: no sign
  EXPECT_EQ(read.columns[kLongitude][0], -7000000);  // E, -70 degrees: "-"
}

TEST(FlightCsv, LineEndsAndTheEndOfTheFile) {
  std::string record = kRecord;
  record.erase(record.size() - 2, 1);  // LF alone
  const std::string lf = "1;0;49;9;0;0;0;0;\n0;0;0;\n" + record;
  const Flight a = ParseFlightCsv(lf);
  EXPECT_EQ(a.Count(), 1);
  EXPECT_EQ(a.columns[kGps3][0], 16);
  // No line end after the last record, or blank line ends after it.
  std::string noEnd = std::string(kHead) + kRecord;
  noEnd.resize(noEnd.size() - 2);
  EXPECT_EQ(ParseFlightCsv(noEnd).Count(), 1);
  EXPECT_EQ(ParseFlightCsv(std::string(kHead) + kRecord + kRecord).Count(), 2);
  // Any number of line ends after the last record end the file.
  for (const char* tail : {"\r\n", "\r\n\r\n", "\n\n\n", "\r\n\r\n\r\n\r\n"})
    EXPECT_EQ(ParseFlightCsv(std::string(kHead) + kRecord + tail).Count(), 1) << tail;
  // Line 1's count is not held against the lines.
  EXPECT_EQ(ParseFlightCsv(std::string(kHead) + kRecord).downloadCount, 3);
}

TEST(FlightCsv, BrokenFilesNameTheFirstLineThatDoesNotFit) {
  const std::string head(kHead), rec(kRecord);
  struct Case {
    std::string text;
    int64_t line;
    const char* says;
  };
  const Case cases[] = {
      {"", 1, "die Datei ist leer"},
      {"255;119;12;3;1;2;3;\r\n", 1, "7 Werte statt 8"},
      {"255;119;12;3;1;2;3;4\r\n", 1, "nicht mit „;“ abgeschlossen"},
      {"256;119;12;3;1;2;3;4;\r\n47;8;0;\r\n" + rec, 1,
       "Wert 1 (256) liegt nicht zwischen 0 und 255"},
      {"255;119;12;65537;1;2;3;4;\r\n47;8;0;\r\n" + rec, 1, "Wert 4"},
      {"255;119;12;3;1;2;3;4;\r\n", 2, "die Zeile fehlt"},
      {"255;119;12;3;1;2;3;4;\r\n47;8;\r\n" + rec, 2, "2 Werte statt 3"},
      {head, 3, "keinen Datensatz"},
      {head + rec + "1;2;3;4;5;6;7;8;9;10;11;12;13;4701000;800500;\r\n", 4, "15 Werte statt 16"},
      {head + rec + rec + "1;2;3;4;5;6;7;8;9;10;11;12;13;4701000;800500;16;17;\r\n", 5,
       "17 Werte statt 16"},
      {head + "1;2;3;4;5;6;7;8;9;10;11;12;13;47,5;800500;16;\r\n", 3,
       "„47,5“ ist keine ganze Zahl (Wert 14)"},
      {head + "1;2;3;1024;5;6;7;8;9;10;11;12;13;4701000;800500;16;\r\n", 3, "Wert 4 (1024)"},
      {head + "1;+2;3;4;5;6;7;8;9;10;11;12;13;4701000;800500;16;\r\n", 3,
       "„+2“ ist keine ganze Zahl"},
      {head + "1; 2;3;4;5;6;7;8;9;10;11;12;13;4701000;800500;16;\r\n", 3, "„ 2“"},
      {head + "1;;3;4;5;6;7;8;9;10;11;12;13;4701000;800500;16;\r\n", 3, "ein leerer Wert"},
      {head + "1;-;3;4;5;6;7;8;9;10;11;12;13;4701000;800500;16;\r\n", 3,
       "„-“ ist keine ganze Zahl"},
      {head + rec + "\r\n" + rec, 4, "die Zeile ist leer"},
      {head + rec + "\r\n\r\n" + rec, 4, "die Zeile ist leer"},
      // Minutes of 60 and more are no coordinate.
      {head + rec + "1;2;3;4;5;6;7;8;9;10;11;12;13;4799999;800500;16;\r\n", 4,
       "Wert 14 (4799999) hat 99 Minuten, mehr als 59"},
      {head + "1;2;3;4;5;6;7;8;9;10;11;12;13;4701000;-860000;16;\r\n", 3,
       "Wert 15 (-860000) hat 60 Minuten"},
      {head + "1;2;3;4;5;6;7;8;9;10;11;12;13;99999999999999999999;800500;16;\r\n", 3, "Wert 14"},
      {head + std::string("1;\xff\xfe;3;\r\n"), 3, "ein Wert ist keine ganze Zahl"},
      {"Zeit;Höhe;\r\n" + head, 1, "„Zeit“ ist keine ganze Zahl (Wert 1)"},
  };
  for (const Case& c : cases) {
    int64_t line = 0;
    const std::string message = Refusal(c.text, &line);
    EXPECT_EQ(line, c.line) << message;
    EXPECT_EQ(message.rfind("Zeile " + std::to_string(c.line) + ": ", 0), 0u) << message;
    EXPECT_NE(message.find(c.says), std::string::npos) << message;
  }
}

TEST(FlightCsv, AtMostAsManyRecordsAsTheTableHolds) {
  std::string text = kHead;
  for (int i = 0; i < kMaxCsvRecords; ++i) text += kRecord;
  EXPECT_EQ(ParseFlightCsv(text).Count(), kMaxCsvRecords);
  int64_t line = 0;
  EXPECT_NE(Refusal(text + kRecord, &line).find("mehr als 65536 Datensätze"), std::string::npos);
  EXPECT_EQ(line, kMaxCsvRecords + 3);
}

TEST(FlightCsv, FilesThatCannotBeReadGiveTheFileErrors) {
  char dir[] = "/tmp/morvala-csvread-XXXXXX";
  ASSERT_NE(::mkdtemp(dir), nullptr);
  const std::string base = dir;
  try {
    ReadFlightCsvFile(base + "/missing.csv");
    ADD_FAILURE() << "a missing file was read";
  } catch (const EInOutError& e) {
    EXPECT_STREQ(e.what(), "Datei nicht gefunden");
  }
  // A folder, a named pipe without a writer and a device: refused at once (nothing
  // waits), with the name and what it is.
  auto refusal = [](const std::string& path) -> std::string {
    try {
      ReadFlightCsvFile(path);
    } catch (const NotAFileError& e) {
      return e.what();
    }
    return "read";
  };
  ::mkdir((base + "/ordner.csv").c_str(), 0700);
  EXPECT_EQ(refusal(base + "/ordner.csv"),
            "„ordner.csv“ ist ein Ordner, keine Datei, die sich öffnen lässt.");
  const std::string fifo = base + "/pipe.csv";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  EXPECT_EQ(refusal(fifo),
            "„pipe.csv“ ist eine benannte Pipe (FIFO), keine Datei, die sich öffnen lässt.");
  ::unlink(fifo.c_str());
  ::rmdir((base + "/ordner.csv").c_str());
  EXPECT_EQ(refusal("/dev/zero"), "„zero“ ist ein Gerät, keine Datei, die sich öffnen lässt.");
  const std::string path = base + "/flug 1.csv";
  std::ofstream(path, std::ios::binary) << kHead << kRecord;
  const Flight f = ReadFlightCsvFile(path);
  EXPECT_EQ(f.fileName, "flug 1.csv");
  EXPECT_EQ(f.Count(), 1);
  if (::geteuid() != 0) {
    ::chmod(path.c_str(), 0);
    try {
      ReadFlightCsvFile(path);
      ADD_FAILURE() << "an unreadable file was read";
    } catch (const EInOutError& e) {
      EXPECT_STREQ(e.what(), "Dateizugriff verweigert");
    }
  }
  ::unlink(path.c_str());
  ::rmdir(dir);
}

TEST(FlightCsv, RecordedLanesFollowTheChannelFlags) {
  Flight f;
  f.recordFlags1 = 0x03;  // 16-bit ADC, ADC 0
  f.recordFlags2 = 0x48;  // "frei" (no column) and GPS
  std::vector<std::string> names;
  for (const LaneInfo& l : f.RecordedLanes()) names.push_back(l.name);
  EXPECT_EQ(names, (std::vector<std::string>{"16-Bit-ADC", "ADC 0", "Breite", "Länge", "GPS 3"}));
  EXPECT_EQ(f.AltitudeColumn(), kAdc16);
  f.recordFlags1 = 0x02;
  f.recordFlags2 = 0x30;
  names.clear();
  for (const LaneInfo& l : f.RecordedLanes()) names.push_back(l.name);
  EXPECT_EQ(names, (std::vector<std::string>{"ADC 0", "Temp. int.", "Temp. ext."}));
  EXPECT_EQ(f.AltitudeColumn(), kAdc0);
  EXPECT_FALSE(f.HasGps());
}
