#include "app/analysiswindow.h"

#include <QBuffer>
#include <QComboBox>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QListWidget>
#include <QPainter>
#include <QPdfWriter>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QShortcut>
#include <QSpinBox>
#include <QSplitter>
#include <QTableWidget>
#include <QVBoxLayout>
#include <array>
#include <cmath>
#include <exception>

#include "analysis/channels.h"
#include "analysis/stats.h"
#include "app/application.h"
#include "app/channeldialog.h"
#include "app/flightchart.h"
#include "app/trackview.h"
#include "formats/analysiscsv.h"
#include "formats/atomicfile.h"
#include "formats/channelprofiles.h"
#include "formats/filenames.h"
#include "frontend/userio.h"
#include "formats/profile.h"

using namespace analysis;

const char* const kAnalysisLayoutFile = "auswertung.ini";

const char* const kStatsHeaders[kStatsColumns] = {"Kanal",   "bei A",   "bei B",      "B − A",
                                                  "Minimum", "Maximum", "Mittelwert", "Einheit"};

namespace {

// The time axis below the scrolling lanes, so it stays in sight.
class TimeAxisStrip : public QWidget {
 public:
  TimeAxisStrip(FlightChart* chart, QWidget* parent) : QWidget(parent), chart_(chart) {
    setFixedHeight(FlightChart::kTimeAxisHeight);
    setAccessibleName(QStringLiteral("Zeitachse"));
    connect(chart, &FlightChart::ViewChanged, this, [this] { update(); });
  }

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter p(this);
    p.fillRect(rect(), Qt::white);
    p.setFont(chart_->font());
    chart_->RenderTimeAxis(p, QRect(0, -1, width(), height()), chart_->size());
  }

 private:
  FlightChart* chart_;
};

QString SourceText(const Flight& f) {
  const QString what = f.source == FlightSource::Download ? QStringLiteral("letzter Download")
                       : f.source == FlightSource::Logbook
                           ? QStringLiteral("Flugbuch, %1").arg(QString::fromStdString(f.fileName))
                           : QStringLiteral("Datei „%1“").arg(QString::fromStdString(f.fileName));
  return QStringLiteral("%1, %2 Datensätze").arg(what).arg(f.Count());
}

}  // namespace

