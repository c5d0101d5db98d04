#include "logbook/logbook.h"

#include <sqlite3.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <map>
#include <system_error>
#include <thread>

#include "formats/atomicfile.h"
#include "formats/csvexport.h"
#include "formats/fileerror.h"
#include "formats/flightcsv.h"
#include "formats/settingsfile_io.h"
#include "formats/settingspath.h"
#include "formats/trackfiles.h"
#include "logbook/logbook_system.h"
#include "model/coords.h"
#include "model/loggerconfig.h"
#include "model/sampletable.h"

namespace logbook {

namespace fs = std::filesystem;

namespace {

// ---- texts -------------------------------------------------------------------------

std::string Quote(const std::string& s) { return "„" + s + "“"; }

std::string BaseName(const std::string& path) {
  const auto slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string FolderOf(const std::string& path) {
  const auto slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

// "5 Sekunden", "0,3 Sekunden", "1 Sekunde"
std::string Seconds(int ms) {
  std::string s = std::to_string(ms / 1000);
  if (ms % 1000) {
    char frac[8];
    std::snprintf(frac, sizeof frac, "%03d", ms % 1000);
    std::string f = frac;
    while (f.back() == '0') f.pop_back();
    s += "," + f;
  }
  return s + (ms == 1000 ? " Sekunde" : " Sekunden");
}

// What went wrong in SQLite, as the user reads it.
std::string SqliteText(sqlite3* db, int rc, int busyTimeoutMs) {
  const int primary = rc & 0xFF;
  const int err = db ? sqlite3_system_errno(db) : 0;
  switch (primary) {
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
      return "das Flugbuch wird von einem anderen Morvala benutzt (nach " + Seconds(busyTimeoutMs) +
             " Warten aufgegeben)";
    case SQLITE_FULL: return IoErrorText(platform::NoSpaceError());
    case SQLITE_READONLY:
    case SQLITE_PERM: return IoErrorText(platform::AccessDeniedError());
    case SQLITE_CANTOPEN: return err ? IoErrorText(err) : "die Datei lässt sich nicht öffnen";
    case SQLITE_NOTADB:
    case SQLITE_CORRUPT: return "die Datei ist keine intakte Flugbuch-Datenbank";
    case SQLITE_IOERR:
      // SQLite reads errno only after the fact; a write that failed without a known
      // cause ran out of room (a full disk, a file-size limit).
      if (platform::IsOutOfRoom(err)) return IoErrorText(platform::NoSpaceError());
      if (err == 0 && (rc == SQLITE_IOERR_WRITE || rc == SQLITE_IOERR_TRUNCATE))
        return IoErrorText(platform::NoSpaceError());
      return err ? IoErrorText(err) : "E/A-Fehler";
    default: return std::string("Datenbankfehler: ") + sqlite3_errstr(rc);
  }
}

// ---- statements --------------------------------------------------------------------

class Stmt {
 public:
  Stmt(sqlite3* db, const char* sql, int busyMs) : db_(db), busyMs_(busyMs) {
    const int rc = sqlite3_prepare_v2(db, sql, -1, &s_, nullptr);
    if (rc != SQLITE_OK) throw LogbookError(SqliteText(db, rc, busyMs));
  }
  ~Stmt() { sqlite3_finalize(s_); }
  Stmt(const Stmt&) = delete;
  Stmt& operator=(const Stmt&) = delete;

  Stmt& Bind(int i, int64_t v) {
    sqlite3_bind_int64(s_, i, v);
    return *this;
  }
  Stmt& Bind(int i, double v) {
    sqlite3_bind_double(s_, i, v);
    return *this;
  }
  Stmt& Bind(int i, const std::string& v) {
    sqlite3_bind_text(s_, i, v.data(), static_cast<int>(v.size()), SQLITE_TRANSIENT);
    return *this;
  }
  Stmt& BindBlob(int i, const void* data, size_t n) {
    sqlite3_bind_blob64(s_, i, n ? data : "", n, SQLITE_STATIC);
    return *this;
  }
  Stmt& BindNull(int i) {
    sqlite3_bind_null(s_, i);
    return *this;
  }
  // True while there is a row.
  bool Step() {
    const int rc = sqlite3_step(s_);
    if (rc == SQLITE_ROW) return true;
    if (rc == SQLITE_DONE) return false;
    throw LogbookError(SqliteText(db_, rc, busyMs_));
  }
  int64_t Int(int c) const { return sqlite3_column_int64(s_, c); }
  double Real(int c) const { return sqlite3_column_double(s_, c); }
  bool Null(int c) const { return sqlite3_column_type(s_, c) == SQLITE_NULL; }
  std::string Text(int c) const {
    const auto* p = reinterpret_cast<const char*>(sqlite3_column_text(s_, c));
    return p ? std::string(p, static_cast<size_t>(sqlite3_column_bytes(s_, c))) : std::string();
  }
  std::vector<uint8_t> Blob(int c) const {
    const auto* p = static_cast<const uint8_t*>(sqlite3_column_blob(s_, c));
    const int n = sqlite3_column_bytes(s_, c);
    return p ? std::vector<uint8_t>(p, p + n) : std::vector<uint8_t>();
  }

 private:
  sqlite3* db_;
  int busyMs_;
  sqlite3_stmt* s_ = nullptr;
};

// A statement that another Morvala's connection holds up. SQLite waits through its busy
// handler where it can; where it cannot (the switch to WAL, or a recovery of the journal
// while a second program creates the same new logbook) it answers busy at once, and the
// statement is tried again until the same bound has passed.
void Exec(sqlite3* db, const char* sql, int busyMs) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(busyMs);
  for (;;) {
    const int rc = sqlite3_exec(db, sql, nullptr, nullptr, nullptr);
    if (rc == SQLITE_OK) return;
    const bool busy = (rc & 0xFF) == SQLITE_BUSY || (rc & 0xFF) == SQLITE_LOCKED;
    if (!busy || std::chrono::steady_clock::now() >= end)
      throw LogbookError(SqliteText(db, rc, busyMs));
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
}

// One write transaction, taken at once (BEGIN IMMEDIATE), so that a second writer waits
// at the start rather than failing at the commit. Rolled back unless committed.
class Transaction {
 public:
  Transaction(sqlite3* db, int busyMs) : db_(db), busyMs_(busyMs) {
    Exec(db, "BEGIN IMMEDIATE", busyMs);
  }
  ~Transaction() {
    if (!done_) sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
  }
  void Commit() {
    Exec(db_, "COMMIT", busyMs_);
    done_ = true;
  }

 private:
  sqlite3* db_;
  int busyMs_;
  bool done_ = false;
};

// ---- schema ------------------------------------------------------------------------

// Each step brings the schema from version i to i + 1; the database's user_version is
// the number of steps taken. Steps are only ever appended.
const char* const kMigrations[] = {
    // 0 -> 1: the first logbook.
    "CREATE TABLE flights ("
    " id INTEGER PRIMARY KEY,"
    " source TEXT NOT NULL CHECK (source IN ('download', 'import')),"
    " downloaded TEXT NOT NULL,"
    " downloaded_utc INTEGER NOT NULL,"
    " serial_number INTEGER, sensor TEXT, flight_number INTEGER, file_name TEXT,"
    " record_flags1 INTEGER NOT NULL, record_flags2 INTEGER NOT NULL,"
    " sample_rate_code INTEGER NOT NULL, download_count INTEGER NOT NULL,"
    " header_byte6 INTEGER NOT NULL, header_byte7 INTEGER NOT NULL,"
    " header_byte8 INTEGER NOT NULL, header_word9 INTEGER NOT NULL,"
    " lat_degrees INTEGER NOT NULL, lon_degrees INTEGER NOT NULL,"
    " gps_header_value INTEGER NOT NULL,"
    " records INTEGER NOT NULL, duration_s REAL NOT NULL,"
    " altitude_min INTEGER, altitude_max INTEGER,"
    " gps_fixes INTEGER NOT NULL, lat_min REAL, lat_max REAL, lon_min REAL, lon_max REAL,"
    " model TEXT NOT NULL DEFAULT '', note TEXT NOT NULL DEFAULT '',"
    " dump_hash INTEGER, content_hash INTEGER NOT NULL);"
    "CREATE INDEX flights_dump_hash ON flights (dump_hash);"
    "CREATE INDEX flights_content_hash ON flights (content_hash);"
    // The bytes of a flight: the raw dump of a download, or the imported CSV file.
    "CREATE TABLE flight_bytes ("
    " flight_id INTEGER PRIMARY KEY REFERENCES flights (id),"
    " eeprom_kbyte INTEGER,"
    " bytes BLOB NOT NULL);",
};
constexpr int kSchemaVersion = sizeof(kMigrations) / sizeof(kMigrations[0]);

int UserVersion(sqlite3* db, int busyMs) {
  Stmt s(db, "PRAGMA user_version", busyMs);
  return s.Step() ? static_cast<int>(s.Int(0)) : 0;
}

// ---- hashes ------------------------------------------------------------------------

// FNV-1a over bytes; a candidate for a duplicate is always compared in full.
class Hash {
 public:
  void Add(const void* data, size_t n) {
    const auto* p = static_cast<const uint8_t*>(data);
    for (size_t i = 0; i < n; ++i) {
      h_ ^= p[i];
      h_ *= 1099511628211ull;
    }
  }
  void Add(int64_t v) { Add(&v, sizeof v); }
  uint64_t Value() const { return h_; }

 private:
  uint64_t h_ = 14695981039346656037ull;
};

uint64_t DumpHash(const RawDump& d) {
  Hash h;
  h.Add(static_cast<int64_t>(d.eepromKByte));
  h.Add(d.bytes.data(), d.bytes.size());
  return h.Value();
}

// The values a CSV of the flight holds: the header values and every record.
uint64_t ContentHash(const analysis::Flight& f) {
  Hash h;
  for (int64_t v :
       {int64_t(f.recordFlags1), int64_t(f.recordFlags2), int64_t(f.sampleRateCode),
        f.downloadCount, int64_t(f.headerByte6), int64_t(f.headerByte7), int64_t(f.headerByte8),
        f.headerWord9, f.latDegrees, f.lonDegrees, f.gpsHeaderValue, int64_t(f.Count())})
    h.Add(v);
  for (const auto& col : f.columns) h.Add(col.data(), col.size() * sizeof(int64_t));
  return h.Value();
}

bool SameContent(const analysis::Flight& a, const analysis::Flight& b) {
  return a.recordFlags1 == b.recordFlags1 && a.recordFlags2 == b.recordFlags2 &&
         a.sampleRateCode == b.sampleRateCode && a.downloadCount == b.downloadCount &&
         a.headerByte6 == b.headerByte6 && a.headerByte7 == b.headerByte7 &&
         a.headerByte8 == b.headerByte8 && a.headerWord9 == b.headerWord9 &&
         a.latDegrees == b.latDegrees && a.lonDegrees == b.lonDegrees &&
         a.gpsHeaderValue == b.gpsHeaderValue && a.columns == b.columns;
}

// ---- files -------------------------------------------------------------------------

// A UTF-8 name as std::filesystem takes it.
fs::path FsPath(const std::string& s) { return fs::path(std::u8string(s.begin(), s.end())); }

std::string Utf8(const fs::path& p) {
  const std::u8string u = p.u8string();
  return std::string(u.begin(), u.end());
}

// Creates the folder and its parents; the system's error code on failure.
int MakeFolders(const std::string& folder) {
  if (folder.empty() || folder == "/" || folder == ".") return 0;
  std::error_code ec;
  const fs::file_status st = fs::status(FsPath(folder), ec);
  if (fs::exists(st)) return fs::is_directory(st) ? 0 : platform::NotAFolderError();
  if (MakeSettingsFolders(folder)) return 0;
  const int err = platform::LastError();
  return err ? err : platform::NotAFolderError();
}

std::string ReadWhole(const std::string& path) {
  // As much as the flight CSV reader takes; a file that grew beyond it since is refused.
  constexpr size_t kLimit = 64u << 20;
  std::string text = ReadPlainFile(path, kLimit);
  if (text.size() > kLimit) throw analysis::CsvFormatError(0, "die Datei ist zu groß");
  return text;
}

// A time of day and its date by the proleptic Gregorian calendar.
struct Civil {
  int year;
  unsigned month, day;
  int hour, minute, second;
};

Civil CivilOf(int64_t seconds) {
  const auto days = std::chrono::floor<std::chrono::days>(
      std::chrono::sys_seconds{std::chrono::seconds{seconds}});
  const std::chrono::year_month_day date{days};
  const int64_t inDay = seconds - std::chrono::sys_seconds{days}.time_since_epoch().count();
  return {int(date.year()),  unsigned(date.month()), unsigned(date.day()),
          int(inDay / 3600), int(inDay / 60 % 60),   int(inDay % 60)};
}

std::string DamagedSuffix() {
  const LocalTime now = LocalTime::Now();
  const Civil c = CivilOf(now.utcSeconds + now.offsetSeconds);
  char buf[64];
  std::snprintf(buf, sizeof buf, ".defekt-%04d-%02u-%02u-%02d%02d%02d", c.year, c.month, c.day,
                c.hour, c.minute, c.second);
  return buf;
}

// Whether the open database is sound: SQLite's quick check says "ok". Throws for a
// locked database (that is no damage).
bool PassesCheck(sqlite3* db, int busyMs) {
  sqlite3_stmt* s = nullptr;
  int rc = sqlite3_prepare_v2(db, "PRAGMA quick_check", -1, &s, nullptr);
  bool ok = false;
  if (rc == SQLITE_OK) {
    rc = sqlite3_step(s);
    if (rc == SQLITE_ROW) {
      const auto* t = reinterpret_cast<const char*>(sqlite3_column_text(s, 0));
      ok = t && std::string(t) == "ok";
      rc = SQLITE_OK;
    }
  }
  sqlite3_finalize(s);
  const int primary = rc & 0xFF;
  if (primary == SQLITE_BUSY || primary == SQLITE_LOCKED || primary == SQLITE_IOERR ||
      primary == SQLITE_CANTOPEN || primary == SQLITE_NOMEM)
    throw LogbookError(SqliteText(db, rc, busyMs));
  return ok;
}

analysis::Flight FlightOf(const FlightData& fd) { return analysis::FlightFromDownload(fd); }

}  // namespace

// ---- plain values ------------------------------------------------------------------

LoggerIdentity LoggerIdentity::FromConfig(const LoggerConfig& c) {
  LoggerIdentity who;
  who.serialNumber = c.SerialSensor & 0x7F;
  who.sensor = (c.SerialSensor & 0x80) ? "MS5534A" : "MPX4100";
  who.flightNumber = c.FlightNumber();
  return who;
}

// LocalTime::Now() is in the system's file (posix_logbook_system.cpp).

std::string LocalTime::Iso() const {
  const Civil c = CivilOf(utcSeconds + offsetSeconds);
  char buf[64];
  std::snprintf(buf, sizeof buf, "%04d-%02u-%02uT%02d:%02d:%02d", c.year, c.month, c.day, c.hour,
                c.minute, c.second);
  const int off = offsetSeconds < 0 ? -offsetSeconds : offsetSeconds;
  char zone[16];
  std::snprintf(zone, sizeof zone, "%c%02d:%02d", offsetSeconds < 0 ? '-' : '+', off / 3600,
                off / 60 % 60);
  return std::string(buf) + zone;
}

std::string FlightSummary::Channels() const {
  analysis::Flight f;
  f.recordFlags1 = recordFlags1;
  f.recordFlags2 = recordFlags2;
  std::string out;
  for (const analysis::LaneInfo& l : f.RecordedLanes()) {
    if (l.column == analysis::kLongitude || l.column == analysis::kGps3) continue;
    const std::string name = l.column == analysis::kLatitude ? "GPS" : l.name;
    out += (out.empty() ? "" : ", ") + name;
  }
  return out.empty() ? "keine" : out;
}

FlightSummary Summarize(const analysis::Flight& f) {
  FlightSummary s;
  s.records = f.Count();
  s.durationS = f.Count() > 0 ? (f.Count() - 1) * f.SampleInterval() : 0;
  s.recordFlags1 = f.recordFlags1;
  s.recordFlags2 = f.recordFlags2;
  const int alt = f.AltitudeColumn();
  if (alt >= 0 && !f.Empty()) {
    const auto& v = f.columns[alt];
    const auto [mn, mx] = std::minmax_element(v.begin(), v.end());
    s.hasAltitude = true;
    s.altitudeMin = *mn;
    s.altitudeMax = *mx;
  }
  if (f.HasGps()) {
    for (int32_t i = 0; i < f.Count(); ++i) {
      const int64_t la = f.columns[analysis::kLatitude][i];
      const int64_t lo = f.columns[analysis::kLongitude][i];
      if (!analysis::HasFix(la, lo)) continue;
      const double lat = analysis::DecimalDegrees(la), lon = analysis::DecimalDegrees(lo);
      if (s.gpsFixes++ == 0) {
        s.latMin = s.latMax = lat;
        s.lonMin = s.lonMax = lon;
      }
      s.latMin = std::min(s.latMin, lat);
      s.latMax = std::max(s.latMax, lat);
      s.lonMin = std::min(s.lonMin, lon);
      s.lonMax = std::max(s.lonMax, lon);
    }
  }
  return s;
}

std::string Entry::DateText() const {
  // "YYYY-MM-DDTHH:MM..." -> "DD.MM.YYYY HH:MM"
  if (downloaded.size() < 16) return downloaded;
  return downloaded.substr(8, 2) + "." + downloaded.substr(5, 2) + "." + downloaded.substr(0, 4) +
         " " + downloaded.substr(11, 5);
}

namespace {

// Lower case for ASCII and the German letters with umlauts.
std::string Folded(const std::string& s) {
  std::string out;
  out.reserve(s.size());
  for (size_t i = 0; i < s.size(); ++i) {
    const auto c = static_cast<unsigned char>(s[i]);
    if (c == 0xC3 && i + 1 < s.size()) {
      auto d = static_cast<unsigned char>(s[i + 1]);
      if (d == 0x84 || d == 0x96 || d == 0x9C) d += 0x20;  // Ä Ö Ü
      out += static_cast<char>(c);
      out += static_cast<char>(d);
      ++i;
    } else {
      out += static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c);
    }
  }
  return out;
}

std::string ThreeDigits(int v) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "%03d", v);
  return buf;
}

}  // namespace

