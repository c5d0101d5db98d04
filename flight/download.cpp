#include "flight/download.h"

#include <chrono>
#include <exception>

#include "flight/recorddecoder.h"
#include "serial/comport.h"
#include "serial/rxring.h"
#include "serial/userio.h"

const char* const kTextSynchronised = "synchronisiert";
const char* const kTextSwitchOff = "Beenden der Datenübertragung durch Ausschalten des Loggers";
const char* const kTextBlocksRead = " Datenblöcke gelesen - Datei nun speichern";
const char* const kTextNoData = "keine Daten empfangen !!!";

namespace {

// Empfang that turns a port failure into a silent line: after the first EComPort the
// port is not read again and every call reports a time-out; the error is kept for the end.
class LineReader {
 public:
  explicit LineReader(ReceiveRing& ring) : ring_(ring) {}
  void Empfang() {
    if (!error_) {
      try {
        ring_.Empfang();
        return;
      } catch (const EComPort&) {
        error_ = std::current_exception();
      }
    }
    // Bytes already in the ring are still delivered before the line counts as dead.
    if (ring_.RxTail != ring_.RxHead) {
      ring_.Empfang();  // takes from the ring, does not touch the port
      return;
    }
    ring_.RxByte = 0;
    ring_.RxTimedOut = true;
  }
  bool TimedOut() const { return ring_.RxTimedOut; }
  uint8_t Byte() const { return ring_.RxByte; }
  std::exception_ptr Error() const { return error_; }

 private:
  ReceiveRing& ring_;
  std::exception_ptr error_;
};

}  // namespace

void Datenlesen(TCustomComPort& port, ReceiveRing& ring, UserIO& io, DownloadView& view,
                FlightData& fd, int eepromKByte, int32_t graphStep, GraphCanvas& bitmap) {
  if (graphStep < 1) graphStep = 1;
  // 1. The configuration controls make room for the graph.
  view.HideConfigGroups();
  // 2. The request; the ring and the queues keep what they hold.
  const uint8_t request = DownloadRequest;
  port.Write(&request, 1);

  LineReader line(ring);
  // 3. Skip everything up to the start marker.
  bool synced = false;
  const auto syncDeadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kSyncLimitMs);
  for (;;) {
    line.Empfang();
    if (line.TimedOut()) break;
    if (line.Byte() == StartMarker) {
      synced = true;
      break;
    }
    if (std::chrono::steady_clock::now() > syncDeadline) break;
  }

  if (synced) {
    // 4.
    io.SetStatusColor(kSyncedColor);
    io.SetStatusText(1, kTextSynchronised);
    io.RepaintStatus();
    // 5. Header positions 0..10.
    HeaderDecoder header;
    while (header.Position() <= 10) {
      line.Empfang();
      header.Feed(line.Byte());
    }
    // 6.
    io.SetStatusColor(clBtnFace);
    io.SetStatusText(1, kTextSwitchOff);
    io.RepaintStatus();
    view.ShowPaintBox();
    LiveGraph live;
    live.PrepareLiveGraph(bitmap);
    // On screen at once: the paint box must not show what it held before until the
    // first record comes, nor at all when none comes.
    view.ShowLiveGraph();
    // 7. Header positions 11..22.
    while (!header.Complete()) {
      line.Empfang();
      header.Feed(line.Byte());
    }
    const DownloadHeader& h = header.Header();
    h.StoreSummary(fd);

    // 8. The records.
    const RecordLayout layout(h.RecordFlags1, h.RecordFlags2);
    RecordDecoder decoder(layout);
    int32_t budget = h.ByteBudget(eepromKByte);
    int32_t n = 0;
    SampleRecord incoming;
    for (;;) {
      decoder.Begin(incoming);
      bool anyByte = false;
      bool timedOut = false;
      for (int i = 0; i < layout.length; ++i) {
        line.Empfang();
        timedOut = line.TimedOut();
        anyByte = anyByte || !timedOut;
        decoder.Feed(line.Byte());  // 0 after a time-out: the field stays zero
      }
      // The line fell silent before the record began: no record.
      if (layout.length > 0 && !anyByte) break;
      fd.SampleTable[n] = incoming;
      if (n % graphStep == 0) live.PlotLivePoint(bitmap, fd, n, graphStep);
      view.ShowLiveGraph();
      budget -= layout.length;
      ++n;
      io.SetStatusText(0, std::to_string(n));
      io.RepaintStatus();
      if (n == kSampleTableSize || timedOut || budget <= 0) break;
    }
    // 9., 10.
    fd.LastSampleIndex = n - 1;
    io.SetStatusColor(kSyncedColor);
    io.SetStatusText(1, std::to_string(fd.LastSampleIndex) + kTextBlocksRead);
    io.RepaintStatus();
    fd.ExportFirstIndex = 0;
    fd.ExportLastIndex = fd.LastSampleIndex;
    fd.GradFilter();
    view.EnableSaveButton();
  }
  // 11.
  view.HideStartAndLoggerButtons();
  // 12.
  if (fd.LastSampleIndex < 5) {
    // A failed port speaks for itself below; the box is for a flight that brought nothing.
    if (!line.Error()) io.ShowMessage(BoxKind::Information, kTextNoData);
  } else {
    view.ShowPaintBox();
    GraphCanvas& box = view.PaintBoxCanvas();
    DrawFinalGraph(box, fd, bitmap.Width(), bitmap.Height());
  }
  if (line.Error()) std::rethrow_exception(line.Error());
}
