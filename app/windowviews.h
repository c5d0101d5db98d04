// The window as the exchanges with the logger see it: one small adaptor per exchange,
// each turning that exchange's events into changes of the window's controls, in the
// order the events come; the status goes to the window's status bar. The window owns
// them; the exchanges in protocol/ know only their observer interfaces.
#pragma once

#include <string>

#include "app/repaintthrottle.h"
#include "frontend/firmwareflow.h"
#include "frontend/userio.h"
#include "graph/graph.h"
#include "protocol/bootloader.h"
#include "protocol/configread.h"
#include "protocol/configwrite.h"
#include "protocol/download.h"

class TForm1;

// The configuration read and write.
class WindowConfigView : public StatusOnUserIO<ConfigObserver> {
 public:
  WindowConfigView(TForm1& window, UserIO& io) : StatusOnUserIO(io), w_(window) {}

  void PortOpened() override;              // the first records of the table are zeroed
  void Connected() override;               // Startbutton shown and focused
  void LineReady() override;               // ResetButton1
  void DeleteWait(bool waiting) override;  // WarteLabel
  void ConfigBytesTaken(const LoggerConfig& config) override;  // EEPROMLabel
  // LoggerButton shown and focused; the configuration groups shown (delete item 0); the
  // paint box hidden.
  void ConfigAcknowledged(const LoggerConfig& config) override;
  // The controls loaded from the block, then SchreibButton1 hidden and Startbutton off.
  void ConfigRead(const LoggerConfig& config) override;
  void WriteSent() override;   // SchreibButton1
  void WriteEnded() override;  // LoggerButton and Startbutton

 private:
  void LoadControls(const LoggerConfig& config);
  TForm1& w_;
};

// The download with its live graph.
class WindowGraphView : public StatusOnUserIO<DownloadObserver> {
 public:
  WindowGraphView(TForm1& window, UserIO& io) : StatusOnUserIO(io), w_(window) {}

  // A download begins; every graphStep-th record is plotted.
  void StartDownload(int32_t graphStep);
  void DownloadRequested() override;  // the configuration groups hidden
  void HeaderBegun() override;        // the paint box shown with the prepared live graph
  void RecordDecoded(const FlightData& fd, int32_t index) override;
  void RecordsSoFar(int32_t count) override;          // panel 0
  void RecordsStored(const FlightData& fd) override;  // SaveButton enabled
  // After the download: Startbutton and LoggerButton hidden.
  void HideStartAndLoggerButtons();
  // After a download with records: the final graph on the paint box.
  void ShowFinalGraph(const FlightData& fd);

  // Whether the download at hand stored records.
  bool StoredRecords() const { return stored_; }
  // The graph is drawn off screen after every record and put on the screen throttled.
  void ShowLiveGraph();

 private:
  void FlushLiveGraph();

  TForm1& w_;
  RepaintThrottle liveThrottle_;
  LiveGraph live_;
  int32_t graphStep_ = 1;
  bool stored_ = false;
};

// The firmware update's question, progress bar and log.
class WindowFirmwareView : public FirmwareFrontEnd {
 public:
  WindowFirmwareView(TForm1& window, UserIO& io) : FirmwareFrontEnd(io), w_(window) {}

  void UpdateStarted(int lineCount) override;  // ProgressBar1 and Memo1 shown, empty
  void LogLine(const std::string& line) override;
  void HexLineSending(int number, const std::string& line) override;
  void HideProgress() override;  // ProgressBar1 and Memo1

 private:
  TForm1& w_;
  RepaintThrottle logThrottle_;
};