std::string FoldCase(const std::string& text) { return Folded(text); }

std::string Entry::SearchText() const {
  // One field a line, so that a search never matches across two of them.
  return Folded(model + "\n" + note + "\n" + DateText() + "\n" + downloaded + "\n" +
                (serialNumber >= 0 ? ThreeDigits(serialNumber) : ""));
}

bool Entry::Matches(const std::string& search) const {
  return search.empty() || SearchText().find(Folded(search)) != std::string::npos;
}

// ---- opening -----------------------------------------------------------------------

std::string Logbook::DefaultPath() { return DataDirectory() + "/flugbuch.sqlite"; }

Logbook::Logbook(std::string path, const Options& options)
    : path_(std::move(path)), options_(options) {}

Logbook::~Logbook() {
  if (db_) sqlite3_close_v2(db_);
}

std::unique_ptr<Logbook> Logbook::Open(const std::string& path, const Options& options) {
  std::unique_ptr<Logbook> lb(new Logbook(path, options));
  const int busy = options.busyTimeoutMs;
  const std::string where = "Das Flugbuch " + Quote(path) + " ist in diesem Lauf nicht verfügbar: ";

  if (const int err = MakeFolders(FolderOf(path)))
    throw LogbookError(where + "der Ordner lässt sich nicht anlegen (" + IoErrorText(err) + ").");
  std::error_code ec;
  const fs::file_status st = fs::status(FsPath(path), ec);
  if (fs::exists(st) && !fs::is_regular_file(st))
    throw LogbookError(where + (fs::is_directory(st) ? "an seiner Stelle steht ein Ordner."
                                                     : "an seiner Stelle steht keine Datei."));

  for (int attempt = 0; attempt < 2; ++attempt) {
    sqlite3* db = nullptr;
    int rc =
        sqlite3_open_v2(path.c_str(), &db,
                        SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX, nullptr);
    if (rc != SQLITE_OK) {
      const std::string text = SqliteText(db, rc, busy);
      sqlite3_close_v2(db);
      throw LogbookError(where + text + ".");
    }
    sqlite3_busy_timeout(db, busy);
    sqlite3_extended_result_codes(db, 1);
    bool sound;
    try {
      sound = PassesCheck(db, busy);
    } catch (const LogbookError& e) {
      sqlite3_close_v2(db);
      throw LogbookError(where + e.what() + ".");
    }
    if (!sound) {
      // Never overwritten: the damaged file and its journal go aside, a new one starts.
      sqlite3_close_v2(db);
      if (attempt > 0) throw LogbookError(where + "die neue Datei ist nicht lesbar.");
      const std::string aside = path + DamagedSuffix();
      fs::rename(FsPath(path), FsPath(aside), ec);
      if (ec)
        throw LogbookError(where + "die beschädigte Datei lässt sich nicht umbenennen (" +
                           IoErrorText(platform::ErrorCode(ec)) + ").");
      for (const char* journal : {"-wal", "-shm", "-journal"})
        fs::rename(FsPath(path + journal), FsPath(aside + journal), ec);
      lb->notice_ = "Das Flugbuch war beschädigt. Es wurde nach " + Quote(aside) +
                    " verschoben; ein neues, leeres Flugbuch wurde angelegt.";
      continue;
    }
    lb->db_ = db;
    break;
  }

  try {
    sqlite3* db = lb->db_;
    // Small pages for a new logbook: a dump fills its overflow pages and leaves at most
    // a small rest in its leaf page, so that the file stays close to the dumps' size.
    // (A page size takes effect only while the file is empty.)
    Exec(db, "PRAGMA page_size=1024", busy);
    Exec(db, "PRAGMA journal_mode=WAL", busy);
    Exec(db, "PRAGMA synchronous=FULL", busy);
    if (UserVersion(db, busy) != kSchemaVersion) {
      Transaction t(db, busy);
      const int version = UserVersion(db, busy);  // again, now that nobody else writes
      if (version > kSchemaVersion)
        throw LogbookError("es wurde von einer neueren Morvala-Version angelegt (Schema " +
                           std::to_string(version) + ")");
      for (int v = version; v < kSchemaVersion; ++v) Exec(db, kMigrations[v], busy);
      Exec(db, ("PRAGMA user_version=" + std::to_string(kSchemaVersion)).c_str(), busy);
      t.Commit();
    }
  } catch (const LogbookError& e) {
    throw LogbookError(where + e.what() + ".");
  }
  return lb;
}

