#include "app/analysispage.h"

#include <QGridLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>
#include <exception>

#include "model/coords.h"
#include "formats/flightcsv.h"
#include "analysis/stats.h"
#include "formats/channelprofiles.h"
#include "formats/filenames.h"
#include "formats/trackfiles.h"
#include "app/analysiswindow.h"
#include "app/application.h"
#include "app/flightchart.h"
#include "app/widgets.h"
#include "frontend/userio.h"

using namespace analysis;

namespace {

// The base of the track files' names: the CSV's name without ".csv", or "flug".
std::string BaseName(const Flight& f) {
  if (f.source != FlightSource::File || f.fileName.empty()) return "flug";
  std::string n = f.fileName;
  if (n.size() > 4) {
    std::string tail = n.substr(n.size() - 4);
    std::transform(tail.begin(), tail.end(), tail.begin(), ::tolower);
    if (tail == ".csv") n.resize(n.size() - 4);
  }
  return n;
}

std::string Interval(const Flight& f) {
  std::string s = GermanNumber(f.SampleInterval(), 2);
  while (s.back() == '0') s.pop_back();
  if (s.back() == ',') s.pop_back();
  return s + " s";
}

}  // namespace

AnalysisPage::AnalysisPage(QWidget* parent) : QWidget(parent) {
  setObjectName(QStringLiteral("TabSheet3"));
  OpenButton =
      MakeButton(this, "OpenButton", QStringLiteral("Flug öffnen…"),
                 QStringLiteral("einen gespeicherten Flug (CSV-Datei) zur Auswertung öffnen"));
  DiagramButton = MakeButton(
      this, "DiagramButton", QStringLiteral("Diagramm…"),
      QStringLiteral("alle Kanäle über der Zeit, Messen zwischen zwei Cursorn, GPS-Spur"));
  GpxButton =
      MakeButton(this, "GpxButton", QStringLiteral("GPX speichern…"),
                 QStringLiteral("GPS-Spur zwischen den Cursorn A und B als GPX-Datei speichern"));
  KmlButton = MakeButton(
      this, "KmlButton", QStringLiteral("KML speichern…"),
      QStringLiteral(
          "GPS-Spur zwischen den Cursorn A und B als KML-Datei (Google Earth) speichern"));
  SummaryLabel = new QLabel(this);
  SummaryLabel->setObjectName(QStringLiteral("SummaryLabel"));
  SummaryLabel->setTextFormat(Qt::PlainText);
  SummaryLabel->setWordWrap(true);
  SummaryLabel->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  SummaryLabel->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
  SummaryLabel->setFocusPolicy(Qt::StrongFocus);
  SummaryLabel->setAccessibleName(QStringLiteral("Flug zur Hand"));
  SummaryLabel->setFrameShape(QFrame::StyledPanel);
  SummaryLabel->setMargin(6);
  {
    QPalette pal = SummaryLabel->palette();
    pal.setColor(QPalette::Window, pal.color(QPalette::Base));
    SummaryLabel->setPalette(pal);
    SummaryLabel->setAutoFillBackground(true);
  }

  auto* buttons = new QVBoxLayout;
  for (QPushButton* b : {OpenButton, DiagramButton, GpxButton, KmlButton}) {
    b->setMinimumWidth(121);
    buttons->addWidget(b);
  }
  buttons->addStretch(1);
  auto* layout = new QGridLayout(this);
  layout->setContentsMargins(8, 16, 8, 8);
  layout->setHorizontalSpacing(16);
  layout->addLayout(buttons, 0, 0);
  layout->addWidget(SummaryLabel, 0, 1);
  layout->setColumnStretch(1, 1);
  setTabOrder(OpenButton, DiagramButton);
  setTabOrder(DiagramButton, GpxButton);
  setTabOrder(GpxButton, KmlButton);
  setTabOrder(KmlButton, SummaryLabel);

  connect(OpenButton, &QPushButton::clicked, this, [this] { Run([this] { OpenButtonClick(); }); });
  connect(DiagramButton, &QPushButton::clicked, this,
          [this] { Run([this] { DiagramButtonClick(); }); });
  connect(GpxButton, &QPushButton::clicked, this, [this] { Run([this] { GpxButtonClick(); }); });
  connect(KmlButton, &QPushButton::clicked, this, [this] { Run([this] { KmlButtonClick(); }); });
  Refresh();
}

