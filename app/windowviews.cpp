#include "app/windowviews.h"

#include "app/flugdaten.h"
#include "frontend/configcontrols.h"

// ---- the configuration ----

void WindowConfigView::PortOpened() { w_.Flight.ZeroFirstRecords(); }

void WindowConfigView::Connected() {
  w_.Startbutton->show();
  w_.Startbutton->setFocus();
}

void WindowConfigView::LineReady() { w_.ResetButton1->show(); }

void WindowConfigView::DeleteWait(bool waiting) {
  w_.WarteLabel->setVisible(waiting);
  if (waiting) w_.WarteLabel->repaint();
}

void WindowConfigView::ConfigAcknowledged(const LoggerConfig&) {
  w_.LoggerButton->show();
  w_.LoggerButton->setFocus();
  w_.GroupBox1->show();
  w_.RadioGroup1->show();
  w_.LRadioGroup->show();
  w_.LRadioGroup->SetItemIndex(0);
  w_.NummernGroupBox->show();
  w_.DRadioGroup->show();
  w_.PaintBox1->hide();
}

void WindowConfigView::ConfigRead(const LoggerConfig& config) {
  LoadControls(config);
  w_.SchreibButton1->hide();
  w_.Startbutton->setEnabled(false);
}

void WindowConfigView::LoadControls(const LoggerConfig& config) {
  // One control at a time in this order, so that every change handler runs as after a
  // user's change: a handler's changes to other controls (the rate moved off "0,02 s",
  // the internal temperature unticked by the sensor) stay as the handlers leave them.
  const ConfigControls c = ControlsFromConfig(config);
  const auto record = w_.RecordBoxes();
  const auto tele = w_.TeleBoxes();
  for (int i = 0; i < chCount; ++i) record[i]->setChecked(c.record[i]);
  if (c.record[chTele])
    w_.TeleOn();
  else
    w_.TeleOff();
  // Each threshold the code passes raises the selection by one item.
  for (int item = 0; item <= c.rateItem; ++item) w_.RadioGroup1->SetItemIndex(item);
  w_.SetFittedText(w_.Label1, QString::fromStdString(DataCountText(config.DataCount)));
  for (int i = 0; i < chCount; ++i) tele[i]->setChecked(c.tele[i]);
  w_.OffsetMaskEdit->setText(QString::fromStdString(c.offsetText));
  w_.SnMaskEdit->setText(QString::fromStdString(c.serialText));
  w_.DRadioGroup->SetItemIndex(c.sensorItem);
  w_.SetFittedText(w_.FNLabel, QString::fromStdString(FlightNumberText(config.FlightNumber())));
}

void WindowConfigView::ConfigBytesTaken(const LoggerConfig& config) {
  w_.SetFittedText(w_.EEPROMLabel, QString::fromStdString(EepromText(config.EepromKByte)));
}

void WindowConfigView::WriteSent() { w_.SchreibButton1->hide(); }

void WindowConfigView::WriteEnded() {
  w_.LoggerButton->hide();
  w_.Startbutton->hide();
}

// ---- the download and the graph ----

void WindowGraphView::StartDownload(int32_t graphStep) {
  stored_ = false;
  graphStep_ = graphStep < 1 ? 1 : graphStep;
  live_ = LiveGraph();
}

void WindowGraphView::DownloadRequested() { w_.HideConfigGroups(); }

void WindowGraphView::HeaderBegun() {
  w_.PaintBox1->show();
  live_.PrepareLiveGraph(w_.GraphBitmap());
  // On screen at once: the paint box must not show what it held before until the
  // first record comes, nor at all when none comes.
  ShowLiveGraph();
}

void WindowGraphView::RecordDecoded(const FlightData& fd, int32_t index) {
  if (index % graphStep_ == 0) live_.PlotLivePoint(w_.GraphBitmap(), fd, index, graphStep_);
  ShowLiveGraph();
}

void WindowGraphView::RecordsSoFar(int32_t count) {
  io_.SetStatusText(0, std::to_string(count));
  io_.RepaintStatus();
}

// The live graph is copied to the paint box after every record, but put on the screen
// only when the throttle lets it: faster repaints cannot be seen, and at high line rates
// they would make the screen, not the line, the limit of the download.
void WindowGraphView::ShowLiveGraph() {
  if (liveThrottle_.Due()) FlushLiveGraph();
}

void WindowGraphView::FlushLiveGraph() {
  liveThrottle_.Painted();
  w_.PaintBox1->Surface() = w_.GraphBitmap().Image().copy();
  w_.PaintBox1->RepaintNow();
}

void WindowGraphView::RecordsStored(const FlightData&) {
  w_.SaveButton->setEnabled(true);
  stored_ = true;
}

void WindowGraphView::HideStartAndLoggerButtons() {
  if (liveThrottle_.Pending()) FlushLiveGraph();
  w_.Startbutton->hide();
  w_.LoggerButton->hide();
}

void WindowGraphView::ShowFinalGraph(const FlightData& fd) {
  w_.PaintBox1->show();
  if (liveThrottle_.Pending()) FlushLiveGraph();
  DrawFinalGraph(w_.PaintBoxImageCanvas(), fd, w_.GraphBitmap().Width(), w_.GraphBitmap().Height());
}

// ---- the firmware update ----

void WindowFirmwareView::UpdateStarted(int lineCount) {
  w_.ProgressBar1->setMaximum(lineCount);
  w_.ProgressBar1->setValue(0);
  w_.ProgressBar1->setVisible(true);
  w_.ProgressBar1->repaint();
  w_.Memo1->clear();
  w_.Memo1->setVisible(true);
}

// Each line of the log is shown as it comes, painted when the throttle lets it; a box
// that follows shows the last lines, since its event loop paints what is pending.
void WindowFirmwareView::LogLine(const std::string& line) {
  w_.Memo1->appendPlainText(QString::fromStdString(line));
  if (!logThrottle_.Due()) {
    w_.Memo1->update();
    return;
  }
  w_.Memo1->repaint();
  w_.ProgressBar1->repaint();
}

void WindowFirmwareView::HexLineSending(int, const std::string& line) {
  LogLine(line);
  w_.ProgressBar1->setValue(w_.ProgressBar1->value() + 1);
}

void WindowFirmwareView::HideProgress() {
  w_.ProgressBar1->setVisible(false);
  w_.Memo1->setVisible(false);
}