int Logbook::SchemaVersion() const { return UserVersion(db_, options_.busyTimeoutMs); }

// ---- adding ------------------------------------------------------------------------

struct Logbook::Kept {
  Source source = Source::Download;
  RawDump dump;         // a download
  std::string csvText;  // an import
  std::string fileName;
};

Logbook::Kept Logbook::LoadKept(int64_t id) const {
  Stmt s(db_,
         "SELECT f.source, f.file_name, b.eeprom_kbyte, b.bytes FROM flights f"
         " JOIN flight_bytes b ON b.flight_id = f.id WHERE f.id = ?",
         options_.busyTimeoutMs);
  s.Bind(1, id);
  if (!s.Step()) throw LogbookError("Flug " + std::to_string(id) + " ist nicht im Flugbuch.");
  Kept k;
  k.source = s.Text(0) == "import" ? Source::Import : Source::Download;
  k.fileName = s.Text(1);
  if (k.source == Source::Download) {
    k.dump.eepromKByte = static_cast<int32_t>(s.Int(2));
    k.dump.bytes = s.Blob(3);
  } else {
    const std::vector<uint8_t> b = s.Blob(3);
    k.csvText.assign(b.begin(), b.end());
  }
  return k;
}

std::optional<int64_t> Logbook::FindDuplicate(const analysis::Flight& f, uint64_t contentHash,
                                              const RawDump* dump) const {
  const int busy = options_.busyTimeoutMs;
  if (dump) {
    // A download: the same dump.
    Stmt s(db_,
           "SELECT f.id FROM flights f JOIN flight_bytes b ON b.flight_id = f.id"
           " WHERE f.dump_hash = ? AND b.eeprom_kbyte = ? AND b.bytes = ?",
           busy);
    s.Bind(1, static_cast<int64_t>(DumpHash(*dump)))
        .Bind(2, static_cast<int64_t>(dump->eepromKByte))
        .BindBlob(3, dump->bytes.data(), dump->bytes.size());
    if (s.Step()) return s.Int(0);
    return std::nullopt;
  }
  // An import: the same header values and records as any kept flight.
  std::vector<int64_t> candidates;
  {
    Stmt s(db_, "SELECT id FROM flights WHERE content_hash = ?", busy);
    s.Bind(1, static_cast<int64_t>(contentHash));
    while (s.Step()) candidates.push_back(s.Int(0));
  }
  for (int64_t id : candidates)
    if (SameContent(LoadFlight(id), f)) return id;
  return std::nullopt;
}

