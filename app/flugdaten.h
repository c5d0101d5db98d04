// The main window TForm1: the handlers of every control, start-up and reset. The
// controls themselves are laid out by TForm1Base; the exchanges with the logger live in
// protocol/ and reach the window through the view adaptors of
// windowviews.h, which the window owns.
#pragma once

#include <memory>
#include <string>

#include "app/form1base.h"
#include "app/imagecanvas.h"
#include "app/qtuserio.h"
#include "app/windowviews.h"
#include "protocol/configread.h"
#include "protocol/configwrite.h"
#include "frontend/configcontrols.h"
#include "model/loggerconfig.h"
#include "protocol/bootloader.h"
#include "protocol/download.h"
#include "graph/graph.h"
#include "model/sampletable.h"
#include "serial/comport.h"
#include "serial/rxring.h"

class QPrinter;

class TForm1 : public TForm1Base {
  Q_OBJECT

 public:
  // The window paints its status bar and shows its boxes and dialogs through io.
  explicit TForm1(QtUserIO& io);
  ~TForm1() override;  // FormDestroy

  // Start-up and reset.
  void FormCreate();
  void FormInit();
  void Bremse();

  // Tool bar and pages.
  void TabSheet1Show();
  void TabSheet2Show();
  void TabSheet3Show();
  void TabSheet4Show();
  void ResetButton1Click();
  void SetupButtonClick();
  void ToolButton1Click();
  void ToolButton3Click();
  void ExitButtonClick();

  // The exchanges with the logger.
  void StartbuttonClick();
  void LoggerButtonClick();
  void Datenlesen();
  void SchreibButton1Click();
  void SaveButtonClick();
  void Button1Click();
  void Empfang() { Ring.Empfang(); }

  // Editing the configuration.
  void CheckBoxClick();
  void GpsCheckBoxClick();
  void TeleCheckBoxClick();
  void RadioGroup1Click();
  void DRadioGroupClick();
  void LRadioGroupClick();
  void SnMaskEditChange();
  void OffsetMaskEditChange();
  void TeleOn();
  void TeleOff();
  void Loggerzeit();

  // The graph cursor.
  void Image1MouseDown(Qt::MouseButton button, int x, int y);

  // Program-wide state of the window's module.
  TComPort ComPort1;
  ReceiveRing Ring;
  LoggerConfig Config;
  ConfigFlags Flags;
  FlightData& Flight;
  GraphMarkers Markers;
  int GraphStep = 1;
  std::string ExportFileName;
  QtUserIO& UserIo() { return io_; }
  ImageCanvas& GraphBitmap() { return *graphBitmap_; }
  ImageCanvas& PaintBoxImageCanvas() { return *paintBoxCanvas_; }

  // The state of the configuration controls, as the write packs it.
  ConfigControls ControlsState() const;

  // The window as each exchange sees it.
  WindowConfigView& ConfigView() { return configView_; }
  WindowGraphView& GraphView() { return graphView_; }
  WindowFirmwareView& FirmwareView() { return firmwareView_; }

  // Hides the configuration groups, as at start-up and when a download begins.
  void HideConfigGroups();
  // Sets a run-time text of the labels at the left edge; where the desktop's font is
  // wider than the designed one, a text that would run under the controls beside it
  // gets a smaller font of its own, in half points down to 6 points.
  static void SetFittedText(QLabel* label, const QString& text);

 protected:
  void closeEvent(QCloseEvent* event) override;  // FormClose
  // Digits typed into a full number field shift in from the right (see NumberFieldKey).
  bool eventFilter(QObject* watched, QEvent* event) override;
  void showEvent(QShowEvent* event) override;

 private:
  // Runs a handler; an exception that leaves it is shown in the error box.
  template <typename F>
  void Run(F&& handler);
  void ConnectHandlers();
  void ShowZeitLabelText(const std::string& text);
  void TakeDownloadCopy();
  // Button1Click from the file dialog to the last box.
  void RunFirmwareUpdate();
  void NumberFieldRule(MaskEdit3* edit, bool offset);
  bool NumberFieldKey(MaskEdit3* edit, QKeyEvent* key);

  QtUserIO& io_;
  // One printer for the program's life: the print dialog shows the printer, copies and
  // orientation chosen last time.
  std::unique_ptr<QPrinter> printer_;
  std::unique_ptr<ImageCanvas> graphBitmap_;
  std::unique_ptr<ImageCanvas> paintBoxCanvas_;
  WindowConfigView configView_{*this, io_};
  WindowGraphView graphView_{*this, io_};
  WindowFirmwareView firmwareView_{*this, io_};
  bool firstShow_ = true;
  bool created_ = false;
};
