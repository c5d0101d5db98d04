// The logbook ("Flugbuch"): every kept flight in one SQLite database, with the raw dump
// of each download, so that the decoded flight can always be computed again from the
// bytes the logger sent. The window and the command-line tool both keep and read flights
// through this class; it knows no widgets and no terminals, and every text it gives the
// user (the messages of LogbookError) is German.
//
// The database lives at $XDG_DATA_HOME/morvala/flugbuch.sqlite (~/.local/share/morvala/
// when the variable is unset). It runs in WAL mode with synchronous=FULL: when an
// addition returns, its commit is on the disk. Every change is one transaction; a second
// program on the same file is waited for a few seconds and then reported, never hung on.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "model/flight.h"
#include "model/rawdump.h"

struct LoggerConfig;
struct sqlite3;

namespace logbook {

// Everything that goes wrong with the logbook, with a German text for the user.
class LogbookError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Who recorded a download: the configuration bytes of the read that preceded it.
struct LoggerIdentity {
  int serialNumber = -1;  // bits 0..6 of SerialSensor; -1 when unknown
  std::string sensor;     // "MS5534A" (bit 7 set) or "MPX4100"; empty when unknown
  int flightNumber = -1;  // -1 when unknown
  static LoggerIdentity FromConfig(const LoggerConfig& config);
};

// A local time with its offset from UTC, as a download's time is kept.
struct LocalTime {
  int64_t utcSeconds = 0;
  int32_t offsetSeconds = 0;  // east of UTC
  static LocalTime Now();
  // "2026-12-09T04:30:00+01:00"
  std::string Iso() const;
};

enum class Source { Download, Import };

// What the logbook computes of a flight when it keeps it.
struct FlightSummary {
  int32_t records = 0;
  double durationS = 0;  // from the first to the last record
  int recordFlags1 = 0, recordFlags2 = 0;
  bool hasAltitude = false;                  // the 16-bit ADC, else ADC 0
  int64_t altitudeMin = 0, altitudeMax = 0;  // raw readings
  int32_t gpsFixes = 0;
  double latMin = 0, latMax = 0, lonMin = 0, lonMax = 0;  // decimal degrees, when fixes > 0

  // "16-Bit-ADC, ADC 0, GPS": the recorded channels as the check boxes name them.
  std::string Channels() const;
  // The raw reading of the highest point: the altitude channel measures pressure, which
  // falls as the model climbs, so it is the smallest reading with either sensor (the
  // graph draws it at the top too).
  int64_t HighestRaw() const { return altitudeMin; }
};
FlightSummary Summarize(const analysis::Flight& flight);

// One kept flight without its bytes, as the list shows it.
struct Entry {
  int64_t id = 0;
  Source source = Source::Download;
  std::string downloaded;  // ISO 8601 with offset; for an import the time of the import
  int64_t downloadedUtc = 0;
  int serialNumber = -1;  // -1 for an import
  std::string sensor;
  int flightNumber = -1;
  std::string fileName;  // the imported file's name
  // The download summary: the header values as the CSV's lines 1 and 2 hold them.
  int recordFlags1 = 0, recordFlags2 = 0, sampleRateCode = 0;
  int64_t downloadCount = 0;
  int headerByte6 = 0, headerByte7 = 0, headerByte8 = 0;
  int64_t headerWord9 = 0, latDegrees = 0, lonDegrees = 0, gpsHeaderValue = 0;
  FlightSummary summary;
  std::string model, note;

  // "09.12.2026 04:30", in the local time of the download.
  std::string DateText() const;
  // Whether the search text (ignoring case) occurs in the model, the note, the date as
  // shown or as kept, or the serial number with three digits. An empty text matches.
  bool Matches(const std::string& search) const;
  // What Matches searches, case folded (FoldCase), for a caller that searches often.
  std::string SearchText() const;
};

// Lower case for ASCII and the German capitals with umlauts, as the search compares.
std::string FoldCase(const std::string& text);

enum class SortBy { Downloaded, SerialNumber, FlightNumber, Duration, Records, Model };
struct ListOptions {
  std::string search;
  SortBy sortBy = SortBy::Downloaded;
  bool descending = true;  // newest first
};

struct Total {
  std::string key;  // the model ("" for none) or the year
  int64_t flights = 0;
  double durationS = 0;
};
struct Totals {
  std::vector<Total> perModel;  // by model, without regard to case
  std::vector<Total> perYear;   // newest year first
  int64_t flights = 0;
  double durationS = 0;
};

struct AddResult {
  int64_t id = 0;          // the new flight, or the one kept before for a duplicate
  bool duplicate = false;  // "bereits im Flugbuch"
};

// One file of an import: taken, a duplicate of a kept flight, or refused with the reason.
struct ImportOutcome {
  std::string path;
  bool taken = false;
  bool duplicate = false;
  int64_t id = 0;
  std::string reason;  // why it was refused (the CSV reader's or the file's German text)
};

// A download with fewer records than this ends in "keine Daten empfangen !!!" and is not
// kept.
constexpr int32_t kMinRecordsKept = 6;

class Logbook {
 public:
  struct Options {
    int busyTimeoutMs = 5000;  // how long a locked database is waited for
  };