AddResult Logbook::Insert(Source source, const analysis::Flight& f, const RawDump* dump,
                          const std::string& csvText, const LoggerIdentity& logger,
                          const LocalTime& when, const std::string& fileName) {
  const int busy = options_.busyTimeoutMs;
  const uint64_t contentHash = ContentHash(f);
  Transaction t(db_, busy);
  if (const auto dup = FindDuplicate(f, contentHash, dump)) return {*dup, true};

  const FlightSummary sum = Summarize(f);
  Stmt s(db_,
         "INSERT INTO flights (source, downloaded, downloaded_utc, serial_number, sensor,"
         " flight_number, file_name, record_flags1, record_flags2, sample_rate_code,"
         " download_count, header_byte6, header_byte7, header_byte8, header_word9,"
         " lat_degrees, lon_degrees, gps_header_value, records, duration_s, altitude_min,"
         " altitude_max, gps_fixes, lat_min, lat_max, lon_min, lon_max, dump_hash, content_hash)"
         " VALUES (?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?)",
         busy);
  s.Bind(1, std::string(source == Source::Download ? "download" : "import"))
      .Bind(2, when.Iso())
      .Bind(3, when.utcSeconds);
  if (logger.serialNumber >= 0)
    s.Bind(4, int64_t(logger.serialNumber));
  else
    s.BindNull(4);
  if (!logger.sensor.empty())
    s.Bind(5, logger.sensor);
  else
    s.BindNull(5);
  if (logger.flightNumber >= 0)
    s.Bind(6, int64_t(logger.flightNumber));
  else
    s.BindNull(6);
  if (!fileName.empty())
    s.Bind(7, fileName);
  else
    s.BindNull(7);
  s.Bind(8, int64_t(f.recordFlags1))
      .Bind(9, int64_t(f.recordFlags2))
      .Bind(10, int64_t(f.sampleRateCode))
      .Bind(11, f.downloadCount)
      .Bind(12, int64_t(f.headerByte6))
      .Bind(13, int64_t(f.headerByte7))
      .Bind(14, int64_t(f.headerByte8))
      .Bind(15, f.headerWord9)
      .Bind(16, f.latDegrees)
      .Bind(17, f.lonDegrees)
      .Bind(18, f.gpsHeaderValue)
      .Bind(19, int64_t(sum.records))
      .Bind(20, sum.durationS);
  if (sum.hasAltitude)
    s.Bind(21, sum.altitudeMin).Bind(22, sum.altitudeMax);
  else
    s.BindNull(21).BindNull(22);
  s.Bind(23, int64_t(sum.gpsFixes));
  if (sum.gpsFixes > 0)
    s.Bind(24, sum.latMin).Bind(25, sum.latMax).Bind(26, sum.lonMin).Bind(27, sum.lonMax);
  else
    s.BindNull(24).BindNull(25).BindNull(26).BindNull(27);
  if (dump)
    s.Bind(28, static_cast<int64_t>(DumpHash(*dump)));
  else
    s.BindNull(28);
  s.Bind(29, static_cast<int64_t>(contentHash));
  s.Step();
  const int64_t id = sqlite3_last_insert_rowid(db_);

  Stmt b(db_, "INSERT INTO flight_bytes (flight_id, eeprom_kbyte, bytes) VALUES (?, ?, ?)", busy);
  b.Bind(1, id);
  if (dump) {
    b.Bind(2, static_cast<int64_t>(dump->eepromKByte))
        .BindBlob(3, dump->bytes.data(), dump->bytes.size());
  } else {
    b.BindNull(2).BindBlob(3, csvText.data(), csvText.size());
  }
  b.Step();
  t.Commit();
  return {id, false};
}

