#include "protocol/download.h"

#include <exception>
#include <optional>

#include "model/recorddecoder.h"
#include "serial/comerrors.h"
#include "serial/line.h"
#include "serial/portline.h"
#include "frontend/userio.h"

const char* const kTextSynchronised = "synchronisiert";
const char* const kTextSwitchOff = "Beenden der Datenübertragung durch Ausschalten des Loggers";
const char* const kTextBlocksRead = " Datenblöcke gelesen - Datei nun speichern";
const char* const kTextNoData = "keine Daten empfangen !!!";

namespace {

// Receive that waits out pauses shorter than the silence limit and turns a port failure
// into a silent line: after the first EComPort the port is not read again and every call
// reports silence; the error is kept for the end.
class LineReader {
 public:
  LineReader(SerialLine& line, int silenceMs) : line_(line), silenceMs_(silenceMs) {}
  void Receive() {
    if (!error_) {
      try {
        byte_ = line_.ReceiveWithin(silenceMs_);
        return;
      } catch (const EComPort&) {
        error_ = std::current_exception();
      }
    }
    // Bytes already received are still delivered before the line counts as dead.
    byte_ = line_.TakeReceived();
  }
  bool TimedOut() const { return !byte_; }
  uint8_t Byte() const { return byte_.value_or(0); }
  std::exception_ptr Error() const { return error_; }

 private:
  SerialLine& line_;
  int silenceMs_;
  std::optional<uint8_t> byte_;
  std::exception_ptr error_;
};

// Feeds header bytes until position `last` is read; false when the line fell silent
// first. A missing header byte is never read as 0: the header decides the record layout.
bool ReadHeaderThrough(LineReader& line, HeaderDecoder& header, int last) {
  while (header.Position() <= last) {
    line.Receive();
    if (line.TimedOut()) return false;
    header.Feed(line.Byte());
  }
  return true;
}

}  // namespace

void Datenlesen(TCustomComPort& port, ReceiveRing& ring, UserIO& io, DownloadView& view,
                FlightData& fd, int eepromKByte, int32_t graphStep, GraphCanvas& bitmap,
                const DownloadLimits& limits) {
  PortLine line(port, ring);
  Datenlesen(line, io, view, fd, eepromKByte, graphStep, bitmap, limits);
}

void Datenlesen(SerialLine& serial, UserIO& io, DownloadView& view, FlightData& fd, int eepromKByte,
                int32_t graphStep, GraphCanvas& bitmap, const DownloadLimits& limits) {
  if (graphStep < 1) graphStep = 1;
  // 1. The configuration controls make room for the graph.
  view.HideConfigGroups();
  // 2. The request; the ring and the queues keep what they hold.
  const uint8_t request = DownloadRequest;
  serial.Write(&request, 1);

  LineReader line(serial, limits.silenceMs);
  // 3. Skip everything up to the start marker.
  bool synced = false;
  const int64_t syncDeadline = serial.NowMs() + kSyncLimitMs;
  for (;;) {
    line.Receive();
    if (line.TimedOut()) break;
    if (line.Byte() == StartMarker) {
      synced = true;
      break;
    }
    if (serial.NowMs() > syncDeadline) break;
  }

  // A header cut short by silence ends the download as a missing start marker does.
  HeaderDecoder header;
  LiveGraph live;
  if (synced) {
    // 4.
    io.SetStatusColor(kSyncedColor);
    io.SetStatusText(1, kTextSynchronised);
    io.RepaintStatus();
    // 5. Header positions 0..10.
    synced = ReadHeaderThrough(line, header, 10);
  }
  if (synced) {
    // 6.
    io.SetStatusColor(clBtnFace);
    io.SetStatusText(1, kTextSwitchOff);
    io.RepaintStatus();
    view.ShowPaintBox();
    live.PrepareLiveGraph(bitmap);
    // On screen at once: the paint box must not show what it held before until the
    // first record comes, nor at all when none comes.
    view.ShowLiveGraph();
    // 7. Header positions 11..22.
    synced = ReadHeaderThrough(line, header, kDownloadHeaderSize - 1);
  }
  if (synced) {
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
      // Once the line is silent inside a record nothing more is read into it: a byte
      // that came late must not be taken for the next field. The rest stays zero.
      int got = 0;
      bool timedOut = false;
      while (got < layout.length) {
        line.Receive();
        if (line.TimedOut()) {
          timedOut = true;
          break;
        }
        decoder.Feed(line.Byte());
        ++got;
      }
      // The line fell silent before the record began: no record.
      if (layout.length > 0 && got == 0) break;
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
