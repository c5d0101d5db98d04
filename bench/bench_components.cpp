// What one record costs in each part of the download path, measured one part at a time on
// the shown window: the status repaint, the paint box's copy and repaint, the throttled
// live-graph show, the live plot on the bitmap, the record decoder and the byte reader.
#include <QApplication>
#include <cstdio>

#include "app/widgets.h"
#include "bench/bench.h"
#include "graph/graph.h"
#include "model/recorddecoder.h"

namespace bench {
namespace {

template <typename F>
double MicrosPerCall(int calls, F&& body) {
  const auto t0 = Clock::now();
  for (int i = 0; i < calls; ++i) body(i);
  return MsSince(t0, Clock::now()) * 1000.0 / calls;
}

void Line(const char* what, double us) {
  std::printf("  %-58s %9.2f us  (%8.0f per second)\n", what, us, us > 0 ? 1e6 / us : 0.0);
}

}  // namespace

int RunComponents(const Args& args) {
  const int n = static_cast<int>(args.Int("records", 30000));
  Session session;
  session.WriteIni("/dev/null");
  TForm1& form = ShowWindow(session);
  form.HideConfigGroups();
  form.PaintBox1->show();
  Pump(100);

  QtUserIO& io = form.UserIo();
  Line("status bar: panel 0 text + immediate repaint (per record)", MicrosPerCall(3000, [&](int i) {
         io.SetStatusText(0, std::to_string(i));
         io.RepaintStatus();
       }));
  Line("status bar: panel 0 text only",
       MicrosPerCall(30000, [&](int i) { io.SetStatusText(0, std::to_string(i)); }));
  Line("paint box: bitmap copy + immediate repaint (one live show)", MicrosPerCall(500, [&](int) {
         form.PaintBox1->Surface() = form.GraphBitmap().Image().copy();
         form.PaintBox1->RepaintNow();
       }));
  Line("window: ShowLiveGraph as called per record (16 ms throttle)",
       MicrosPerCall(n, [&](int) { form.GraphView().ShowLiveGraph(); }));

  // The live plot over a decoded flight, and the decoder itself.
  for (const auto& [f1, f2] : {std::pair<uint8_t, uint8_t>{0x01, 0x00}, {0xFF, 0x77}}) {
    const loggersim::SimFlight flight = MakeFlight(n, f1, f2);
    std::vector<uint8_t> bytes;
    for (const auto& r : flight.records) {
      const auto p = loggersim::PackRecord(r, f1, f2);
      bytes.insert(bytes.end(), p.begin(), p.end());
    }
    const RecordLayout layout(f1, f2);
    RecordDecoder decoder(layout);
    size_t pos = 0;
    char what[96];
    std::snprintf(what, sizeof what, "record decoder, %d-byte records", layout.length);
    Line(what, MicrosPerCall(n, [&](int i) {
           decoder.Begin(form.Flight.SampleTable[i]);
           for (int k = 0; k < layout.length; ++k) decoder.Feed(bytes[pos++]);
         }));
    LiveGraph live;
    live.PrepareLiveGraph(form.GraphBitmap());
    form.Flight.LastSampleIndex = n - 1;
    form.Flight.RecordFlags1 = f1;  // the plot follows the download header's flags
    form.Flight.RecordFlags2 = f2;
    form.Flight.SampleRateCode = flight.sampleRateCode;
    std::snprintf(what, sizeof what, "live plot on the bitmap, %d-byte records", layout.length);
    Line(what, MicrosPerCall(
                   n, [&](int i) { live.PlotLivePoint(form.GraphBitmap(), form.Flight, i, 1); }));
  }

  // The byte reader over bytes already in the ring (no port read).
  std::vector<uint8_t> chunk(60000, 0x5A);
  form.Ring.RxHead = form.Ring.RxTail = 0;
  form.Ring.Append(chunk.data(), static_cast<int32_t>(chunk.size()));
  Line("byte reader Empfang, byte already in the ring",
       MicrosPerCall(60000, [&](int) { form.Ring.Empfang(); }));
  return 0;
}

}  // namespace bench