AddResult Logbook::AddDownload(const RawDump& dump, const LoggerIdentity& logger,
                               const LocalTime& when) {
  auto fd = std::make_unique<FlightData>();
  if (!DecodeRawDump(dump, *fd))
    throw LogbookError("Die Rohdaten enthalten keinen vollständigen Download-Kopf.");
  if (fd->LastSampleIndex + 1 < kMinRecordsKept)
    throw LogbookError("Der Download enthält nur " + std::to_string(fd->LastSampleIndex + 1) +
                       " Datensätze; er wird nicht ins Flugbuch übernommen.");
  try {
    return Insert(Source::Download, FlightOf(*fd), &dump, {}, logger, when, {});
  } catch (const LogbookError& e) {
    throw LogbookError(std::string("Der Flug wurde nicht ins Flugbuch geschrieben: ") + e.what() +
                       ".");
  }
}

AddResult Logbook::ImportCsv(const std::string& path, const LocalTime& when) {
  const std::string name = BaseName(path);
  analysis::Flight f;
  std::string text;
  try {
    // The analysis's reader decides; then the bytes it accepted are kept as they are.
    f = analysis::ReadFlightCsvFile(path);
    text = ReadWhole(path);
    f = analysis::ParseFlightCsv(text);
    f.fileName = name;
  } catch (const analysis::CsvFormatError& e) {
    throw LogbookError("Die Datei " + Quote(name) +
                       " ist keine CSV-Datei dieses Programms: " + e.what());
  } catch (const EInOutError& e) {
    throw LogbookError("Die Datei " + Quote(name) + " lässt sich nicht lesen: " + e.what());
  } catch (const analysis::NotAFileError& e) {
    throw LogbookError(std::string("Die Datei lässt sich nicht lesen: ") + e.what());
  }
  try {
    return Insert(Source::Import, f, nullptr, text, {}, when, name);
  } catch (const LogbookError& e) {
    throw LogbookError("Die Datei " + Quote(name) +
                       " wurde nicht ins Flugbuch übernommen: " + e.what() + ".");
  }
}