AnalysisPage::~AnalysisPage() { delete window_; }

template <typename F>
void AnalysisPage::Run(F&& handler) {
  try {
    handler();
  } catch (const std::exception& e) {
    ShowError(e);
  }
}

std::string AnalysisPage::SummaryText(const Flight* f) {
  if (!f || f->Empty())
    return "Noch kein Flug zur Hand.\n\nNach „Daten einlesen“ steht der Flug hier zur Auswertung "
           "bereit; „Flug öffnen…“ liest einen gespeicherten Flug aus seiner CSV-Datei.";
  std::string s;
  s += "Herkunft: " +
       (f->source == FlightSource::Download  ? std::string("letzter Download")
        : f->source == FlightSource::Logbook ? "Flugbuch, " + f->fileName
                                             : "Datei „" + f->fileName + "“") +
       "\n";
  s += "Datensätze: " + std::to_string(f->Count()) + "\n";
  s += "Dauer: " + FormatHms(f->Duration()) + "\n";
  s += "Abtastrate: " + Interval(*f) + "\n";
  std::string channels;
  for (const LaneInfo& l : f->RecordedLanes()) {
    if (l.column == kLatitude) {
      channels += std::string(channels.empty() ? "" : ", ") + "GPS";
      continue;
    }
    if (l.column == kLongitude || l.column == kGps3) continue;
    channels += (channels.empty() ? "" : ", ") + std::string(l.name);
  }
  s += "Kanäle: " + (channels.empty() ? std::string("keine") : channels) + "\n";
  const int alt = f->AltitudeColumn();
  if (alt >= 0) {
    const auto& v = f->columns[alt];
    const auto [mn, mx] = std::minmax_element(v.begin(), v.end());
    s += "Höhe (" + std::string(AllLanes()[alt].name) + "): kleinster Wert " + std::to_string(*mn) +
         ", größter Wert " + std::to_string(*mx) + "\n";
  } else {
    s += "Höhe: nicht aufgezeichnet\n";
  }
  if (f->HasGps()) {
    double latMin = 1e9, latMax = -1e9, lonMin = 1e9, lonMax = -1e9;
    int fixes = 0;
    for (int32_t i = 0; i < f->Count(); ++i) {
      const int64_t la = f->columns[kLatitude][i], lo = f->columns[kLongitude][i];
      if (!HasFix(la, lo)) continue;
      ++fixes;
      latMin = std::min(latMin, DecimalDegrees(la));
      latMax = std::max(latMax, DecimalDegrees(la));
      lonMin = std::min(lonMin, DecimalDegrees(lo));
      lonMax = std::max(lonMax, DecimalDegrees(lo));
    }
    if (fixes == 0) {
      s += "GPS-Positionen: 0 von " + std::to_string(f->Count()) + "\n";
    } else {
      s += "GPS-Breite: " + GermanNumber(latMin, 6) + "° bis " + GermanNumber(latMax, 6) + "°\n";
      s += "GPS-Länge: " + GermanNumber(lonMin, 6) + "° bis " + GermanNumber(lonMax, 6) + "°\n";
      s += "GPS-Positionen: " + std::to_string(fixes) + " von " + std::to_string(f->Count()) + "\n";
    }
  }
  if (!s.empty() && s.back() == '\n') s.pop_back();
  return s;
}

void AnalysisPage::Refresh() {
  const bool have = flight_ && !flight_->Empty();
  SummaryLabel->setText(QString::fromStdString(SummaryText(flight_.get())));
  DiagramButton->setEnabled(have);
  GpxButton->setEnabled(have && flight_->HasGps());
  KmlButton->setEnabled(have && flight_->HasGps());
}

void AnalysisPage::TakeFlight(Flight flight) {
  flight_ = std::make_shared<Flight>(std::move(flight));
  // The logger's profile, by the serial number the flight came with.
  options_ = FlightOptions{};
  LoadedProfile loaded = LoadChannelProfile(SerialKey(flight_->serialNumber));
  options_.profile = std::move(loaded.profile);
  if (!loaded.problem.empty() && io_) io_->ShowMessage(BoxKind::Warning, loaded.problem);
  Refresh();
  if (window_) window_->ShowFlight(flight_, true, options_);
}