AnalysisWindow::AnalysisWindow(UserIO* io, QWidget* parent) : QWidget(parent, Qt::Window), io_(io) {
  setObjectName(QStringLiteral("AnalysisWindow"));
  setWindowTitle(QStringLiteral("Flugauswertung"));
  setAccessibleName(QStringLiteral("Flugauswertung"));

  NoticeLabel = new QLabel(this);
  NoticeLabel->setObjectName(QStringLiteral("NoticeLabel"));
  NoticeLabel->setTextFormat(Qt::PlainText);
  NoticeLabel->setAccessibleName(QStringLiteral("Flug"));
  ShowAllButton = new QPushButton(QStringLiteral("Alles zeigen"), this);
  ShowAllButton->setObjectName(QStringLiteral("ShowAllButton"));
  ShowAllButton->setToolTip(QStringLiteral("den ganzen Flug zeigen (Pos1)"));
  ShowAllButton->setAccessibleName(QStringLiteral("Alles zeigen"));
  SaveImageButton = new QPushButton(QStringLiteral("Bild speichern…"), this);
  SaveImageButton->setObjectName(QStringLiteral("SaveImageButton"));
  SaveImageButton->setToolTip(
      QStringLiteral("Diagramm und GPS-Spur als PNG- oder PDF-Datei speichern"));
  SaveImageButton->setAccessibleName(QStringLiteral("Bild speichern"));
  ChannelsButton = new QPushButton(QStringLiteral("K&anäle…"), this);
  ChannelsButton->setObjectName(QStringLiteral("ChannelsButton"));
  ChannelsButton->setToolTip(QStringLiteral(
      "Namen, Einheiten und Kalibrierung der Kanäle, Höhe aus dem Druck, QNH, Platzhöhe und "
      "Startzeit"));
  ChannelsButton->setAccessibleName(QStringLiteral("Kanäle"));
  SaveCsvButton = new QPushButton(QStringLiteral("Auswertung als &CSV…"), this);
  SaveCsvButton->setObjectName(QStringLiteral("SaveCsvButton"));
  SaveCsvButton->setToolTip(
      QStringLiteral("die Werte zwischen den Cursorn A und B in Einheiten als CSV-Datei für eine "
                     "Tabellenkalkulation"));
  SaveCsvButton->setAccessibleName(QStringLiteral("Auswertung als CSV"));
  for (QPushButton* b : {ShowAllButton, SaveImageButton, ChannelsButton, SaveCsvButton})
    b->setAutoDefault(false);

  Chart = new FlightChart(this);
  Chart->setObjectName(QStringLiteral("Chart"));
  Track = new TrackView(this);
  Track->setObjectName(QStringLiteral("Track"));
  LaneList = new QListWidget(this);
  LaneList->setObjectName(QStringLiteral("LaneList"));
  LaneList->setAccessibleName(QStringLiteral("Kanäle"));
  LaneList->setToolTip(QStringLiteral("Kanäle zeigen oder ausblenden (Leertaste)"));
  LaneHeight = new QSpinBox(this);
  LaneHeight->setObjectName(QStringLiteral("LaneHeight"));
  LaneHeight->setAccessibleName(QStringLiteral("Höhe der Spuren in Pixeln"));
  LaneHeight->setToolTip(QStringLiteral(
      "Höhe der Spuren; die Höhe bekommt das Dreifache. Was nicht passt, wird gerollt."));
  LaneHeight->setSuffix(QStringLiteral(" px"));
  LaneHeight->setRange(10, 1000);
  auto* laneHeightCaption = new QLabel(QStringLiteral("&Höhe der Spuren:"), this);
  laneHeightCaption->setBuddy(LaneHeight);
  TrackColour = new QComboBox(this);
  TrackColour->setObjectName(QStringLiteral("TrackColour"));
  TrackColour->setAccessibleName(QStringLiteral("Farbe der GPS-Spur"));
  TrackColour->addItem(QStringLiteral("Spur einfarbig"), -1);
  TrackColour->addItem(QStringLiteral("Spur nach Höhe"), static_cast<int>(kAdc16));
  TrackColour->addItem(QStringLiteral("Spur nach Steigen"), kClimbRate);
  TrackColour->addItem(QStringLiteral("Spur nach Geschwindigkeit"), kGroundSpeed);
  auto* laneCaption = new QLabel(QStringLiteral("&Kanäle:"), this);
  laneCaption->setBuddy(LaneList);

  TimeLabel = new QLabel(this);
  TimeLabel->setObjectName(QStringLiteral("TimeLabel"));
  TimeLabel->setTextFormat(Qt::PlainText);
  TimeLabel->setAccessibleName(QStringLiteral("Zeit zwischen A und B"));
  ReadoutLabel = new QLabel(this);
  ReadoutLabel->setObjectName(QStringLiteral("ReadoutLabel"));
  ReadoutLabel->setTextFormat(Qt::PlainText);
  ReadoutLabel->setWordWrap(true);
  ReadoutLabel->setAccessibleName(QStringLiteral("Werte"));
  ReadoutLabel->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
  StatsTable = new QTableWidget(0, kStatsColumns, this);
  StatsTable->setObjectName(QStringLiteral("StatsTable"));
  StatsTable->setAccessibleName(QStringLiteral("Messwerte zwischen A und B"));
  QStringList headers;
  for (const char* h : kStatsHeaders) headers << QString::fromUtf8(h);
  StatsTable->setHorizontalHeaderLabels(headers);
  StatsTable->verticalHeader()->hide();
  StatsTable->setEditTriggers(QAbstractItemView::NoEditTriggers);
  StatsTable->setSelectionBehavior(QAbstractItemView::SelectRows);
  StatsTable->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
  StatsTable->setTabKeyNavigation(false);
  StatsTable->verticalHeader()->setDefaultSectionSize(StatsTable->fontMetrics().height() + 6);

  // Layout: buttons on top; diagram | track and lane list; time and table below.
  auto* top = new QHBoxLayout;
  top->addWidget(NoticeLabel, 1);
  top->addWidget(laneHeightCaption);
  top->addWidget(LaneHeight);
  top->addWidget(ChannelsButton);
  top->addWidget(ShowAllButton);
  top->addWidget(SaveImageButton);
  top->addWidget(SaveCsvButton);
  auto* side = new QWidget(this);
  auto* sideLayout = new QVBoxLayout(side);
  sideLayout->setContentsMargins(0, 0, 0, 0);
  sideLayout->addWidget(Track, 3);
  sideLayout->addWidget(laneCaption);
  sideLayout->addWidget(LaneList, 2);
  sideLayout->addWidget(TrackColour);
  // The lanes keep a readable height: when all of them do not fit, the diagram scrolls.
  auto* chartArea = new QScrollArea(this);
  chartArea->setObjectName(QStringLiteral("ChartArea"));
  chartArea->setWidget(Chart);
  chartArea->setWidgetResizable(true);
  chartArea->setFrameShape(QFrame::NoFrame);
  chartArea->setFocusPolicy(Qt::NoFocus);
  chartArea->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  Chart->SetTimeAxisBelow(true);
  auto* chartPane = new QWidget(this);
  auto* chartPaneLayout = new QVBoxLayout(chartPane);
  chartPaneLayout->setContentsMargins(0, 0, 0, 0);
  chartPaneLayout->setSpacing(0);
  chartPaneLayout->addWidget(chartArea, 1);
  chartPaneLayout->addWidget(new TimeAxisStrip(Chart, chartPane));
  auto* upper = new QSplitter(Qt::Horizontal, this);
  upper->addWidget(chartPane);
  upper->addWidget(side);
  upper->setStretchFactor(0, 3);
  upper->setStretchFactor(1, 1);
  auto* lower = new QWidget(this);
  auto* lowerLayout = new QVBoxLayout(lower);
  lowerLayout->setContentsMargins(0, 0, 0, 0);
  lowerLayout->addWidget(TimeLabel);
  lowerLayout->addWidget(ReadoutLabel);
  lowerLayout->addWidget(StatsTable);
  auto* split = new QSplitter(Qt::Vertical, this);
  split->addWidget(upper);
  split->addWidget(lower);
  split->setStretchFactor(0, 3);
  split->setStretchFactor(1, 1);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(top);
  layout->addWidget(split, 1);

  setTabOrder(Chart, LaneList);
  setTabOrder(LaneList, TrackColour);
  setTabOrder(TrackColour, StatsTable);
  setTabOrder(StatsTable, LaneHeight);
  setTabOrder(LaneHeight, ChannelsButton);
  setTabOrder(ChannelsButton, ShowAllButton);
  setTabOrder(ShowAllButton, SaveImageButton);
  setTabOrder(SaveImageButton, SaveCsvButton);

  connect(ShowAllButton, &QPushButton::clicked, Chart, &FlightChart::ShowAll);
  connect(SaveImageButton, &QPushButton::clicked, this, [this] {
    try {
      SaveImageClick();
    } catch (const std::exception& e) {
      ShowError(e);
    }
  });
  for (auto [button, handler] : {std::pair{ChannelsButton, &AnalysisWindow::ChannelsClick},
                                 std::pair{SaveCsvButton, &AnalysisWindow::SaveCsvClick}}) {
    connect(button, &QPushButton::clicked, this, [this, handler = handler] {
      try {
        (this->*handler)();
      } catch (const std::exception& e) {
        ShowError(e);
      }
    });
  }
  connect(Chart, &FlightChart::CursorsChanged, this, &AnalysisWindow::UpdateStats);
  connect(Chart, &FlightChart::HoverChanged, this, &AnalysisWindow::UpdateReadout);
  connect(TrackColour, &QComboBox::currentIndexChanged, this, &AnalysisWindow::ApplyTrackColour);
  connect(Chart, &FlightChart::LaneHeightChanged, this, [this](int px) {
    const QSignalBlocker block(LaneHeight);
    LaneHeight->setValue(px);
  });
  connect(LaneHeight, &QSpinBox::valueChanged, this, [this](int px) {
    Chart->SetLaneHeight(px);
    SaveLayout();
  });
  connect(LaneList, &QListWidget::itemChanged, this, [this](QListWidgetItem* item) {
    Chart->SetLaneVisible(item->data(Qt::UserRole).toInt(), item->checkState() == Qt::Checked);
  });
  // Home shows everything wherever the focus is in the window.
  auto* home = new QShortcut(QKeySequence(Qt::Key_Home), this);
  home->setContext(Qt::WindowShortcut);
  connect(home, &QShortcut::activated, Chart, &FlightChart::ShowAll);
  // Escape closes the window, as it does a dialog; the flight in hand stays.
  auto* close = new QShortcut(QKeySequence(Qt::Key_Escape), this);
  close->setContext(Qt::WindowShortcut);
  connect(close, &QShortcut::activated, this, &QWidget::close);

  QSize want(1100, 760);
  if (const QScreen* s = QGuiApplication::primaryScreen())
    want = want.boundedTo(s->availableGeometry().size() * 0.95);
  resize(want);
  // Room for the table's rows below the lanes, and most of the width for the lanes.
  split->setSizes({want.height() * 62 / 100, want.height() * 38 / 100});
  upper->setSizes({want.width() * 3 / 4, want.width() / 4});
  upper_ = upper;
  split_ = split;
  RestoreLayout();
}