std::vector<ImportOutcome> Logbook::ImportFiles(const std::vector<std::string>& paths) {
  std::vector<std::string> files;
  for (const std::string& p : paths) {
    std::error_code ec;
    if (fs::is_directory(fs::status(FsPath(p), ec))) {
      std::vector<std::string> inFolder;
      for (fs::directory_iterator it(FsPath(p), ec), end; !ec && it != end; it.increment(ec)) {
        const std::string n = Utf8(it->path().filename());
        if (n.size() < 5 || n[0] == '.') continue;
        std::string ext = n.substr(n.size() - 4);
        std::transform(ext.begin(), ext.end(), ext.begin(), ::tolower);
        if (ext == ".csv") inFolder.push_back(p + "/" + n);
      }
      std::sort(inFolder.begin(), inFolder.end());
      files.insert(files.end(), inFolder.begin(), inFolder.end());
    } else {
      files.push_back(p);
    }
  }
  std::vector<ImportOutcome> out;
  for (const std::string& file : files) {
    ImportOutcome o;
    o.path = file;
    try {
      const AddResult r = ImportCsv(file);
      o.taken = !r.duplicate;
      o.duplicate = r.duplicate;
      o.id = r.id;
    } catch (const LogbookError& e) {
      o.reason = e.what();
    }
    out.push_back(std::move(o));
  }
  return out;
}

// ---- reading -----------------------------------------------------------------------

