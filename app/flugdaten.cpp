#include "app/flugdaten.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDateTime>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QPrinter>
#include <QScreen>

#include <algorithm>
#include <cmath>

#include "app/application.h"
#include "app/fontfit.h"
#include "app/logbookpage.h"
#include "app/printing.h"
#include "serial/portline.h"
#include "formats/csvexport.h"
#include "frontend/configcontrols.h"
#include "frontend/firmwareflow.h"
#include "frontend/savecsv.h"

namespace {

const char* const kSettingsFile = "logger3.ini";

// The About text: five lines, each separated by a lone CR.
const char* const kAboutText =
    "Morvala  \r"
    "\r"
    "       Version 3.7      \r"
    " für Logger ML-3, ML-3G   \r"
    "      www.morvala.example    ";

FlightData& TheFlightData() {
  // One static block for the whole run, as the table is program-wide.
  static FlightData data;
  return data;
}

// The smallest font the labels at the left edge shrink to.
constexpr double kSmallestLabelPointSize = 6.0;

}  // namespace

void TForm1::SetFittedText(QLabel* label, const QString& text) {
  ::SetFittedText(label, text, kSmallestLabelPointSize);
}

TForm1::TForm1(QtUserIO& io)
    : Ring(ComPort1, [this](const std::string& text) { io_.ShowMessage(BoxKind::Warning, text); }),
      Flight(TheFlightData()),
      io_(io) {
  io_.Attach(StatusBar1, this);
  ApplyComPort1Design(ComPort1);
  ComPort1.OnRxChar = [this](TCustomComPort*, int32_t count) { Ring.ComPort1RxChar(count); };
  ComPort1.OnRx80Full = [this](TCustomComPort*) { Ring.ComPort1Rx80Full(); };
  ConnectHandlers();
  TabSheet3->SetUserIO(&io_);
  Run([this] { FormCreate(); });
  created_ = true;
}

TForm1::~TForm1() {
  // FormDestroy: the port is closed when the window goes.
  try {
    ComPort1.Close();
  } catch (...) {
  }
  io_.Attach(nullptr, nullptr);
}

template <typename F>
void TForm1::Run(F&& handler) {
  try {
    handler();
  } catch (const std::exception& e) {
    ShowError(e);
  }
}

