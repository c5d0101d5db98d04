#include "app/windowviews.h"

#include "app/flugdaten.h"

// ---- the configuration ----

void WindowConfigView::ZeroFirstSampleRecords() { w_.Flight.ZeroFirstRecords(); }

void WindowConfigView::ShowStartbuttonFocused() {
  w_.Startbutton->show();
  w_.Startbutton->setFocus();
}

void WindowConfigView::ShowResetButton() { w_.ResetButton1->show(); }

void WindowConfigView::SetWarteLabelVisible(bool visible) {
  w_.WarteLabel->setVisible(visible);
  if (visible) w_.WarteLabel->repaint();
}

void WindowConfigView::ShowConfigControls() {
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

void WindowConfigView::LoadControls(const LoggerConfig& config) {
  // One control at a time in this order, so that every change handler runs as after a
  // user's change: a handler's changes to other controls (the rate moved off "0,02 s",
  // the internal temperature unticked by the sensor) stay as the handlers leave them.
  const ConfigControls c = ControlsFromConfig(config);
  const auto record = w_.RecordBoxes();
  const auto tele = w_.TeleBoxes();
  for (int i = 0; i < cbCount; ++i) record[i]->setChecked(c.record[i]);
  if (c.record[cbTele])
    w_.TeleOn();
  else
    w_.TeleOff();
  // Each threshold the code passes raises the selection by one item.
  for (int item = 0; item <= c.rateItem; ++item) w_.RadioGroup1->SetItemIndex(item);
  w_.SetFittedText(w_.Label1, QString::fromStdString(DataCountText(config.DataCount)));
  for (int i = 0; i < cbCount; ++i) tele[i]->setChecked(c.tele[i]);
  w_.OffsetMaskEdit->setText(QString::fromStdString(c.offsetText));
  w_.SnMaskEdit->setText(QString::fromStdString(c.serialText));
  w_.DRadioGroup->SetItemIndex(c.sensorItem);
  w_.SetFittedText(w_.FNLabel, QString::fromStdString(FlightNumberText(config.FlightNumber())));
}

void WindowConfigView::SetEepromLabel(const std::string& text) {
  w_.SetFittedText(w_.EEPROMLabel, QString::fromStdString(text));
}

void WindowConfigView::FinishRead() {
  w_.SchreibButton1->hide();
  w_.Startbutton->setEnabled(false);
}

void WindowConfigView::HideSchreibButton() { w_.SchreibButton1->hide(); }

void WindowConfigView::HideLoggerAndStartButtons() {
  w_.LoggerButton->hide();
  w_.Startbutton->hide();
}

// ---- the download and the graph ----

void WindowGraphView::HideConfigGroups() { w_.HideConfigGroups(); }

void WindowGraphView::ShowPaintBox() { w_.PaintBox1->show(); }

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

void WindowGraphView::EnableSaveButton() {
  w_.SaveButton->setEnabled(true);
  stored_ = true;
}

void WindowGraphView::HideStartAndLoggerButtons() {
  if (liveThrottle_.Pending()) FlushLiveGraph();
  w_.Startbutton->hide();
  w_.LoggerButton->hide();
}

GraphCanvas& WindowGraphView::PaintBoxCanvas() {
  if (liveThrottle_.Pending()) FlushLiveGraph();
  return w_.PaintBoxImageCanvas();
}

// ---- the firmware update ----

void WindowFirmwareView::SetProgressMax(int max) { w_.ProgressBar1->setMaximum(max); }
void WindowFirmwareView::SetProgressPosition(int position) { w_.ProgressBar1->setValue(position); }
int WindowFirmwareView::ProgressPosition() const { return w_.ProgressBar1->value(); }

void WindowFirmwareView::SetProgressVisible(bool visible) {
  w_.ProgressBar1->setVisible(visible);
  if (visible) w_.ProgressBar1->repaint();
}

void WindowFirmwareView::ClearLog() { w_.Memo1->clear(); }

// Each line of the log is shown as it comes, painted when the throttle lets it; a box
// that follows shows the last lines, since its event loop paints what is pending.
void WindowFirmwareView::AddLogLine(const std::string& line) {
  w_.Memo1->appendPlainText(QString::fromStdString(line));
  if (!logThrottle_.Due()) {
    w_.Memo1->update();
    return;
  }
  w_.Memo1->repaint();
  w_.ProgressBar1->repaint();
}

void WindowFirmwareView::SetLogVisible(bool visible) { w_.Memo1->setVisible(visible); }