namespace {
constexpr const char* kLayoutSection = "Flugauswertung";

QString SizesText(const QSplitter* s) {
  QStringList parts;
  for (int v : s->sizes()) parts << QString::number(v);
  return parts.join(QLatin1Char(','));
}

void RestoreSizes(QSplitter* s, const std::string& text) {
  QList<int> sizes;
  for (const QString& part : QString::fromStdString(text).split(QLatin1Char(','))) {
    bool ok = false;
    const int v = part.toInt(&ok);
    if (!ok || v < 0 || v > 20000) return;
    sizes << v;
  }
  if (sizes.size() == s->count()) s->setSizes(sizes);
}
}  // namespace

void AnalysisWindow::RestoreLayout() {
  auto get = [](const char* key) {
    return GetProfileString(kLayoutSection, key, "", kAnalysisLayoutFile);
  };
  bool ok = false;
  const int px = QString::fromStdString(get("Spurhoehe")).toInt(&ok);
  {
    const QSignalBlocker block(LaneHeight);
    LaneHeight->setValue(ok ? px : Chart->MinimumLaneHeight());
  }
  Chart->SetLaneHeight(LaneHeight->value());
  const QStringList size = QString::fromStdString(get("Fenster")).split(QLatin1Char('x'));
  if (size.size() == 2 && size[0].toInt() >= 400 && size[1].toInt() >= 300)
    resize(size[0].toInt(), size[1].toInt());
  RestoreSizes(upper_, get("Teilung"));
  RestoreSizes(split_, get("Tabelle"));
}