namespace {

constexpr const char* kEntryColumns =
    "id, source, downloaded, downloaded_utc, serial_number, sensor, flight_number, file_name,"
    " record_flags1, record_flags2, sample_rate_code, download_count, header_byte6,"
    " header_byte7, header_byte8, header_word9, lat_degrees, lon_degrees, gps_header_value,"
    " records, duration_s, altitude_min, altitude_max, gps_fixes, lat_min, lat_max, lon_min,"
    " lon_max, model, note";

Entry ReadEntry(const Stmt& s) {
  Entry e;
  e.id = s.Int(0);
  e.source = s.Text(1) == "import" ? Source::Import : Source::Download;
  e.downloaded = s.Text(2);
  e.downloadedUtc = s.Int(3);
  e.serialNumber = s.Null(4) ? -1 : static_cast<int>(s.Int(4));
  e.sensor = s.Text(5);
  e.flightNumber = s.Null(6) ? -1 : static_cast<int>(s.Int(6));
  e.fileName = s.Text(7);
  e.recordFlags1 = static_cast<int>(s.Int(8));
  e.recordFlags2 = static_cast<int>(s.Int(9));
  e.sampleRateCode = static_cast<int>(s.Int(10));
  e.downloadCount = s.Int(11);
  e.headerByte6 = static_cast<int>(s.Int(12));
  e.headerByte7 = static_cast<int>(s.Int(13));
  e.headerByte8 = static_cast<int>(s.Int(14));
  e.headerWord9 = s.Int(15);
  e.latDegrees = s.Int(16);
  e.lonDegrees = s.Int(17);
  e.gpsHeaderValue = s.Int(18);
  FlightSummary& m = e.summary;
  m.records = static_cast<int32_t>(s.Int(19));
  m.durationS = s.Real(20);
  m.recordFlags1 = e.recordFlags1;
  m.recordFlags2 = e.recordFlags2;
  m.hasAltitude = !s.Null(21);
  m.altitudeMin = s.Int(21);
  m.altitudeMax = s.Int(22);
  m.gpsFixes = static_cast<int32_t>(s.Int(23));
  m.latMin = s.Real(24);
  m.latMax = s.Real(25);
  m.lonMin = s.Real(26);
  m.lonMax = s.Real(27);
  e.model = s.Text(28);
  e.note = s.Text(29);
  return e;
}

}  // namespace

std::vector<Entry> Logbook::List(const ListOptions& options) const {
  std::vector<Entry> out;
  {
    Stmt s(db_, (std::string("SELECT ") + kEntryColumns + " FROM flights").c_str(),
           options_.busyTimeoutMs);
    while (s.Step()) {
      Entry e = ReadEntry(s);
      if (e.Matches(options.search)) out.push_back(std::move(e));
    }
  }
  auto key = [&](const Entry& a, const Entry& b) {
    switch (options.sortBy) {
      case SortBy::SerialNumber: return a.serialNumber < b.serialNumber;
      case SortBy::FlightNumber: return a.flightNumber < b.flightNumber;
      case SortBy::Duration: return a.summary.durationS < b.summary.durationS;
      case SortBy::Records: return a.summary.records < b.summary.records;
      case SortBy::Model: return Folded(a.model) < Folded(b.model);
      case SortBy::Downloaded: break;
    }
    return a.downloadedUtc != b.downloadedUtc ? a.downloadedUtc < b.downloadedUtc : a.id < b.id;
  };
  std::stable_sort(out.begin(), out.end(), [&](const Entry& a, const Entry& b) {
    return options.descending ? key(b, a) : key(a, b);
  });
  return out;
}

std::optional<Entry> Logbook::Get(int64_t id) const {
  Stmt s(db_, (std::string("SELECT ") + kEntryColumns + " FROM flights WHERE id = ?").c_str(),
         options_.busyTimeoutMs);
  s.Bind(1, id);
  if (!s.Step()) return std::nullopt;
  return ReadEntry(s);
}

Totals Logbook::ComputeTotals() const {
  Totals t;
  std::map<std::string, Total> models;  // by the folded name, first spelling kept
  std::map<std::string, Total> years;
  Stmt s(db_, "SELECT model, substr(downloaded, 1, 4), duration_s FROM flights",
         options_.busyTimeoutMs);
  while (s.Step()) {
    const std::string model = s.Text(0), year = s.Text(1);
    const double d = s.Real(2);
    Total& m = models[Folded(model)];
    if (m.flights == 0) m.key = model;
    ++m.flights;
    m.durationS += d;
    Total& y = years[year];
    y.key = year;
    ++y.flights;
    y.durationS += d;
    ++t.flights;
    t.durationS += d;
  }
  for (auto& [k, v] : models) t.perModel.push_back(v);
  for (auto it = years.rbegin(); it != years.rend(); ++it) t.perYear.push_back(it->second);
  return t;
}

// ---- changing ----------------------------------------------------------------------

void Logbook::SetText(int64_t id, const char* column, const std::string& text) {
  const int busy = options_.busyTimeoutMs;
  try {
    Transaction t(db_, busy);
    Stmt s(db_, (std::string("UPDATE flights SET ") + column + " = ? WHERE id = ?").c_str(), busy);
    s.Bind(1, text).Bind(2, id);
    s.Step();
    if (sqlite3_changes(db_) == 0)
      throw LogbookError("Flug " + std::to_string(id) + " ist nicht im Flugbuch");
    t.Commit();
  } catch (const LogbookError& e) {
    throw LogbookError(std::string("Die Änderung wurde nicht gespeichert: ") + e.what() + ".");
  }
}

void Logbook::SetModel(int64_t id, const std::string& model) { SetText(id, "model", model); }
void Logbook::SetNote(int64_t id, const std::string& note) { SetText(id, "note", note); }