  // $XDG_DATA_HOME/morvala/flugbuch.sqlite, or ~/.local/share/morvala/flugbuch.sqlite.
  static std::string DefaultPath();

  // Opens the logbook, creating the folder and the database when they are missing. An
  // empty file is an empty logbook. A file that is no SQLite database or fails its check
  // is renamed aside ("flugbuch.sqlite.defekt-DATE") and a new logbook starts; Notice()
  // then tells the user where the old file is. Throws LogbookError when there is no
  // logbook this run (a folder in the file's place, an unwritable folder, a full disk, a
  // database from a newer program).
  static std::unique_ptr<Logbook> Open(const std::string& path, const Options& options);
  static std::unique_ptr<Logbook> Open(const std::string& path) { return Open(path, Options{}); }
  ~Logbook();
  Logbook(const Logbook&) = delete;
  Logbook& operator=(const Logbook&) = delete;

  const std::string& Path() const { return path_; }
  const std::string& Notice() const { return notice_; }
  int SchemaVersion() const;

  // Keeps a download: the dump decodes to the flight the download produced. The same
  // dump kept before is not kept again (duplicate). Throws LogbookError for a dump that
  // is not a download of at least kMinRecordsKept records, or when writing fails (then
  // nothing of it is in the logbook).
  AddResult AddDownload(const RawDump& dump, const LoggerIdentity& logger, const LocalTime& when);
  // Takes a CSV file this program saved, checked with the analysis's CSV reader. A
  // duplicate when its header values and records equal those of a kept flight. Throws
  // LogbookError with the reader's or the file's German text.
  AddResult ImportCsv(const std::string& path, const LocalTime& when = LocalTime::Now());
  // Several files, each in a transaction of its own; a folder stands for the CSV files
  // in it (sorted by name).
  std::vector<ImportOutcome> ImportFiles(const std::vector<std::string>& paths);

  std::vector<Entry> List(const ListOptions& options = {}) const;
  std::optional<Entry> Get(int64_t id) const;
  Totals ComputeTotals() const;

  void SetModel(int64_t id, const std::string& model);
  void SetNote(int64_t id, const std::string& note);
  void Remove(int64_t id);

  // The flight as the analysis takes it (source Download or File, the whole range).
  analysis::Flight LoadFlight(int64_t id) const;
  // A download decoded again into fd, as the download left the table.
  void DecodeInto(int64_t id, FlightData& fd) const;
  // The CSV file as the window's export of the whole download writes it; an imported
  // flight as its file was. GPX and KML of the whole flight's track. Export chooses by
  // the extension (.csv, .gpx, .kml).
  void ExportCsv(int64_t id, const std::string& path) const;
  void ExportGpx(int64_t id, const std::string& path) const;
  void ExportKml(int64_t id, const std::string& path) const;
  void Export(int64_t id, const std::string& path) const;
  // The raw dump of a download; LogbookError for an imported flight.
  RawDump Dump(int64_t id) const;

  // A consistent copy of the whole logbook through SQLite's backup interface, written
  // complete or not at all.
  void Backup(const std::string& path) const;

 private:
  Logbook(std::string path, const Options& options);
  struct Kept;
  Kept LoadKept(int64_t id) const;
  std::optional<int64_t> FindDuplicate(const analysis::Flight& f, uint64_t contentHash,
                                       const RawDump* dump) const;
  AddResult Insert(Source source, const analysis::Flight& f, const RawDump* dump,
                   const std::string& csvText, const LoggerIdentity& logger, const LocalTime& when,
                   const std::string& fileName);
  void SetText(int64_t id, const char* column, const std::string& text);

  std::string path_;
  std::string notice_;
  Options options_;
  sqlite3* db_ = nullptr;
};

}  // namespace logbook
