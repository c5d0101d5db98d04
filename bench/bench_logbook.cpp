// The logbook's figures: keeping a download of 65536 full records with its durable
// commit, a logbook of 10 000 flights in the tab "Flugbuch" (the table shown from the
// click, a filter keystroke, opening one flight in "Auswertung"), importing 100 CSV
// files of 2400 records, and the database's size over the raw dumps it holds. Every
// logbook lives in the benchmark's own XDG_DATA_HOME.
#include <sys/stat.h>
#include <unistd.h>

#include <QLineEdit>
#include <QTableView>
#include <QTest>
#include <algorithm>
#include <cstdio>
#include <filesystem>

#include "app/logbookpage.h"
#include "bench/bench.h"
#include "formats/csvexport.h"
#include "logbook/logbook.h"
#include "model/sampletable.h"

namespace bench {

namespace {

long long FileSize(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 ? static_cast<long long>(st.st_size) : -1;
}

// A download of the flight; salt makes each dump its own.
RawDump DumpOf(loggersim::SimFlight f, int salt, int eepromKByte) {
  f.headerWord9 = static_cast<uint16_t>(salt);
  f.headerByte6 = static_cast<uint8_t>(salt >> 16);
  f.records[0].adc16 = static_cast<uint16_t>(salt * 7);
  RawDump d;
  d.bytes = loggersim::BuildDownload(f, 0);
  d.eepromKByte = eepromKByte;
  return d;
}

logbook::LoggerIdentity Logger(int flight) {
  logbook::LoggerIdentity who;
  who.serialNumber = 12;
  who.sensor = "MS5534A";
  who.flightNumber = flight;
  return who;
}

// The page's table painted once: the user sees it.
void Settle() {
  QApplication::processEvents();
  QApplication::processEvents();
}

}  // namespace

int RunLogbook(const Args& args) {
  const int flights = static_cast<int>(args.Int("flights", 10000));
  const int reps = static_cast<int>(args.Int("reps", 5));
  TempDir own;
  ::setenv("XDG_DATA_HOME", own.Path().c_str(), 1);
  std::printf("   logbooks in %s (XDG_DATA_HOME)\n", own.Path().c_str());

  // ---- keeping a full download ----
  {
    // 65536 records of 23 bytes: DataLength 0 with the largest EEPROM, so the table's
    // end stops the download.
    loggersim::SimFlight f = MakeFlight(65536, 0xFF, 0x77);
    f.dataLength = 0;
    const std::string path = own / "voll/flugbuch.sqlite";
    auto book = logbook::Logbook::Open(path);
    std::vector<double> add;
    long long dumpBytes = 0;
    for (int r = 0; r < reps; ++r) {
      const RawDump d = DumpOf(f, r + 1, 255 * 32);
      dumpBytes += static_cast<long long>(d.bytes.size());
      const auto t0 = Clock::now();
      book->AddDownload(d, Logger(r), logbook::LocalTime::Now());
      add.push_back(MsSince(t0, Clock::now()));
    }
    book.reset();
    std::printf(
        "   keeping a download of 65536 full records (%.2f MB dump), durable commit"
        " included: median %.1f ms (min %.1f, max %.1f; %d runs)\n",
        dumpBytes / double(reps) / 1e6, Median(add), *std::min_element(add.begin(), add.end()),
        *std::max_element(add.begin(), add.end()), reps);
    std::printf("   database after %d of them: %.2f MB for %.2f MB of dumps (+%.1f %%)\n", reps,
                FileSize(path) / 1e6, dumpBytes / 1e6,
                100.0 * (FileSize(path) - dumpBytes) / dumpBytes);
  }

  // ---- a logbook of many flights ----
  Session session;
  const std::string bookPath = session.dir / "data/morvala/flugbuch.sqlite";
  long long dumpBytes = 0;
  {
    // Built on a memory file system where there is one (its commits cost no disk
    // flush), then moved into the window session's logbook folder.
    const std::string shm = "/dev/shm";
    TempDir build(::access(shm.c_str(), W_OK) == 0 ? shm : "");
    const loggersim::SimFlight f = MakeFlight(240, 0xFF, 0x77);
    const auto t0 = Clock::now();
    {
      auto book = logbook::Logbook::Open(build / "flugbuch.sqlite");
      const char* models[] = {"Ka 8", "ASW 28", "Easy Glider", "Discus", ""};
      logbook::LocalTime when = logbook::LocalTime::Now();
      for (int i = 0; i < flights; ++i) {
        const RawDump d = DumpOf(f, i + 1, 64);
        dumpBytes += static_cast<long long>(d.bytes.size());
        when.utcSeconds -= 3 * 3600;
        const int64_t id = book->AddDownload(d, Logger(i), when).id;
        if (models[i % 5][0]) book->SetModel(id, models[i % 5]);
      }
    }
    const double built = MsSince(t0, Clock::now());
    std::filesystem::create_directories(session.dir / "data/morvala");
    std::filesystem::copy_file(build / "flugbuch.sqlite", bookPath);
    std::printf("   logbook of %d flights of 240 full records built in %.1f s (%s)\n", flights,
                built / 1000, build.Path().c_str());
    std::printf("   database: %.2f MB for %.2f MB of raw dumps (+%.1f %%)\n",
                FileSize(bookPath) / 1e6, dumpBytes / 1e6,
                100.0 * (FileSize(bookPath) - dumpBytes) / dumpBytes);
  }

  session.WriteIni("/tmp/morvala-bench-no-logger");
  std::vector<double> shownAtOnce, shown, keystroke, opened;
  for (int r = 0; r < 6; ++r) {
    TForm1& form = ShowWindow(session);
    LogbookPage* page = form.TabSheet4;
    // The click on the tab, right after the start (the logbook opened and checked on the
    // spot) or once the window has been up for a second (opened in the background by
    // then): the table filled and painted.
    const bool atOnce = r % 2 == 0;
    if (!atOnce) Pump(1500);
    auto t0 = Clock::now();
    form.PageControl1->setCurrentIndex(3);
    Settle();
    (atOnce ? shownAtOnce : shown).push_back(MsSince(t0, Clock::now()));
    if (page->ShownIds().size() != static_cast<size_t>(flights)) {
      std::fprintf(stderr, "the table shows %zu flights, not %d\n", page->ShownIds().size(),
                   flights);
      return 1;
    }
    // Typing "ka 8" and taking it back, one keystroke at a time.
    page->SearchEdit->setFocus();
    for (const char* keys : {"k", "a", " ", "8"}) {
      t0 = Clock::now();
      QTest::keyClicks(page->SearchEdit, keys);
      Settle();
      keystroke.push_back(MsSince(t0, Clock::now()));
    }
    for (int k = 0; k < 4; ++k) {
      t0 = Clock::now();
      QTest::keyClick(page->SearchEdit, Qt::Key_Backspace);
      Settle();
      keystroke.push_back(MsSince(t0, Clock::now()));
    }
    // Enter on a row in the middle opens it in "Auswertung".
    page->Table->setFocus();
    page->Table->setCurrentIndex(page->Table->model()->index(flights / 2, 0));
    t0 = Clock::now();
    QTest::keyClick(page->Table, Qt::Key_Return);
    Settle();
    opened.push_back(MsSince(t0, Clock::now()));
    if (form.PageControl1->currentWidget() != form.TabSheet3 || !form.TabSheet3->FlightInHand()) {
      std::fprintf(stderr, "the flight did not open\n");
      return 1;
    }
    session.form.reset();
  }
  std::printf(
      "   tab \"Flugbuch\" with %d flights, from the click to the painted table: median %.1f ms"
      " (max %.1f) a second after the start; clicked right at the start, with the"
      " logbook opened and checked on the spot: median %.1f ms\n",
      flights, Median(shown), *std::max_element(shown.begin(), shown.end()), Median(shownAtOnce));
  std::printf(
      "   a keystroke in the search field, table filtered and painted: median %.1f ms (max %.1f)\n",
      Median(keystroke), *std::max_element(keystroke.begin(), keystroke.end()));
  std::printf("   Enter on a flight, open in \"Auswertung\": median %.1f ms (max %.1f)\n",
              Median(opened), *std::max_element(opened.begin(), opened.end()));

  // ---- keeping through the page, as the window will after a download ----
  {
    TForm1& form = ShowWindow(session);
    loggersim::SimFlight f = MakeFlight(65536, 0xFF, 0x77);
    f.dataLength = 0;
    std::vector<double> keep;
    auto fd = std::make_unique<FlightData>();
    for (int r = 0; r < 3; ++r) {
      const RawDump d = DumpOf(f, 900000 + r, 255 * 32);
      DecodeRawDump(d, *fd);
      const auto t0 = Clock::now();
      const LogbookPage::KeepResult k = form.TabSheet4->KeepDownload(d, Logger(r), *fd);
      keep.push_back(MsSince(t0, Clock::now()));
      if (!k.kept) {
        std::fprintf(stderr, "not kept: %s\n", k.error.c_str());
        return 1;
      }
    }
    std::printf(
        "   KeepDownload of 65536 full records into the logbook of %d flights (commit and the"
        " table refreshed): median %.1f ms (the first opens the logbook: %.1f ms)\n",
        flights, Median(std::vector<double>(keep.begin() + 1, keep.end())), keep[0]);
    session.form.reset();
  }

  // ---- importing saved CSV files ----
  {
    TempDir files;
    const loggersim::SimFlight f = MakeFlight(2400, 0xFF, 0x77);
    auto fd = std::make_unique<FlightData>();
    long long csvBytes = 0;
    for (int i = 0; i < 100; ++i) {
      DecodeRawDump(DumpOf(f, i + 1, 64), *fd);
      const std::string text = CsvText(*fd);
      csvBytes += static_cast<long long>(text.size());
      WriteFile(files / ("flug" + std::to_string(1000 + i) + ".csv"), text);
    }
    auto book = logbook::Logbook::Open(own / "import/flugbuch.sqlite");
    const auto t0 = Clock::now();
    const std::vector<logbook::ImportOutcome> out = book->ImportFiles({files.Path()});
    const double ms = MsSince(t0, Clock::now());
    int taken = 0;
    for (const auto& o : out) taken += o.taken;
    std::printf(
        "   importing 100 CSV files of 2400 records (%.1f MB) into an empty logbook: %.2f s,"
        " %d taken\n",
        csvBytes / 1e6, ms / 1000, taken);
    const auto t1 = Clock::now();
    const std::vector<logbook::ImportOutcome> again = book->ImportFiles({files.Path()});
    int duplicates = 0;
    for (const auto& o : again) duplicates += o.duplicate;
    std::printf("   the same 100 files again, all recognised as kept (%d): %.2f s\n", duplicates,
                MsSince(t1, Clock::now()) / 1000);
  }
  return 0;
}

}  // namespace bench
