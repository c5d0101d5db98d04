// The logbook when things go wrong, on real files and real processes: two writers at
// once, a writer that holds the database, a program killed in the middle of an import
// and right after a download was kept, a damaged or empty file, a folder in the file's
// place, and a full file system.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <thread>

#include "formats/csvexport.h"
#include "logbook/logbook.h"
#include "tests/logbook/logbook_support.h"

using namespace logbook;
using namespace logbooktest;

namespace {

// Runs body in a child process; the child's exit status tells (0 when body returned
// true). The child never returns into the test.
pid_t Child(const std::function<bool()>& body) {
  const pid_t pid = ::fork();
  if (pid == 0) {
    bool ok = false;
    try {
      ok = body();
    } catch (const std::exception& e) {
      std::fprintf(stderr, "child: %s\n", e.what());
    }
    ::_exit(ok ? 0 : 1);
  }
  return pid;
}

int ExitStatus(pid_t pid) {
  int status = 0;
  ::waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

bool WaitUntil(const std::function<bool()>& condition, int ms = 20000) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  while (!condition()) {
    if (std::chrono::steady_clock::now() > end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  return true;
}

class LogbookFailure : public ::testing::Test {
 protected:
  std::string Path() const { return dir / "morvala/flugbuch.sqlite"; }
  int64_t Count() {
    const std::string v = SqlValue(Path(), "SELECT count(*) FROM flights");
    return v.empty() ? -1 : std::stoll(v);
  }
  // Every kept flight decodes, and the given ones still hold their dumps.
  void ExpectIntact(Logbook& lb, const std::vector<std::pair<int64_t, RawDump>>& earlier) {
    EXPECT_EQ(SqlValue(Path(), "PRAGMA integrity_check"), "ok");
    for (const Entry& e : lb.List()) EXPECT_NO_THROW(lb.LoadFlight(e.id)) << e.id;
    for (const auto& [id, dump] : earlier) EXPECT_EQ(lb.Dump(id), dump) << id;
  }

  TempDir dir;
  ScopedEnv data{"XDG_DATA_HOME", dir.Path().c_str()};
};

TEST_F(LogbookFailure, TwoProcessesAddingAtOnceBothArrive) {
  // Both start on a logbook that does not exist yet: one makes it, the other waits.
  auto adder = [&](uint32_t firstSeed) {
    return Child([this, firstSeed] {
      auto lb = Logbook::Open(Path());
      for (uint32_t s = firstSeed; s < firstSeed + 15; ++s)
        if (lb->AddDownload(DumpOf(Flight(400, s)), Logger(), At(int(s))).duplicate) return false;
      return true;
    });
  };
  const pid_t a = adder(100), b = adder(200);
  EXPECT_EQ(ExitStatus(a), 0);
  EXPECT_EQ(ExitStatus(b), 0);
  auto lb = Logbook::Open(Path());
  EXPECT_EQ(lb->List().size(), 30u);
  ExpectIntact(*lb, {});
}

TEST_F(LogbookFailure, ALockedDatabaseIsWaitedForThenReportedInGerman) {
  Logbook::Open(Path());
  int ready[2];
  ASSERT_EQ(::pipe(ready), 0);
  const pid_t holder = Child([&] {
    sqlite3* db = nullptr;
    sqlite3_open(Path().c_str(), &db);
    if (sqlite3_exec(db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr) != SQLITE_OK) return false;
    (void)!::write(ready[1], "x", 1);
    ::sleep(30);  // killed long before
    return true;
  });
  char c;
  ASSERT_EQ(::read(ready[0], &c, 1), 1);
  Logbook::Options quick;
  quick.busyTimeoutMs = 300;
  auto lb = Logbook::Open(Path(), quick);
  try {
    lb->AddDownload(DumpOf(Flight(100)), Logger(), At());
    ADD_FAILURE() << "added although the database was held";
  } catch (const LogbookError& e) {
    EXPECT_STREQ(e.what(),
                 "Der Flug wurde nicht ins Flugbuch geschrieben: das Flugbuch wird von einem "
                 "anderen Morvala benutzt (nach 0,3 Sekunden Warten aufgegeben).");
  }
  ::kill(holder, SIGKILL);
  ExitStatus(holder);
  EXPECT_FALSE(lb->AddDownload(DumpOf(Flight(100)), Logger(), At()).duplicate);
  ::close(ready[0]);
  ::close(ready[1]);
}

TEST_F(LogbookFailure, KilledInTheMiddleOfAnImportAndRightAfterAnAddition) {
  std::vector<std::pair<int64_t, RawDump>> earlier;
  {
    auto lb = Logbook::Open(Path());
    for (uint32_t s = 1; s <= 3; ++s) {
      const RawDump d = DumpOf(Flight(700, s));
      earlier.push_back({lb->AddDownload(d, Logger(), At(int(s))).id, d});
    }
  }
  TempDir csvs;
  for (uint32_t s = 0; s < 50; ++s) {
    auto fd = std::make_unique<FlightData>();
    ASSERT_TRUE(DecodeRawDump(DumpOf(Flight(2400, 1000 + s)), *fd));
    WriteFile(csvs / ("flug" + std::to_string(100 + s) + ".csv"), CsvText(*fd));
  }
  const pid_t importer = Child([&] {
    Logbook::Open(Path())->ImportFiles({csvs.Path()});
    return true;
  });
  // Killed once some files are in, long before all 50.
  EXPECT_TRUE(WaitUntil([&] { return Count() >= 3 + 5; }));
  ::kill(importer, SIGKILL);
  EXPECT_EQ(ExitStatus(importer), 128 + SIGKILL);
  int64_t imported;
  {
    auto lb = Logbook::Open(Path());
    ExpectIntact(*lb, earlier);
    imported = static_cast<int64_t>(lb->List().size()) - 3;
    EXPECT_GE(imported, 5);
    EXPECT_LT(imported, 50);
    // Importing again takes just the rest.
    int taken = 0, duplicates = 0;
    for (const ImportOutcome& o : lb->ImportFiles({csvs.Path()})) {
      taken += o.taken;
      duplicates += o.duplicate;
    }
    EXPECT_EQ(duplicates, imported);
    EXPECT_EQ(taken, 50 - imported);
  }

  // Killed the moment the addition is reported: the flight is there after the restart.
  int report[2];
  ASSERT_EQ(::pipe(report), 0);
  const RawDump last = DumpOf(Flight(65536 / 4, 77));
  const pid_t adder = Child([&] {
    auto lb = Logbook::Open(Path());
    const int64_t id = lb->AddDownload(last, Logger(), At(500)).id;
    (void)!::write(report[1], &id, sizeof id);
    ::sleep(30);
    return true;
  });
  int64_t id = 0;
  ASSERT_EQ(::read(report[0], &id, sizeof id), static_cast<ssize_t>(sizeof id));
  ::kill(adder, SIGKILL);
  ExitStatus(adder);
  ::close(report[0]);
  ::close(report[1]);
  auto lb = Logbook::Open(Path());
  earlier.push_back({id, last});
  ExpectIntact(*lb, earlier);
  EXPECT_EQ(lb->List().size(), 3u + 50u + 1u);
}

TEST_F(LogbookFailure, DamagedFileIsMovedAsideEmptyFileIsTakenFolderIsReported) {
  ::mkdir((dir / "morvala").c_str(), 0700);
  const std::string garbage(10000, '\x5a');
  WriteFile(Path(), garbage);
  {
    auto lb = Logbook::Open(Path());
    ASSERT_NE(
        lb->Notice().find("Das Flugbuch war beschädigt. Es wurde nach „" + Path() + ".defekt-"),
        std::string::npos)
        << lb->Notice();
    const std::string aside = lb->Notice().substr(
        lb->Notice().find("„") + 3, lb->Notice().find("“") - lb->Notice().find("„") - 3);
    EXPECT_TRUE(ReadFile(aside) == garbage);  // never overwritten
    EXPECT_TRUE(lb->List().empty());
    lb->AddDownload(DumpOf(Flight(50)), Logger(), At());
  }

  // A database whose pages are damaged behind a sound header fails the check.
  {
    std::string bytes = ReadFile(Path());
    ASSERT_GT(bytes.size(), 100u);
    // Pages 2 and 3, by the page size in the file's header.
    const size_t page = static_cast<uint8_t>(bytes[16]) * 256u + static_cast<uint8_t>(bytes[17]);
    ASSERT_GT(bytes.size(), 3 * page);
    for (size_t i = page; i < 3 * page; ++i) bytes[i] = '\x7f';
    WriteFile(Path(), bytes);
    ::unlink((Path() + "-wal").c_str());
    ::unlink((Path() + "-shm").c_str());
    auto lb = Logbook::Open(Path());
    EXPECT_FALSE(lb->Notice().empty());
    EXPECT_TRUE(lb->List().empty());
  }

  // An empty file is an empty logbook, and becomes the logbook.
  WriteFile(dir / "leer.sqlite", "");
  {
    auto lb = Logbook::Open(dir / "leer.sqlite");
    EXPECT_TRUE(lb->Notice().empty());
    EXPECT_TRUE(lb->List().empty());
    lb->AddDownload(DumpOf(Flight(50)), Logger(), At());
  }
  EXPECT_EQ(SqlValue(dir / "leer.sqlite", "SELECT count(*) FROM flights"), "1");

  // A folder in the file's place: reported, the folder left alone.
  ::mkdir((dir / "ordner.sqlite").c_str(), 0700);
  try {
    Logbook::Open(dir / "ordner.sqlite");
    ADD_FAILURE() << "opened a folder";
  } catch (const LogbookError& e) {
    EXPECT_STREQ(e.what(), ("Das Flugbuch „" + (dir / "ordner.sqlite") +
                            "“ ist in diesem Lauf nicht verfügbar: an seiner Stelle steht ein "
                            "Ordner.")
                               .c_str());
  }
  struct stat st;
  EXPECT_TRUE(::stat((dir / "ordner.sqlite").c_str(), &st) == 0 && S_ISDIR(st.st_mode));

  // A logbook of a newer program is refused and left as it is.
  {
    auto lb = Logbook::Open(dir / "neu.sqlite");
    EXPECT_EQ(lb->SchemaVersion(), 1);
  }
  sqlite3* db = nullptr;
  sqlite3_open((dir / "neu.sqlite").c_str(), &db);
  sqlite3_exec(db, "PRAGMA user_version=99", nullptr, nullptr, nullptr);
  sqlite3_close(db);
  EXPECT_THROW(Logbook::Open(dir / "neu.sqlite"), LogbookError);
  EXPECT_EQ(SqlValue(dir / "neu.sqlite", "PRAGMA user_version"), "99");
}

// Adds flights until the file system is full: the failing one is reported in German and
// leaves nothing behind, every flight before it stays intact.
void FillUp(const std::string& path, std::vector<std::pair<int64_t, RawDump>>& kept,
            std::string& error) {
  auto lb = Logbook::Open(path);
  for (uint32_t s = 1; s < 400; ++s) {
    const RawDump d = DumpOf(Flight(4000, s));
    try {
      kept.push_back({lb->AddDownload(d, Logger(), At(int(s))).id, d});
    } catch (const LogbookError& e) {
      error = e.what();
      return;
    }
  }
}

TEST_F(LogbookFailure, FullFileSystemLeavesNothingHalfWritten) {
  const std::string mnt = dir / "klein";
  ::mkdir(mnt.c_str(), 0700);
  const bool tmpfs = ::mount("tmpfs", mnt.c_str(), "tmpfs", 0, "size=2m") == 0;
  struct Unmount {
    std::string at;
    ~Unmount() {
      if (!at.empty()) ::umount2(at.c_str(), MNT_DETACH);
    }
  } unmount{tmpfs ? mnt : ""};
  const std::string path = mnt + "/flugbuch.sqlite";
  if (tmpfs) {
    std::vector<std::pair<int64_t, RawDump>> kept;
    std::string error;
    FillUp(path, kept, error);
    EXPECT_EQ(error, "Der Flug wurde nicht ins Flugbuch geschrieben: Zu wenig Speicherplatz.");
    EXPECT_GE(kept.size(), 5u);
    {
      auto lb = Logbook::Open(path);
      EXPECT_EQ(lb->List().size(), kept.size());
      for (const auto& [id, dump] : kept) EXPECT_EQ(lb->Dump(id), dump);
    }
    EXPECT_EQ(SqlValue(path, "PRAGMA integrity_check"), "ok");
    return;
  }
  // No tmpfs here: a file-size limit in a child, with SIGXFSZ ignored so that the write
  // fails instead of killing the process.
  const pid_t child = Child([&] {
    ::signal(SIGXFSZ, SIG_IGN);
    rlimit lim{2 << 20, 2 << 20};
    ::setrlimit(RLIMIT_FSIZE, &lim);
    std::vector<std::pair<int64_t, RawDump>> kept;
    std::string error;
    FillUp(path, kept, error);
    if (kept.size() < 5 || error.find("Speicherplatz") == std::string::npos)
      std::fprintf(stderr, "child: %zu kept, then: %s\n", kept.size(), error.c_str());
    return error == "Der Flug wurde nicht ins Flugbuch geschrieben: Zu wenig Speicherplatz." &&
           kept.size() >= 5;
  });
  EXPECT_EQ(ExitStatus(child), 0);
  auto lb = Logbook::Open(path);
  EXPECT_GE(lb->List().size(), 5u);
  EXPECT_EQ(SqlValue(path, "PRAGMA integrity_check"), "ok");
}

}  // namespace
