// The window as the exchanges with the logger see it: one small adaptor per exchange,
// each showing that exchange's progress on the window's controls. The window owns them;
// the exchanges in protocol/ know only the view interfaces.
#pragma once

#include <string>

#include "app/repaintthrottle.h"
#include "protocol/configread.h"
#include "protocol/configwrite.h"
#include "protocol/bootloader.h"
#include "protocol/download.h"

class TForm1;

// The configuration read and write.
class WindowConfigView : public ConfigReadView, public ConfigWriteView {
 public:
  explicit WindowConfigView(TForm1& window) : w_(window) {}

  // ConfigReadView
  void ZeroFirstSampleRecords() override;
  void ShowStartbuttonFocused() override;
  void ShowResetButton() override;
  void SetWarteLabelVisible(bool visible) override;
  void SetEepromLabel(const std::string& text) override;
  void ShowConfigControls() override;
  void LoadControls(const LoggerConfig& config) override;
  void FinishRead() override;
  // ConfigWriteView
  void HideSchreibButton() override;
  void HideLoggerAndStartButtons() override;

 private:
  TForm1& w_;
};

// The download with its live graph.
class WindowGraphView : public DownloadView {
 public:
  explicit WindowGraphView(TForm1& window) : w_(window) {}

  void HideConfigGroups() override;
  void ShowPaintBox() override;
  // The graph is drawn off screen after every record and put on the screen throttled.
  void ShowLiveGraph() override;
  void EnableSaveButton() override;
  void HideStartAndLoggerButtons() override;
  GraphCanvas& PaintBoxCanvas() override;

  // Whether the download at hand stored records; cleared when a download starts.
  bool StoredRecords() const { return stored_; }
  void StartDownload() { stored_ = false; }

 private:
  void FlushLiveGraph();

  TForm1& w_;
  RepaintThrottle liveThrottle_;
  bool stored_ = false;
};

// The firmware update's progress bar and log.
class WindowFirmwareView : public firmware::FirmwareView {
 public:
  explicit WindowFirmwareView(TForm1& window) : w_(window) {}

  void SetProgressMax(int max) override;
  void SetProgressPosition(int position) override;
  int ProgressPosition() const override;
  void SetProgressVisible(bool visible) override;
  void ClearLog() override;
  void AddLogLine(const std::string& line) override;
  void SetLogVisible(bool visible) override;

 private:
  TForm1& w_;
  RepaintThrottle logThrottle_;
};
