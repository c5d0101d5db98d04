// Download throughput of the whole download path, in-process on the real window, against
// the simulated logger. Variants take parts of the path away so that the cost of each
// shows as a difference of rates in the same run:
//   window     LoggerButtonClick as the user clicks it (decoder, live graph, status repaint)
//   throttled  the same download with the status bar repainted at most every 16 ms while
//              only the record count (panel 0) changed
//   nostatus   the same download without the per-record status repaint
//   headless   the download code with no window at all (port, decoder, live bitmap)
#include <QApplication>
#include <QEvent>
#include <algorithm>
#include <cstdio>

#include "app/widgets.h"
#include "bench/bench.h"
#include "tests/support/recordinguserio.h"
#include "protocol/download.h"
#include "tools/sim/expected.h"

namespace bench {
namespace {

// Forwards to the window's UserIO; stamps the moment the result text is set, and
// repaints the status bar per the chosen policy.
class TimedIO : public UserIO {
 public:
  enum class Repaint { Always, Throttled, Never };
  TimedIO(UserIO& inner, Repaint policy) : inner_(inner), policy_(policy) {}
  void SetStatusColor(uint32_t c) override { inner_.SetStatusColor(c); }
  void SetStatusText(int panel, const std::string& text) override {
    if (panel == 1) panelOneChanged_ = true;
    if (panel == 1 && text.find(kTextBlocksRead) != std::string::npos && !resultSeen) {
      resultSeen = true;
      resultAt = Clock::now();
    }
    inner_.SetStatusText(panel, text);
  }
  std::string StatusText(int panel) const override { return inner_.StatusText(panel); }
  void RepaintStatus() override {
    if (policy_ == Repaint::Never) return;
    const auto now = Clock::now();
    if (policy_ == Repaint::Throttled && !panelOneChanged_ &&
        now - lastRepaint_ < std::chrono::milliseconds(16))
      return;
    lastRepaint_ = now;
    panelOneChanged_ = false;
    ++repaints;
    inner_.RepaintStatus();
  }
  void RepaintWindow() override { inner_.RepaintWindow(); }
  void ShowMessage(BoxKind k, const std::string& t) override { inner_.ShowMessage(k, t); }
  bool Confirm(const std::string& t) override { return inner_.Confirm(t); }
  std::optional<std::string> OpenFileName(const std::string& f, const std::string& n) override {
    return inner_.OpenFileName(f, n);
  }
  std::optional<std::string> SaveFileName(const std::string& f, const std::string& n) override {
    return inner_.SaveFileName(f, n);
  }
  void Beep() override { inner_.Beep(); }
  void SleepMs(int ms) override { inner_.SleepMs(ms); }

  bool resultSeen = false;
  Clock::time_point resultAt{};
  long repaints = 0;

 private:
  UserIO& inner_;
  Repaint policy_;
  bool panelOneChanged_ = true;
  Clock::time_point lastRepaint_{};
};

// No window: the status goes to the user given, the live graph is drawn off screen only.
class NullView : public StatusOnUserIO<DownloadObserver> {
 public:
  NullView(UserIO& io, GraphCanvas& bitmap, int32_t graphStep)
      : StatusOnUserIO(io), bitmap_(bitmap), step_(graphStep < 1 ? 1 : graphStep) {}
  void HeaderBegun() override { live_.PrepareLiveGraph(bitmap_); }
  void RecordDecoded(const FlightData& fd, int32_t index) override {
    if (index % step_ == 0) live_.PlotLivePoint(bitmap_, fd, index, step_);
  }
  void RecordsSoFar(int32_t count) override {
    io_.SetStatusText(0, std::to_string(count));
    io_.RepaintStatus();
  }