void Logbook::Remove(int64_t id) {
  const int busy = options_.busyTimeoutMs;
  try {
    Transaction t(db_, busy);
    Stmt b(db_, "DELETE FROM flight_bytes WHERE flight_id = ?", busy);
    b.Bind(1, id);
    b.Step();
    Stmt f(db_, "DELETE FROM flights WHERE id = ?", busy);
    f.Bind(1, id);
    f.Step();
    if (sqlite3_changes(db_) == 0)
      throw LogbookError("Flug " + std::to_string(id) + " ist nicht im Flugbuch");
    t.Commit();
  } catch (const LogbookError& e) {
    throw LogbookError(std::string("Der Flug wurde nicht gelöscht: ") + e.what() + ".");
  }
}

// ---- getting flights out -----------------------------------------------------------

void Logbook::DecodeInto(int64_t id, FlightData& fd) const {
  const Kept k = LoadKept(id);
  if (k.source != Source::Download)
    throw LogbookError("Flug " + std::to_string(id) + " wurde aus einer CSV-Datei übernommen.");
  if (!DecodeRawDump(k.dump, fd))
    throw LogbookError("Die Rohdaten von Flug " + std::to_string(id) + " sind unvollständig.");
}

analysis::Flight Logbook::LoadFlight(int64_t id) const {
  const Kept k = LoadKept(id);
  if (k.source == Source::Import) {
    analysis::Flight f = analysis::ParseFlightCsv(k.csvText);
    f.fileName = k.fileName;
    return f;
  }
  auto fd = std::make_unique<FlightData>();
  if (!DecodeRawDump(k.dump, *fd))
    throw LogbookError("Die Rohdaten von Flug " + std::to_string(id) + " sind unvollständig.");
  return FlightOf(*fd);
}

void Logbook::ExportCsv(int64_t id, const std::string& path) const {
  const Kept k = LoadKept(id);
  if (k.source == Source::Import) {
    AtomicFile::WriteWhole(path, k.csvText);
    return;
  }
  auto fd = std::make_unique<FlightData>();
  if (!DecodeRawDump(k.dump, *fd))
    throw LogbookError("Die Rohdaten von Flug " + std::to_string(id) + " sind unvollständig.");
  WriteCsvFile(path, *fd);
}

void Logbook::ExportGpx(int64_t id, const std::string& path) const {
  const analysis::Flight f = LoadFlight(id);
  analysis::WriteGpxFile(path, f, 0, f.Count() - 1, "flug-" + std::to_string(id));
}

void Logbook::ExportKml(int64_t id, const std::string& path) const {
  const analysis::Flight f = LoadFlight(id);
  analysis::WriteKmlFile(path, f, 0, f.Count() - 1, "flug-" + std::to_string(id));
}

void Logbook::Export(int64_t id, const std::string& path) const {
  std::string ext = path.size() >= 4 ? path.substr(path.size() - 4) : "";
  std::transform(ext.begin(), ext.end(), ext.begin(), ::tolower);
  if (ext == ".csv") return ExportCsv(id, path);
  if (ext == ".gpx") return ExportGpx(id, path);
  if (ext == ".kml") return ExportKml(id, path);
  throw LogbookError("Unbekannte Dateiendung bei " + Quote(BaseName(path)) +
                     " (erwartet: .csv, .gpx oder .kml).");
}

RawDump Logbook::Dump(int64_t id) const {
  const Kept k = LoadKept(id);
  if (k.source != Source::Download)
    throw LogbookError("Flug " + std::to_string(id) +
                       " wurde aus einer CSV-Datei übernommen und hat keine Rohdaten.");
  return k.dump;
}

void Logbook::Backup(const std::string& path) const {
  // Into a temporary file beside the target, which replaces it once complete and on the
  // disk; a failed copy leaves the target as it was.
  std::string tmp;
  if (const int err = platform::CreateUniqueFile(FolderOf(path) + "/.morvala-sicherung-", tmp))
    throw LogbookError("Die Sicherung wurde nicht geschrieben: " + IoErrorText(err) + ".");
  auto fail = [&](const std::string& why) {
    std::error_code ec;
    fs::remove(FsPath(tmp), ec);
    fs::remove(FsPath(tmp + "-journal"), ec);
    throw LogbookError("Die Sicherung wurde nicht geschrieben: " + why + ".");
  };
  sqlite3* dest = nullptr;
  int rc = sqlite3_open_v2(tmp.c_str(), &dest, SQLITE_OPEN_READWRITE, nullptr);
  if (rc == SQLITE_OK) {
    sqlite3_backup* b = sqlite3_backup_init(dest, "main", db_, "main");
    if (b) {
      do {
        rc = sqlite3_backup_step(b, -1);
        if (rc == SQLITE_BUSY || rc == SQLITE_LOCKED) sqlite3_sleep(50);
      } while (rc == SQLITE_OK || rc == SQLITE_BUSY || rc == SQLITE_LOCKED);
      sqlite3_backup_finish(b);
      rc = rc == SQLITE_DONE ? SQLITE_OK : rc;
    } else {
      rc = sqlite3_errcode(dest);
    }
  }
  if (rc == SQLITE_OK)
    rc = sqlite3_exec(dest, "PRAGMA journal_mode=DELETE", nullptr, nullptr, nullptr);
  const std::string why = rc == SQLITE_OK ? "" : SqliteText(dest, rc, options_.busyTimeoutMs);
  sqlite3_close_v2(dest);
  if (rc != SQLITE_OK) fail(why);
  if (const int err = platform::SyncFile(tmp)) fail(IoErrorText(err));
  std::error_code ec;
  fs::rename(FsPath(tmp), FsPath(path), ec);
  if (ec) fail(IoErrorText(platform::ErrorCode(ec)));
}

}  // namespace logbook