void AnalysisPage::SetDownloadRange(int32_t first, int32_t last) {
  if (!flight_ || flight_->source != FlightSource::Download || flight_->Empty()) return;
  const int32_t end = flight_->Count() - 1;
  first = std::clamp(first, 0, end);
  last = std::clamp(last, 0, end);
  if (last < first) return;
  flight_->rangeFirst = first;
  flight_->rangeLast = last;
  if (window_) window_->Chart->update();
}

void AnalysisPage::CursorRange(int32_t& a, int32_t& b) const {
  if (window_ && window_->Chart->FlightShown() == flight_.get()) {
    a = window_->Chart->CursorRecord(FlightChart::A);
    b = window_->Chart->CursorRecord(FlightChart::B);
  } else if (flight_) {
    a = flight_->rangeFirst;
    b = flight_->rangeLast;
  } else {
    a = b = 0;
  }
}

void AnalysisPage::OpenButtonClick() {
  if (!io_) return;
  // The dialog opens in the folder of the flight in hand, when it came from a file.
  const std::string folder = flight_ ? FolderOf(flight_->filePath) : std::string();
  const auto chosen = io_->OpenFileName("CSV-Dateien (*.csv);;Alle Dateien (*)",
                                        folder.empty() ? "" : InFolder(folder, ""));
  if (!chosen || chosen->empty()) return;
  Flight f;
  try {
    f = ReadFlightCsvFile(*chosen);
  } catch (const CsvFormatError& e) {
    const auto slash = chosen->find_last_of('/');
    const std::string name = slash == std::string::npos ? *chosen : chosen->substr(slash + 1);
    io_->ShowMessage(BoxKind::Error,
                     "Die Datei „" + name + "“ ist keine CSV-Datei dieses Programms.\r" + e.what());
    return;
  }
  TakeFlight(std::move(f));
  io_->SetStatusColor(StatusColorSuccess);
  io_->SetStatusText(1, "Flug geöffnet: " + flight_->fileName + ", " +
                            std::to_string(flight_->Count()) + " Datensätze");
  io_->RepaintStatus();
}

void AnalysisPage::DiagramButtonClick() {
  if (!flight_ || flight_->Empty()) return;
  if (!window_) {
    window_ = new AnalysisWindow(io_, nullptr);
    window_->setAttribute(Qt::WA_DeleteOnClose, false);
    connect(window_, &AnalysisWindow::OptionsChanged, this,
            [this] { options_ = window_->Options(); });
    window_->ShowFlight(flight_, false, options_);
  } else if (window_->Chart->FlightShown() != flight_.get()) {
    window_->ShowFlight(flight_, true, options_);
  }
  window_->show();
  window_->raise();
  window_->activateWindow();
  window_->Chart->setFocus(Qt::OtherFocusReason);
}

void AnalysisPage::SaveTrack(bool kml) {
  if (!io_ || !flight_ || !flight_->HasGps()) return;
  int32_t a, b;
  CursorRange(a, b);
  const size_t points = TrackPoints(*flight_, a, b).size();
  if (points == 0) {
    io_->ShowMessage(BoxKind::Information,
                     "Zwischen Datensatz " + std::to_string(std::min(a, b)) + " und " +
                         std::to_string(std::max(a, b)) +
                         " hat kein Datensatz eine GPS-Position.\rEs wurde keine Datei "
                         "geschrieben.");
    return;
  }
  const std::string ext = kml ? ".kml" : ".gpx";
  const std::string name = BaseName(*flight_);
  const auto chosen = io_->SaveFileName(kml ? "KML-Dateien (*.kml)" : "GPX-Dateien (*.gpx)",
                                        InFolder(FolderOf(flight_->filePath), name + ext));
  if (!chosen || chosen->empty()) return;
  const std::string path = WithExtension(*chosen, {ext});
  if (PathExists(path) && !io_->Confirm(ReplaceQuestion(path))) return;
  if (kml)
    WriteKmlFile(path, *flight_, a, b, name, options_);
  else
    WriteGpxFile(path, *flight_, a, b, name, options_);
  io_->SetStatusColor(StatusColorSuccess);
  io_->SetStatusText(1, std::string(kml ? "KML" : "GPX") +
                            "-Datei gespeichert: " + std::to_string(points) +
                            " Punkte von Datensatz " + std::to_string(std::min(a, b)) + " bis " +
                            std::to_string(std::max(a, b)));
  io_->RepaintStatus();
}

void AnalysisPage::GpxButtonClick() { SaveTrack(false); }
void AnalysisPage::KmlButtonClick() { SaveTrack(true); }