void AnalysisWindow::SaveLayout() const {
  // Each key on its own: a failed write loses a layout, never the settings.
  WriteProfileString(kLayoutSection, "Spurhoehe", std::to_string(LaneHeight->value()),
                     kAnalysisLayoutFile);
  WriteProfileString(kLayoutSection, "Fenster",
                     std::to_string(width()) + "x" + std::to_string(height()), kAnalysisLayoutFile);
  WriteProfileString(kLayoutSection, "Teilung", SizesText(upper_).toStdString(),
                     kAnalysisLayoutFile);
  WriteProfileString(kLayoutSection, "Tabelle", SizesText(split_).toStdString(),
                     kAnalysisLayoutFile);
}

void AnalysisWindow::hideEvent(QHideEvent* e) {
  SaveLayout();
  QWidget::hideEvent(e);
}

void AnalysisWindow::ShowFlight(std::shared_ptr<const Flight> flight, bool newFlight,
                                const FlightOptions& options) {
  flight_ = std::move(flight);
  options_ = options;
  Chart->SetFlight(flight_, options_);
  Track->SetFlight(flight_);
  ApplyTrackColour();
  FillLaneList();
  if (!flight_) {
    NoticeLabel->setText(QStringLiteral("Kein Flug zur Hand"));
  } else if (newFlight) {
    NoticeLabel->setText(QStringLiteral("Neuer Flug übernommen: ") + SourceText(*flight_));
  } else {
    NoticeLabel->setText(QStringLiteral("Flug: ") + SourceText(*flight_));
  }
  UpdateStats();
}

void AnalysisWindow::SetOptions(const FlightOptions& options) {
  options_ = options;
  Chart->SetOptions(options_);
  ApplyTrackColour();
  FillLaneList();
  UpdateStats();
  emit OptionsChanged();
}

void AnalysisWindow::FillLaneList() {
  const QSignalBlocker block(LaneList);
  const int current = std::max(LaneList->currentRow(), 0);
  LaneList->clear();
  if (!flight_) return;
  for (const AnalysisChannel& c : Chart->Channels()) {
    auto* item = new QListWidgetItem(QString::fromStdString(c.name), LaneList);
    item->setData(Qt::UserRole, c.id);
    item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
    item->setCheckState(Chart->LaneVisible(c.id) ? Qt::Checked : Qt::Unchecked);
  }
  if (LaneList->count() > 0) LaneList->setCurrentRow(std::min(current, LaneList->count() - 1));
}