 private:
  GraphCanvas& bitmap_;
  int32_t step_;
  LiveGraph live_;
};

// The first repaint of the status bar that shows the result text, and every repaint.
class ResultWatcher : public StatusWatcher {
 public:
  explicit ResultWatcher(StatusBar* bar) : StatusWatcher(bar) {
    onPaint = [this, bar] {
      if (!seen && bar->PanelText(1).contains(QString::fromUtf8(kTextBlocksRead))) {
        seen = true;
        at = Clock::now();
      }
    };
  }
  bool seen = false;
  Clock::time_point at{};
};

int CountOverflowBoxes(const UiTestAnswers& ui) {
  int n = 0;
  for (const auto& b : ui.boxes)
    if (b.text.find("bergelaufen") != std::string::npos) ++n;
  return n;
}

// True when the table holds exactly the flight: every record, every byte.
bool TableIsTheFlight(const FlightData& fd, const std::vector<loggersim::TableBytes>& want) {
  if (fd.LastSampleIndex + 1 != static_cast<int32_t>(want.size())) return false;
  for (size_t i = 0; i < want.size(); ++i)
    if (!std::equal(want[i].begin(), want[i].end(), fd.SampleTable[i].b)) return false;
  return true;
}

}  // namespace

int RunDownload(const Args& args) {
  // --sample: the built-in sample flight instead of a made-up one.
  const bool sample = args.Has("sample");
  const uint8_t flags1 = static_cast<uint8_t>(args.Int("flags1", 0x01));
  const uint8_t flags2 = static_cast<uint8_t>(args.Int("flags2", 0x00));
  const loggersim::SimFlight flight =
      sample ? loggersim::SampleFlight()
             : MakeFlight(static_cast<int>(args.Int("records", 30000)), flags1, flags2);
  const int records = static_cast<int>(flight.records.size());
  const std::vector<loggersim::TableBytes> wantTable = loggersim::ExpectedTable(flight);
  const std::string variant = args.Str("variant", "window");
  const int reps = static_cast<int>(args.Int("reps", 3));
  const int baud = static_cast<int>(args.Int("baud", 0));
  const long queue = args.Int("queue", -1);
  const std::string externalPort = args.Str("port");
  const std::string label = args.Str("label", variant);

  Session session;
  const int recordBytes = flight.RecordSize();
  if (externalPort.empty()) {
    loggersim::SimOptions o;
    o.baud = baud;
    o.powerOnDelayMs = 30;
    o.reannounceDelayMs = 100;
    o.faults.downloadDelayMs = 0;
    session.StartSim(o, flight);
  } else {
    session.WriteIni(externalPort);
  }

  TForm1& form = ShowWindow(session);
  if (queue >= 0) form.ComPort1.Buffer().SetInputSize(static_cast<int32_t>(queue));
  // The configuration read is not part of the figure: it comes first.
  if (!ReadConfiguration(session)) {
    std::printf("download %s: the configuration read failed: %s\n", label.c_str(),
                form.StatusBar1->PanelText(1).toStdString().c_str());
    return 1;
  }
  Pump(50);

  std::vector<double> msToResult, msToReturn;
  long got = 0;
  long statusRepaints = 0;
  int overflowBoxes = 0;
  bool allComplete = true;
  int exact = 0;
  for (int rep = 0; rep < reps; ++rep) {
    // The logger is off after a download: on again, and its announce taken by a read.
    if (rep > 0 && !ReadConfiguration(session)) {
      std::printf("download %s: the configuration read before rep %d failed\n", label.c_str(),
                  rep + 1);
      return 1;
    }
    session.ui.boxes.clear();
    form.Flight.LastSampleIndex = -1;
    Clock::time_point t0, tResult, tEnd;
    bool seen = false;
    if (variant == "window") {
      ResultWatcher w(form.StatusBar1);
      t0 = Clock::now();
      form.LoggerButtonClick();  // the handler the button's click runs
      tEnd = Clock::now();
      seen = w.seen;
      tResult = w.at;
      statusRepaints = w.paints;
    } else if (variant == "headless") {
      RecordingUserIO quiet;  // no window: status texts are kept, nothing is shown
      TimedIO io(quiet, TimedIO::Repaint::Never);
      NullView view(io, form.GraphBitmap(), form.GraphStep);
      t0 = Clock::now();
      ::Datenlesen(form.ComPort1, form.Ring, view, form.Flight, form.Config.EepromKByte);
      tEnd = Clock::now();
      seen = io.resultSeen;
      tResult = io.resultAt;
      statusRepaints = 0;
    } else {
      TimedIO io(form.UserIo(),
                 variant == "nostatus" ? TimedIO::Repaint::Never : TimedIO::Repaint::Throttled);
      // The window's own adaptor, its status through the timing wrapper.
      WindowGraphView view(form, io);
      view.StartDownload(form.GraphStep);
      t0 = Clock::now();
      ::Datenlesen(form.ComPort1, form.Ring, view, form.Flight, form.Config.EepromKByte);
      view.HideStartAndLoggerButtons();
      tEnd = Clock::now();
      seen = io.resultSeen;
      tResult = io.resultAt;
      statusRepaints = io.repaints;
    }
    Pump(20);
    overflowBoxes = CountOverflowBoxes(session.ui);
    got = form.Flight.LastSampleIndex + 1;
    if (TableIsTheFlight(form.Flight, wantTable)) ++exact;
    if (!seen || got != records) {
      allComplete = false;
      std::printf("  %-10s rep %d: %ld of %d records, result text %s, %d overflow boxes\n",
                  label.c_str(), rep + 1, got, records, seen ? "shown" : "not shown",
                  CountOverflowBoxes(session.ui));
    }
    if (seen) msToResult.push_back(MsSince(t0, tResult));
    msToReturn.push_back(MsSince(t0, tEnd));
  }

  const double ms = Median(msToResult);
  const double rate = ms > 0 ? got / (ms / 1000.0) : 0;
  std::printf(
      "  %-10s %2d B x %5ld rec  %8.1f ms  %8.0f rec/s  %5.1f us/rec  "
      "ratio 38400: %6.2f  115200: %5.2f  256000: %5.2f  (click to return %.0f ms, "
      "%ld status repaints, %d overflow boxes%s)\n",
      label.c_str(), recordBytes, got, ms, rate, ms > 0 ? ms * 1000.0 / got : 0.0,
      rate / LineRecordsPerSecond(38400, recordBytes),
      rate / LineRecordsPerSecond(115200, recordBytes),
      rate / LineRecordsPerSecond(256000, recordBytes), Median(msToReturn), statusRepaints,
      overflowBoxes, allComplete ? "" : ", INCOMPLETE");
  if (sample)
    std::printf("  %-10s %d of %d downloads exact (table equal to the flight)\n", label.c_str(),
                exact, reps);
  std::printf(
      "DATA download label=%s bytes=%d records=%ld ms=%.2f rate=%.1f complete=%d exact=%d "
      "reps=%d\n",
      label.c_str(), recordBytes, got, ms, rate, allComplete ? 1 : 0, exact, reps);
  return allComplete ? 0 : 1;
}

int WriteFlightFile(const Args& args) {
  const loggersim::SimFlight flight = MakeFlight(static_cast<int>(args.Int("records", 30000)),
                                                 static_cast<uint8_t>(args.Int("flags1", 1)),
                                                 static_cast<uint8_t>(args.Int("flags2", 0)));
  loggersim::SaveFlight(flight, args.Str("out", "flight.txt"));
  return 0;
}

}  // namespace bench