void TForm1::ConnectHandlers() {
  auto on = [this](auto* sender, auto signal, void (TForm1::*handler)()) {
    connect(sender, signal, this,
            [this, handler] { Run([this, handler] { (this->*handler)(); }); });
  };
  on(ToolButton1, &QToolButton::clicked, &TForm1::ToolButton1Click);
  on(SaveButton, &QToolButton::clicked, &TForm1::SaveButtonClick);
  on(SetupButton, &QToolButton::clicked, &TForm1::SetupButtonClick);
  on(ToolButton3, &QToolButton::clicked, &TForm1::ToolButton3Click);
  on(ExitButton, &QToolButton::clicked, &TForm1::ExitButtonClick);
  on(Startbutton, &QPushButton::clicked, &TForm1::StartbuttonClick);
  on(LoggerButton, &QPushButton::clicked, &TForm1::LoggerButtonClick);
  on(ResetButton1, &QPushButton::clicked, &TForm1::ResetButton1Click);
  on(SchreibButton1, &QPushButton::clicked, &TForm1::SchreibButton1Click);
  on(Button1, &QPushButton::clicked, &TForm1::Button1Click);

  // Change handlers run for the user's and the program's changes alike, but only when
  // the value really changes: toggled, not clicked.
  const auto record = RecordBoxes();
  const auto tele = TeleBoxes();
  for (QCheckBox* box : record) {
    if (box == GpsCheckBox)
      on(box, &QCheckBox::toggled, &TForm1::GpsCheckBoxClick);
    else if (box == TeleCheckBox)
      on(box, &QCheckBox::toggled, &TForm1::TeleCheckBoxClick);
    else
      on(box, &QCheckBox::toggled, &TForm1::CheckBoxClick);
  }
  for (QCheckBox* box : tele) {
    if (box == tGpsCheckBox || box == t4800bpsCheckBox)
      on(box, &QCheckBox::toggled, &TForm1::GpsCheckBoxClick);
    else
      on(box, &QCheckBox::toggled, &TForm1::CheckBoxClick);
  }
  on(RadioGroup1, &RadioGroup::Click, &TForm1::RadioGroup1Click);
  on(DRadioGroup, &RadioGroup::Click, &TForm1::DRadioGroupClick);
  on(LRadioGroup, &RadioGroup::Click, &TForm1::LRadioGroupClick);
  on(SnMaskEdit, &MaskEdit3::Change, &TForm1::SnMaskEditChange);
  on(OffsetMaskEdit, &MaskEdit3::Change, &TForm1::OffsetMaskEditChange);
  SnMaskEdit->installEventFilter(this);
  OffsetMaskEdit->installEventFilter(this);

  connect(PageControl1, &QTabWidget::currentChanged, this, [this](int index) {
    Run([this, index] {
      if (index == 0)
        TabSheet1Show();
      else if (index == 1)
        TabSheet2Show();
      else if (index == 2)
        TabSheet3Show();
      else
        TabSheet4Show();
    });
  });
  connect(PaintBox1, &PaintBox::MouseDown, this,
          [this](Qt::MouseButton button, Qt::KeyboardModifiers, int x, int y) {
            Run([this, button, x, y] { Image1MouseDown(button, x, y); });
          });
  // The keys move a marker from where it stands, through the same rules as a click.
  connect(PaintBox1, &PaintBox::MarkerKey, this, [this](bool rightMarker, int step) {
    Run([this, rightMarker, step] {
      const int from = rightMarker ? Markers.RightMarkerX : Markers.LeftMarkerX;
      const int x = std::clamp(from + step, 0, PaintBox1->width());
      Image1MouseDown(rightMarker ? Qt::RightButton : Qt::LeftButton, x, 0);
    });
  });
}

// ---- start-up and reset ----

void TForm1::FormCreate() {
  // 1. Resolution correction: the layout is designed at 96 DPI.
  // Qt has already scaled the window up by the screen's pixel ratio, as the classic
  // toolkit did by the ratio of text heights; scaling by 96 / resolution on top keeps
  // the layout close to its 96-DPI size.
  const QScreen* screen = QGuiApplication::primaryScreen();
  const double dpi = screen ? screen->logicalDotsPerInchX() * screen->devicePixelRatio() : 96.0;
  if (std::lround(dpi) != 96) {
    ScaleBy(96.0 / dpi);
    repaint();
  }
  // 2. Centre on the screen.
  if (screen) {
    const QRect area = screen->geometry();
    move(area.left() + (area.width() - frameGeometry().width()) / 2,
         area.top() + (area.height() - frameGeometry().height()) / 2);
  }
  // 3.-5.
  PageControl1->blockSignals(true);
  PageControl1->setCurrentIndex(0);
  PageControl1->blockSignals(false);
  WarteLabel->hide();
  Config.ResetForWindow();
  // 6. The off-screen bitmap of the live graph, the size of the paint box.
  graphBitmap_ = std::make_unique<ImageCanvas>(PaintBox1->width(), PaintBox1->height());
  paintBoxCanvas_ =
      std::make_unique<ImageCanvas>(&PaintBox1->Surface(), [this] { PaintBox1->RepaintNow(); });
  Markers.Reset(PaintBox1->width());
  // 7.-8.
  Bremse();
  FormInit();
}

void TForm1::Bremse() {
  PaintBox1->show();
  const QTime start = QTime::currentTime();
  ImageCanvas& canvas = *paintBoxCanvas_;
  canvas.SetPenColor(GraphBlack);
  for (int i = 0; i <= 1000; ++i) {
    canvas.LineTo(graph::BremseX(i, PaintBox1->width()), graph::BremseY(i));
    canvas.Flush();
  }
  PaintBox1->hide();
  const QTime end = QTime::currentTime();
  GraphStep = graph::GraphStepFromElapsed(
      graph::BremseElapsed(start.second(), start.msec(), end.second(), end.msec()));
  repaint();
}

