// The logbook on real database files: a kept download against the download itself, the
// duplicates, the import with the CSV reader's verdicts, finding, totals, edits and the
// ways out (CSV, dump, backup).
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <thread>

#include "formats/csvexport.h"
#include "formats/rawdumpfile.h"
#include "logbook/logbook.h"
#include "protocol/download.h"
#include "serial/scriptedline.h"
#include "tests/logbook/logbook_support.h"
#include "tests/support/flight_support.h"

using namespace logbook;
using namespace logbooktest;

namespace {

class LogbookTest : public ::testing::Test {
 protected:
  std::unique_ptr<Logbook> Open() { return Logbook::Open(Logbook::DefaultPath()); }

  TempDir dir;
  ScopedEnv data{"XDG_DATA_HOME", dir.Path().c_str()};
};

// The download as the window runs it, over a line that carries exactly these bytes; the
// dump it hands back for keeping.
std::unique_ptr<FlightData> Download(const std::vector<uint8_t>& answer, int eepromKByte,
                                     RawDump& dump) {
  ScriptedLine line;
  line.onWrite = [&](const std::vector<uint8_t>& w) {
    if (w == std::vector<uint8_t>{0x53}) line.Send(answer);
  };
  DownloadObserver quiet;
  auto fd = NewFlight();
  dump = Datenlesen(line, quiet, *fd, eepromKByte).dump;
  return fd;
}

TEST_F(LogbookTest, KeptDumpDecodesToTheDownloadsTableAndSummaryAcrossARestart) {
  const loggersim::SimFlight flight = Flight(2500);
  std::vector<uint8_t> answer(5, 0x55);
  const RawDump expected = DumpOf(flight);
  answer.insert(answer.end(), expected.bytes.begin(), expected.bytes.end());
  RawDump dump;
  const auto downloaded = Download(answer, expected.eepromKByte, dump);
  ASSERT_EQ(downloaded->LastSampleIndex, 2499);
  EXPECT_TRUE(dump == expected) << "the download's dump is not the bytes it consumed";

  int64_t id;
  {
    auto lb = Open();
    EXPECT_EQ(lb->Path(), dir.Path() + "/morvala/flugbuch.sqlite");
    const AddResult r = lb->AddDownload(dump, Logger(12, 345), At());
    EXPECT_FALSE(r.duplicate);
    id = r.id;
  }
  EXPECT_EQ(SqlValue(dir / "morvala/flugbuch.sqlite", "PRAGMA journal_mode"), "wal");

  auto lb = Open();  // as after a restart
  auto kept = NewFlight();
  lb->DecodeInto(id, *kept);
  ASSERT_EQ(kept->LastSampleIndex, downloaded->LastSampleIndex);
  int differing = 0;
  for (int32_t i = 0; i <= kept->LastSampleIndex; ++i)
    if (!std::equal(kept->SampleTable[i].b, kept->SampleTable[i].b + 25,
                    downloaded->SampleTable[i].b) &&
        ++differing <= 3)
      ADD_FAILURE() << "record " << i << " differs from the download";
  EXPECT_EQ(differing, 0);
  // The degree bytes moved: the comparison covered real wraps.
  EXPECT_NE(kept->SampleTable[2499].b[kLatDegreeOffset], 100);
  EXPECT_NE(kept->SampleTable[2499].b[kLonDegreeOffset], 100);
  EXPECT_EQ(kept->ExportFirstIndex, 0);
  EXPECT_EQ(kept->ExportLastIndex, 2499);
  for (auto field : {&FlightData::RecordFlags1, &FlightData::RecordFlags2,
                     &FlightData::SampleRateCode, &FlightData::HeaderByte6})
    EXPECT_EQ(kept.get()->*field, downloaded.get()->*field);
  EXPECT_EQ(kept->LatHemisphere, downloaded->LatHemisphere);
  EXPECT_EQ(kept->LonDegrees, downloaded->LonDegrees);
  EXPECT_EQ(kept->GpsHeaderValue, downloaded->GpsHeaderValue);
  EXPECT_EQ(lb->Dump(id), dump);

  // The entry: who, when, and the summary computed from the download.
  const Entry e = *lb->Get(id);
  EXPECT_EQ(e.source, Source::Download);
  EXPECT_EQ(e.downloaded, "2026-12-09T04:30:00+01:00");
  EXPECT_EQ(e.DateText(), "09.12.2026 04:30");
  EXPECT_EQ(e.serialNumber, 12);
  EXPECT_EQ(e.sensor, "MS5534A");
  EXPECT_EQ(e.flightNumber, 345);
  EXPECT_EQ(e.downloadCount, 2500);
  EXPECT_EQ(e.lonDegrees, -8);
  const FlightSummary want = Summarize(analysis::FlightFromDownload(*downloaded));
  EXPECT_EQ(e.summary.records, 2500);
  EXPECT_DOUBLE_EQ(e.summary.durationS, 2499 * 1.0);
  EXPECT_EQ(e.summary.altitudeMin, want.altitudeMin);
  EXPECT_EQ(e.summary.altitudeMax, want.altitudeMax);
  EXPECT_EQ(e.summary.HighestRaw(), want.altitudeMin);
  EXPECT_EQ(e.summary.gpsFixes, 2500);
  EXPECT_DOUBLE_EQ(e.summary.latMin, want.latMin);
  EXPECT_DOUBLE_EQ(e.summary.lonMax, want.lonMax);
  EXPECT_LT(e.summary.lonMin, -8.0);  // west, across whole degrees
  EXPECT_EQ(e.summary.Channels(),
            "16-Bit-ADC, ADC 0, ADC 1, ADC 2, ADC 3, ADC4, Frequenz, Drehzahl, RC 1, RC 2, RC 3, "
            "Temp. int., Temp. ext., GPS");

  // The CSV byte for byte as the window's export of the whole download.
  lb->ExportCsv(id, dir / "flug.csv");
  EXPECT_TRUE(ReadFile(dir / "flug.csv") == CsvText(*downloaded));

  // The same download once more is kept once.
  const AddResult again = lb->AddDownload(dump, Logger(12, 345), At(5));
  EXPECT_TRUE(again.duplicate);
  EXPECT_EQ(again.id, id);
  EXPECT_EQ(lb->List().size(), 1u);
}

TEST_F(LogbookTest, DownloadsWithoutDataAreNotKept) {
  auto lb = Open();
  RawDump shortDump = DumpOf(Flight(5));
  EXPECT_THROW(lb->AddDownload(shortDump, Logger(), At()), LogbookError);
  RawDump noHeader;
  noHeader.bytes = {0x01, 0x00, 0xFF};
  EXPECT_THROW(lb->AddDownload(noHeader, Logger(), At()), LogbookError);
  EXPECT_TRUE(lb->List().empty());
  EXPECT_FALSE(lb->AddDownload(DumpOf(Flight(6)), Logger(), At()).duplicate);
}

TEST_F(LogbookTest, ImportTakesSavedFilesRecognisesDuplicatesAndRefusesWithTheReadersText) {
  auto lb = Open();
  const int64_t kept = lb->AddDownload(DumpOf(Flight(300, 1)), Logger(), At()).id;
  lb->ExportCsv(kept, dir / "a-gesichert.csv");
  // A file from another download, with LF line ends: taken as it is.
  auto other = NewFlight();
  ASSERT_TRUE(DecodeRawDump(DumpOf(Flight(200, 2)), *other));
  std::string lf = CsvText(*other);
  lf.erase(std::remove(lf.begin(), lf.end(), '\r'), lf.end());
  WriteFile(dir / "b-anders.csv", lf);
  std::string bad = CsvText(*other);
  bad.insert(bad.find("\r\n", bad.find("\r\n", bad.find("\r\n") + 2) + 2) + 2, "x");
  WriteFile(dir / "c-kaputt.csv", bad);
  ASSERT_EQ(::mkfifo((dir / "d-fifo.csv").c_str(), 0600), 0);
  {
    // 200 MB: a valid beginning, then more than the reader takes.
    const std::string big = dir / "e-riesig.csv";
    WriteFile(big, CsvText(*other));
    ASSERT_EQ(::truncate(big.c_str(), 200LL << 20), 0);
  }
  WriteFile(dir / "notiz.txt", "kein CSV");

  const std::vector<ImportOutcome> r = lb->ImportFiles({dir.Path()});
  ASSERT_EQ(r.size(), 5u);  // the folder's CSV files, by name
  EXPECT_TRUE(r[0].duplicate);
  EXPECT_EQ(r[0].id, kept);
  EXPECT_TRUE(r[1].taken) << r[1].reason;
  EXPECT_FALSE(r[2].taken || r[2].duplicate);
  EXPECT_NE(r[2].reason.find("„c-kaputt.csv“ ist keine CSV-Datei dieses Programms: Zeile 4: „x"),
            std::string::npos)
      << r[2].reason;
  EXPECT_NE(r[3].reason.find("„d-fifo.csv“ ist eine benannte Pipe (FIFO)"), std::string::npos)
      << r[3].reason;
  EXPECT_NE(r[4].reason.find("„e-riesig.csv“ ist keine CSV-Datei dieses Programms: Zeile 203: "),
            std::string::npos)
      << r[4].reason;

  ASSERT_EQ(lb->List().size(), 2u);
  const Entry imported = *lb->Get(r[1].id);
  EXPECT_EQ(imported.source, Source::Import);
  EXPECT_EQ(imported.fileName, "b-anders.csv");
  EXPECT_EQ(imported.serialNumber, -1);
  EXPECT_EQ(imported.summary.records, 200);
  EXPECT_EQ(lb->LoadFlight(r[1].id).columns, analysis::FlightFromDownload(*other).columns);
  lb->ExportCsv(r[1].id, dir / "zurueck.txt");
  EXPECT_TRUE(ReadFile(dir / "zurueck.txt") == lf);
  EXPECT_THROW(lb->Dump(r[1].id), LogbookError);
  // The same file again, and the kept download's CSV under any name: duplicates.
  EXPECT_TRUE(lb->ImportCsv(dir / "b-anders.csv").duplicate);
  WriteFile(dir / "umbenannt.txt", ReadFile(dir / "a-gesichert.csv"));
  EXPECT_EQ(lb->ImportCsv(dir / "umbenannt.txt").id, kept);
}

TEST_F(LogbookTest, ListSearchSortTotalsEditAndRemove) {
  {
    auto lb = Open();
    // Three flights of 2026 and one of 2025, two loggers.
    const int64_t a = lb->AddDownload(DumpOf(Flight(601, 1)), Logger(12, 1), At(0)).id;
    const int64_t b = lb->AddDownload(DumpOf(Flight(61, 2)), Logger(12, 2), At(60)).id;
    const int64_t c = lb->AddDownload(DumpOf(Flight(121, 3)), Logger(5, 3), At(-20)).id;
    const int64_t d =
        lb->AddDownload(DumpOf(Flight(31, 4)), Logger(5, 4), {1765000000, 3600}).id;  // 2025
    lb->SetModel(a, "Segler „Ka 8“");
    lb->SetModel(b, "segler „ka 8“");
    lb->SetModel(c, "Äskulap");
    lb->SetNote(c, "Thermik über dem Hang");
    lb->SetNote(d, "erster Flug");
    const std::vector<Entry> all = lb->List();
    ASSERT_EQ(all.size(), 4u);
    EXPECT_EQ(all[0].id, b);  // newest first
    EXPECT_EQ(all[1].id, a);
    EXPECT_EQ(all[2].id, c);
    EXPECT_EQ(all[3].id, d);
    lb->Remove(d);
    EXPECT_THROW(lb->SetNote(d, "x"), LogbookError);
  }
  auto lb = Open();  // the edits were saved at once
  auto ids = [&](const ListOptions& o) {
    std::vector<int64_t> out;
    for (const Entry& e : lb->List(o)) out.push_back(e.id);
    return out;
  };
  EXPECT_EQ(ids({"SEGLER", SortBy::Downloaded, false}), (std::vector<int64_t>{1, 2}));
  EXPECT_EQ(ids({"äskulap"}), (std::vector<int64_t>{3}));
  EXPECT_EQ(ids({"thermik"}), (std::vector<int64_t>{3}));
  EXPECT_EQ(ids({"005"}), (std::vector<int64_t>{3}));
  EXPECT_EQ(ids({"09.12.2026 05"}), (std::vector<int64_t>{2}));
  EXPECT_EQ(ids({"2026-12-09T04"}), (std::vector<int64_t>{1, 3}));
  EXPECT_TRUE(ids({"erster"}).empty());  // removed
  EXPECT_EQ(ids({"", SortBy::Duration, true}), (std::vector<int64_t>{1, 3, 2}));
  EXPECT_EQ(ids({"", SortBy::SerialNumber, false}).front(), 3);

  const Totals t = lb->ComputeTotals();
  EXPECT_EQ(t.flights, 3);
  EXPECT_DOUBLE_EQ(t.durationS, 600 + 60 + 120);
  ASSERT_EQ(t.perModel.size(), 2u);  // "Segler …" in either case is one model
  EXPECT_EQ(t.perModel[0].key, "Segler „Ka 8“");
  EXPECT_EQ(t.perModel[0].flights, 2);
  EXPECT_DOUBLE_EQ(t.perModel[0].durationS, 660);
  EXPECT_EQ(t.perModel[1].key, "Äskulap");
  ASSERT_EQ(t.perYear.size(), 1u);
  EXPECT_EQ(t.perYear[0].key, "2026");
  EXPECT_EQ(t.perYear[0].flights, 3);
}

TEST_F(LogbookTest, BackupIsAConsistentLogbookOfItsOwn) {
  auto lb = Open();
  const RawDump dump = DumpOf(Flight(500));
  const int64_t id = lb->AddDownload(dump, Logger(), At()).id;
  lb->SetNote(id, "gesichert");
  WriteFile(dir / "sicherung.sqlite", "alt");
  lb->Backup(dir / "sicherung.sqlite");
  EXPECT_EQ(SqlValue(dir / "sicherung.sqlite", "PRAGMA integrity_check"), "ok");
  auto copy = Logbook::Open(dir / "sicherung.sqlite");
  EXPECT_TRUE(copy->Notice().empty());
  ASSERT_EQ(copy->List().size(), 1u);
  EXPECT_EQ(copy->List()[0].note, "gesichert");
  EXPECT_EQ(copy->Dump(id), dump);
  EXPECT_THROW(lb->Backup(dir / "fehlt/sicherung.sqlite"), LogbookError);
}

TEST_F(LogbookTest, DumpFileAndTrackFilesByTheirExtension) {
  auto lb = Open();
  const RawDump dump = DumpOf(Flight(50), 256);
  const int64_t id = lb->AddDownload(dump, Logger(), At()).id;
  WriteRawDumpFile(dir / "flug.dump", lb->Dump(id));
  EXPECT_EQ(ReadRawDumpFile(dir / "flug.dump"), dump);

  // The whole flight's track, one point per record with a fix.
  lb->Export(id, dir / "flug.GPX");
  lb->Export(id, dir / "flug.kml");
  const std::string gpx = ReadFile(dir / "flug.GPX");
  size_t points = 0;
  for (size_t at = gpx.find("<trkpt"); at != std::string::npos; at = gpx.find("<trkpt", at + 1))
    ++points;
  EXPECT_EQ(points, 50u);
  EXPECT_NE(ReadFile(dir / "flug.kml").find("<LineString>"), std::string::npos);
  EXPECT_THROW(lb->Export(id, dir / "flug.txt"), LogbookError);
  EXPECT_THROW(lb->Export(id + 1, dir / "fehlt.csv"), LogbookError);
}

}  // namespace
