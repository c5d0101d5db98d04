// The data download ("Daten einlesen"): request 0x53, skip to the start marker, read the
// 23-byte header, decode the records into the sample table while the live graph runs,
// then complete the degree fields, enable the export and draw the final graph. Runs to
// the end inside the click handler; every read is bounded by the line's silence limit.
#pragma once

#include <cstdint>
#include <string>

#include "graph/graph.h"
#include "model/sampletable.h"
#include "serial/line.h"

class TCustomComPort;
class ReceiveRing;
class SerialLine;
class UserIO;

// The controls the download shows, hides and draws on; TForm1 implements it.
class DownloadView {
 public:
  virtual ~DownloadView() = default;
  // GroupBox1, GroupBox2, RadioGroup1, LRadioGroup, NummernGroupBox, DRadioGroup.
  virtual void HideConfigGroups() = 0;
  virtual void ShowPaintBox() = 0;
  // Copies the graph bitmap to the paint box at (0, 0) and repaints it at once.
  virtual void ShowLiveGraph() = 0;
  virtual void EnableSaveButton() = 0;
  // Startbutton and LoggerButton.
  virtual void HideStartAndLoggerButtons() = 0;
  // The paint box's own drawing surface, for the final graph.
  virtual GraphCanvas& PaintBoxCanvas() = 0;
};

constexpr uint32_t kSyncedColor = 11730092;
extern const char* const kTextSynchronised;  // "synchronisiert"
extern const char* const kTextSwitchOff;     // "Beenden der Datenübertragung ..."
extern const char* const kTextBlocksRead;    // " Datenblöcke gelesen - Datei nun speichern"
extern const char* const kTextNoData;        // "keine Daten empfangen !!!"

// How long the start marker may be awaited while bytes keep coming (a real logger sends
// a handful of 0x55 first); a line that babbles on is given up like a silent one.
constexpr int kSyncLimitMs = 5000;

// Bounds of the download's waits; tests and fuzz targets pass their own.
struct DownloadLimits {
  // The line counts as silent (the logger switched off) only after this long without a
  // byte, while waiting for the start marker, in the header and in the records.
  int silenceMs = kLineSilenceMs;
};

// One download. The outcome lands in fd (table, indexes, summary). A record of which no
// byte came is not a record: the normal end (logger switched off at a record boundary)
// adds nothing, and a download that got no record leaves LastSampleIndex at -1. A record
// in which the line fell silent keeps zeros in its remaining fields and is the last one;
// a header cut short by silence ends the download as a missing start marker does. When
// the port fails on the way (device gone), the download ends as on a silent line with
// what it has, and then the port's error is thrown on to the caller.
void Datenlesen(SerialLine& line, UserIO& io, DownloadView& view, FlightData& fd, int eepromKByte,
                int32_t graphStep, GraphCanvas& bitmap,
                const DownloadLimits& limits = DownloadLimits());
// The same over the window's port and its receive ring.
void Datenlesen(TCustomComPort& port, ReceiveRing& ring, UserIO& io, DownloadView& view,
                FlightData& fd, int eepromKByte, int32_t graphStep, GraphCanvas& bitmap,
                const DownloadLimits& limits = DownloadLimits());