void TForm1::FormInit() {
  ComPort1.SetBaudRate(br110);
  // A refusal of the port names the port the settings were meant for.
  ComPort1.ReadSettings(true, kSettingsFile);
  if (ComPort1.BaudRate() == br110) {
    ComPort1.SetBaudRate(br38400);
    SetupButtonClick();
  }
  io_.SetStatusColor(clBtnFace);
  io_.SetStatusText(
      1, "Logger ausschalten - danach KONFIGURATION LESEN- oder DATEN-EINLESEN-Taste drücken");
  Flight.ResetIndexes();
  Markers.Reset(PaintBox1->width());
  Flags.SkipDrain = false;
  Flags.ConfigRead = false;
  Config.ResetForWindow();
  HideConfigGroups();
  Startbutton->show();
  Startbutton->setEnabled(true);
  LoggerButton->show();
  SchreibButton1->hide();
  PaintBox1->hide();
  ResetButton1->hide();
  ZeitLabel->hide();
  FNLabel->setText(QString());
  EEPROMLabel->setText(QString());
  Label1->setText(QString(12, QChar(' ')));
}

void TForm1::showEvent(QShowEvent* event) {
  TForm1Base::showEvent(event);
  // Showing the first page when the window appears runs its show handler.
  if (firstShow_) {
    firstShow_ = false;
    Run([this] { TabSheet1Show(); });
    // The keyboard starts at the first button of the page, not on the tool bar.
    Startbutton->setFocus(Qt::OtherFocusReason);
  }
}

void TForm1::closeEvent(QCloseEvent* event) {
  Run([this] { ComPort1.Close(); });  // FormClose
  event->accept();
}

void TForm1::TabSheet1Show() { FormInit(); }

void TForm1::TabSheet2Show() {
  io_.SetStatusColor(clBtnFace);
  io_.SetStatusText(1, firmware::kTextUpdateHint);
}

void TForm1::TabSheet3Show() {
  io_.SetStatusColor(clBtnFace);
  io_.SetStatusText(
      1, "Auswertung: Flug nach dem Einlesen ansehen oder einen gespeicherten Flug öffnen");
}

void TForm1::TabSheet4Show() {
  io_.SetStatusColor(clBtnFace);
  io_.SetStatusText(1, "Flugbuch: jeder eingelesene Flug wird hier aufbewahrt");
}

void TForm1::ResetButton1Click() {
  ComPort1.Close();
  FormInit();
}

void TForm1::SetupButtonClick() {
  ComPort1.RunSetupDialog();
  ComPort1.WriteSettings(true, kSettingsFile);
}

void TForm1::ToolButton1Click() {
  if (!printer_) printer_ = std::make_unique<QPrinter>(QPrinter::HighResolution);
  PrintWindow(this, *printer_);
}

void TForm1::ToolButton3Click() { io_.ShowMessage(BoxKind::Information, kAboutText); }

void TForm1::ExitButtonClick() {
  // Ends at once, without the close handler; the port closes when the window goes.
  QApplication::exit(0);
}

// ---- the configuration ----

void TForm1::StartbuttonClick() { ReadConfiguration(ComPort1, Ring, configView_, Config, Flags); }

void TForm1::CheckBoxClick() {
  SchreibButton1->show();
  Loggerzeit();
}

void TForm1::GpsCheckBoxClick() {
  SchreibButton1->show();
  Loggerzeit();
}

void TForm1::TeleCheckBoxClick() {
  if (TeleCheckBox->isChecked())
    TeleOn();
  else
    TeleOff();
  CheckBoxClick();
}

void TForm1::RadioGroup1Click() {
  SchreibButton1->show();
  Loggerzeit();
}