void AnalysisWindow::UpdateStats() {
  const int32_t a = Chart->CursorRecord(FlightChart::A), b = Chart->CursorRecord(FlightChart::B);
  Track->SetCursors(a, b);
  const std::vector<ChannelId> lanes = Chart->ShownLanes();
  if (!flight_ || flight_->Empty()) {
    StatsTable->setRowCount(0);
    TimeLabel->setText(QString());
    return;
  }
  const double dt = flight_->SampleInterval();
  const QString active =
      Chart->ActiveCursor() == FlightChart::A ? QStringLiteral("A") : QStringLiteral("B");
  const double seconds = SecondsBetween(a, b, dt);
  TimeLabel->setText(
      QStringLiteral("A: %1 (Datensatz %2)   B: %3 (Datensatz %4)   Zeit zwischen A und B: %5   "
                     "aktiver Cursor: %6")
          .arg(QString::fromStdString(FormatHms(a * dt)))
          .arg(a)
          .arg(QString::fromStdString(FormatHms(b * dt)))
          .arg(b)
          .arg(QString::fromStdString(FormatHms(seconds)))
          .arg(active));
  std::vector<std::array<QString, kStatsColumns>> rows;
  for (ChannelId id : lanes) {
    const AnalysisChannel& c = *Chart->Channel(id);
    const CursorStats s = StatsOf(c.values, a, b);
    rows.push_back({QString::fromStdString(c.name), QString::fromStdString(FormatValue(c, s.atA)),
                    QString::fromStdString(FormatValue(c, s.atB)),
                    QString::fromStdString(FormatValue(c, s.difference)),
                    QString::fromStdString(FormatValue(c, s.min)),
                    QString::fromStdString(FormatValue(c, s.max)),
                    QString::fromStdString(FormatValue(c, s.mean, c.decimals == 0 ? 2 : 0)),
                    QString::fromStdString(c.unit)});
  }
  // Between A and B: how much higher, how fast the climb, how far and how fast the flight.
  auto summary = [&](const char* name, const std::string& value, const char* unit) {
    std::array<QString, kStatsColumns> row;
    row[0] = QString::fromUtf8(name);
    row[3] = QString::fromStdString(value);
    row[7] = QString::fromUtf8(unit);
    rows.push_back(row);
  };
  const int32_t from = std::min(a, b), to = std::max(a, b);
  if (const AnalysisChannel* alt = Chart->Channel(kAdc16); alt && Chart->Channel(kClimbRate)) {
    // As the column says, B − A; the climb over the time from A to B.
    const double dh = alt->values[static_cast<size_t>(b)] - alt->values[static_cast<size_t>(a)];
    summary("Höhenunterschied", GermanNumber(dh, 1), "m");
    summary("mittleres Steigen", a != b ? GermanNumber(dh / ((b - a) * dt), 2) : "–", "m/s");
  }
  if (const AnalysisChannel* track = Chart->Channel(kTrackLength)) {
    const CursorStats s = StatsOf(track->values, from, to);
    const double km = s.counted ? s.max - s.min : std::nan("");
    summary("geflogene Strecke", GermanNumber(km, 3), "km");
    summary("mittlere Geschwindigkeit", seconds > 0 ? GermanNumber(km / seconds * 3600, 1) : "–",
            "km/h");
  }
  UpdateReadout();
  StatsTable->setRowCount(static_cast<int>(rows.size()));
  for (size_t row = 0; row < rows.size(); ++row) {
    for (int col = 0; col < kStatsColumns; ++col) {
      QTableWidgetItem* item = StatsTable->item(static_cast<int>(row), col);
      if (!item) {
        item = new QTableWidgetItem;
        if (col > 0 && col < kStatsColumns - 1)
          item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
        StatsTable->setItem(static_cast<int>(row), col, item);
      }
      item->setText(rows[row][static_cast<size_t>(col)]);
    }
  }
}

void AnalysisWindow::ApplyTrackColour() {
  const int id = TrackColour->currentData().toInt();
  Track->SetColouring(id >= 0 ? Chart->Channel(id) : nullptr);
}

void AnalysisWindow::UpdateReadout() {
  // Under the mouse while it is over the lanes; else at the active cursor, so moving a
  // cursor by keys reads its values out too (the label's changes reach screen readers).
  const int32_t hover = Chart->HoverRecord();
  const bool atMouse = hover >= 0;
  const FlightChart::Cursor c = Chart->ActiveCursor();
  const int32_t record = atMouse ? hover : Chart->CursorRecord(c);
  const QStringList lines = Chart->ReadoutLines(record);
  if (lines.isEmpty()) {
    ReadoutLabel->clear();
    ReadoutLabel->setAccessibleName(QStringLiteral("Werte"));
    return;
  }
  const QString where = atMouse               ? QStringLiteral("Maus")
                        : c == FlightChart::A ? QStringLiteral("A")
                                              : QStringLiteral("B");
  ReadoutLabel->setText(where + QStringLiteral(" – ") + lines.join(QStringLiteral(" · ")));
  // The name carries the values, so a screen reader announces each change.
  ReadoutLabel->setAccessibleName(QStringLiteral("Werte: ") + ReadoutLabel->text());
}