void TForm1::DRadioGroupClick() {
  CheckBoxClick();
  E1CheckBox->setChecked(false);
  tE1CheckBox->setChecked(false);
  const bool ms5534a = DRadioGroup->ItemIndex() == 1;
  E1CheckBox->setEnabled(ms5534a);
  tE1CheckBox->setEnabled(ms5534a);
}

void TForm1::LRadioGroupClick() { CheckBoxClick(); }

void TForm1::NumberFieldRule(MaskEdit3* edit, bool offset) {
  const std::string current = edit->text().toStdString();
  const NumberField field = offset ? NormalizeOffsetText(current) : NormalizeSerialText(current);
  if (offset) Config.Adc3Offset = static_cast<uint8_t>(field.value);
  const QString text = QString::fromStdString(field.text);
  // Writing back counts as a change only when the text differs, so this ends. The caret
  // goes behind the last digit, where the next digit typed shifts in.
  if (edit->text() != text) {
    edit->setText(text);
    edit->setCursorPosition(static_cast<int>(text.size()));
  }
}

// The field always holds three digits, so a typed digit would find it full: with the
// caret at the end and a leading zero, the digits move one place left and the new digit
// comes in on the right, as on a calculator. Typing 2, 0, 0 gives 002, 020, 200.
bool TForm1::NumberFieldKey(MaskEdit3* edit, QKeyEvent* key) {
  const QString typed = key->text();
  if (typed.size() != 1 || !typed[0].isDigit()) return false;
  const QString current = edit->text();
  if (edit->hasSelectedText() || current.size() < edit->maxLength() ||
      edit->cursorPosition() != current.size() || !current.startsWith(QLatin1Char('0')))
    return false;
  edit->setText(current.mid(1) + typed);
  edit->setCursorPosition(static_cast<int>(edit->text().size()));
  return true;
}

bool TForm1::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::KeyPress && (watched == SnMaskEdit || watched == OffsetMaskEdit)) {
    auto* edit = static_cast<MaskEdit3*>(watched);
    bool handled = false;
    Run([&] { handled = NumberFieldKey(edit, static_cast<QKeyEvent*>(event)); });
    if (handled) return true;
  }
  return TForm1Base::eventFilter(watched, event);
}

void TForm1::SnMaskEditChange() {
  NumberFieldRule(SnMaskEdit, false);
  SchreibButton1->show();
}

void TForm1::OffsetMaskEditChange() {
  NumberFieldRule(OffsetMaskEdit, true);
  SchreibButton1->show();
}

void TForm1::TeleOn() {
  GroupBox2->show();
  TeleCheckBox->setChecked(true);
}

void TForm1::TeleOff() {
  tAD16CheckBox->setChecked(false);
  tGpsCheckBox->setChecked(false);
  tE1CheckBox->setChecked(false);
  TeleCheckBox->setChecked(false);
  GroupBox2->hide();
}

ConfigControls TForm1::ControlsState() const {
  ConfigControls c;
  const auto record = RecordBoxes();
  const auto tele = TeleBoxes();
  for (int i = 0; i < 16; ++i) {
    c.record[i] = record[i]->isChecked();
    c.tele[i] = tele[i]->isChecked();
  }
  c.rateItem = RadioGroup1->ItemIndex();
  c.serialText = SnMaskEdit->text().toStdString();
  c.offsetText = OffsetMaskEdit->text().toStdString();
  c.sensorItem = DRadioGroup->ItemIndex();
  c.deleteItem = LRadioGroup->ItemIndex();
  return c;
}

void TForm1::Loggerzeit() {
  const RecordingEstimate estimate = EstimateRecordingTime(ControlsState(), Config.EepromKByte);
  // The fastest interval only for the 16-bit ADC and ADC 0 to ADC 4; selecting the
  // next item runs RadioGroup1Click, which estimates for it.
  if (estimate.moved) RadioGroup1->SetItemIndex(estimate.rateItem);
  if (!estimate.showLabel) {
    ZeitLabel->setText(QString::fromStdString(estimate.text));
    return;
  }
  ZeitLabel->show();
  SetFittedText(ZeitLabel, QString::fromStdString(estimate.text));
}

void TForm1::SchreibButton1Click() {
  WriteConfiguration(ComPort1, Ring, configView_, Config, Flags,
                     SettingsFromControls(ControlsState()));
}

// ---- the download, the graph and the export ----

void TForm1::LoggerButtonClick() {
  if (!Flags.ConfigRead) {
    StartbuttonClick();
    if (Flags.NoLoggerFound) return;
  }
  Datenlesen();
}

void TForm1::Datenlesen() {
  graphView_.StartDownload(GraphStep);
  const DownloadResult result =
      ::Datenlesen(ComPort1, Ring, graphView_, Flight, Config.EepromKByte);
  // 11.
  graphView_.HideStartAndLoggerButtons();
  // The logbook keeps the download, also one a failing port ended, before anything else is
  // shown: its commit is on the disk when the user sees the result.
  LogbookPage::KeepResult kept;
  if (result.stored)
    kept =
        TabSheet4->KeepDownload(result.dump, logbook::LoggerIdentity::FromConfig(Config), Flight);
  // 12.
  if (Flight.LastSampleIndex < 5) {
    // A failed port speaks for itself below; the box is for a flight that brought nothing.
    if (!result.portError) io_.ShowMessage(BoxKind::Information, kTextNoData);
  } else {
    graphView_.ShowFinalGraph(Flight);
  }
  // The analysis takes its own copy of every download that stored records, also of one
  // that a failing port ended: those records are as good as the CSV export's.
  TakeDownloadCopy();
  // A flight that could not be kept is said after the written system's own messages.
  if (!kept.error.empty()) io_.ShowMessage(BoxKind::Error, kept.error);
  if (!kept.notice.empty()) io_.ShowMessage(BoxKind::Information, kept.notice);
  if (result.portError) std::rethrow_exception(result.portError);
}

void TForm1::TakeDownloadCopy() {
  if (graphView_.StoredRecords() && Flight.LastSampleIndex >= 0)
    TabSheet3->TakeFlight(analysis::FlightFromDownload(Flight, Config.SerialSensor & 0x7F));
}

void TForm1::HideConfigGroups() {
  for (QWidget* w : std::initializer_list<QWidget*>{GroupBox1, GroupBox2, RadioGroup1, LRadioGroup,
                                                    NummernGroupBox, DRadioGroup})
    w->hide();
}

void TForm1::Image1MouseDown(Qt::MouseButton button, int x, int y) {
  (void)y;
  TMouseButton which = TMouseButton::mbMiddle;
  if (button == Qt::LeftButton) which = TMouseButton::mbLeft;
  if (button == Qt::RightButton) which = TMouseButton::mbRight;
  Markers.Image1MouseDown(*paintBoxCanvas_, PaintBox1->isVisible(), which, x, Flight);
  paintBoxCanvas_->Flush();
  if (PaintBox1->isVisible() && Flight.LastSampleIndex > 0)
    TabSheet3->SetDownloadRange(Flight.ExportFirstIndex, Flight.ExportLastIndex);
}

void TForm1::SaveButtonClick() { SaveCsv(io_, Flight, ExportFileName); }

// ---- the firmware update ----

void TForm1::Button1Click() {
  try {
    RunFirmwareUpdate();
  } catch (const std::exception& e) {
    // The error box comes while the log still shows the line that failed; log and
    // progress bar go when the user has closed it.
    ShowError(e);
    firmwareView_.HideProgress();
  } catch (...) {
    firmwareView_.HideProgress();
    throw;
  }
}

void TForm1::RunFirmwareUpdate() {
  PortLine line(ComPort1);
  ChooseAndBurnFirmware(io_, line, firmwareView_, ExportFileName);
}