QImage AnalysisWindow::DiagramImage() const {
  const QSize chart = Chart->size(), track = Track->size();
  QImage img(chart.width() + track.width(), std::max(chart.height(), track.height()),
             QImage::Format_RGB32);
  img.fill(Qt::white);
  QPainter p(&img);
  p.setFont(Chart->font());
  Chart->Render(p, chart, true);
  Track->Render(p, QRect(QPoint(chart.width(), 0), track));
  return img;
}

void AnalysisWindow::WriteDiagram(const std::string& path) const {
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  const QString name = QString::fromStdString(path);
  if (name.endsWith(QStringLiteral(".pdf"), Qt::CaseInsensitive)) {
    // As vectors, on a page of the diagram's proportions.
    const QSize chart = Chart->size(), track = Track->size();
    const QSize all(chart.width() + track.width(), std::max(chart.height(), track.height()));
    QPdfWriter pdf(&buffer);
    pdf.setTitle(QStringLiteral("Flugauswertung"));
    pdf.setCreator(QStringLiteral("Morvala"));
    pdf.setResolution(96);
    pdf.setPageMargins(QMarginsF(0, 0, 0, 0));
    pdf.setPageSize(QPageSize(QSizeF(all.width() * 25.4 / 96, all.height() * 25.4 / 96),
                              QPageSize::Millimeter));
    QPainter p(&pdf);
    p.setFont(Chart->font());
    Chart->Render(p, chart, true);
    Track->Render(p, QRect(QPoint(chart.width(), 0), track));
  } else {
    DiagramImage().save(&buffer, "PNG");
  }
  buffer.close();
  AtomicFile::WriteWhole(path, bytes.toStdString());
}

void AnalysisWindow::SaveImageClick() {
  if (!io_) return;
  const std::string folder = flight_ ? FolderOf(flight_->filePath) : std::string();
  const auto chosen = io_->SaveFileName("PNG-Bild (*.png);;PDF-Dokument (*.pdf)",
                                        InFolder(folder, "flugauswertung.png"));
  if (!chosen || chosen->empty()) return;
  const std::string path = WithExtension(*chosen, {".png", ".pdf"});
  if (PathExists(path) && !io_->Confirm(ReplaceQuestion(path))) return;
  WriteDiagram(path);
  io_->SetStatusColor(StatusColorSuccess);
  io_->SetStatusText(1, "Bild gespeichert: " + path);
  io_->RepaintStatus();
}

void AnalysisWindow::ChannelsClick() {
  if (!flight_) return;
  ChannelDialog dialog(*flight_, options_, this);
  if (dialog.exec() != QDialog::Accepted) return;
  const auto entered = dialog.Entered();
  if (!entered) return;
  SetOptions(*entered);
  SaveChannelProfile(options_.profile);
}

void AnalysisWindow::SaveCsvClick() {
  if (!io_ || !flight_ || flight_->Empty()) return;
  std::string base = "flug";
  if (flight_->source == FlightSource::File && !flight_->fileName.empty()) {
    base = flight_->fileName;
    if (base.size() > 4 &&
        QString::fromStdString(base).endsWith(QStringLiteral(".csv"), Qt::CaseInsensitive))
      base.resize(base.size() - 4);
  }
  const auto chosen = io_->SaveFileName(
      "CSV-Dateien (*.csv)", InFolder(FolderOf(flight_->filePath), base + "-auswertung.csv"));
  if (!chosen || chosen->empty()) return;
  const std::string path = WithExtension(*chosen, {".csv"});
  if (PathExists(path) && !io_->Confirm(ReplaceQuestion(path))) return;
  const int32_t a = Chart->CursorRecord(FlightChart::A), b = Chart->CursorRecord(FlightChart::B);
  WriteAnalysisCsvFile(path, *flight_, options_, a, b);
  io_->SetStatusColor(StatusColorSuccess);
  io_->SetStatusText(1, "Auswertung gespeichert: " + std::to_string(std::abs(b - a) + 1) +
                            " Datensätze in " + path);
  io_->RepaintStatus();
}
