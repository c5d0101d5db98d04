#include "app/channeldialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDateTimeEdit>
#include <QDialogButtonBox>
#include <QDoubleSpinBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPushButton>
#include <QRegularExpression>
#include <QTableWidget>
#include <QTimeZone>
#include <QVBoxLayout>
#include <cmath>

#include "analysis/stats.h"
#include "formats/channelprofiles.h"

using namespace analysis;

namespace {

const QLocale kGerman(QLocale::German, QLocale::Germany);

QString Number(double v) {
  return QString::fromStdString(GermanNumber(v, 10))
      .remove(QRegularExpression("0+$"))
      .remove(QRegularExpression(",$"));
}

// A number as a German user types it (decimal comma; a point is taken too).
std::optional<double> ReadNumber(const QString& text) {
  bool ok = false;
  double v = kGerman.toDouble(text.trimmed(), &ok);
  if (!ok) v = QLocale::c().toDouble(text.trimmed(), &ok);
  if (!ok || !std::isfinite(v)) return std::nullopt;
  return v;
}

QLineEdit* NumberEdit(QWidget* parent, const QString& accessible) {
  auto* e = new QLineEdit(parent);
  e->setAccessibleName(accessible);
  e->setMaximumWidth(90);
  return e;
}

}  // namespace

ChannelDialog::ChannelDialog(const Flight& flight, const FlightOptions& options, QWidget* parent)
    : QDialog(parent), options_(options) {
  setObjectName(QStringLiteral("ChannelDialog"));
  setWindowTitle(QStringLiteral("Kanäle"));
  setAccessibleName(QStringLiteral("Kanäle"));

  auto* profileBox = new QGroupBox(QStringLiteral("Kanäle des Loggers"), this);
  Table = new QTableWidget(0, kColumns, profileBox);
  Table->setObjectName(QStringLiteral("ChannelTable"));
  Table->setAccessibleName(QStringLiteral("Kanäle des Loggers"));
  Table->setHorizontalHeaderLabels({QStringLiteral("Kanal"), QStringLiteral("Name"),
                                    QStringLiteral("Einheit"), QStringLiteral("Nachkommastellen"),
                                    QStringLiteral("kalibriert"), QStringLiteral("Faktor"),
                                    QStringLiteral("Offset")});
  Table->verticalHeader()->hide();
  Table->setTabKeyNavigation(false);
  Table->setSelectionBehavior(QAbstractItemView::SelectRows);
  Table->setSelectionMode(QAbstractItemView::SingleSelection);
  Table->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
  Table->horizontalHeader()->setStretchLastSection(true);
  for (const LaneInfo& l : flight.RecordedLanes()) {
    if (l.column == kLatitude || l.column == kLongitude) continue;  // always in degrees
    const int row = Table->rowCount();
    Table->insertRow(row);
    rows_.push_back(l.column);
    auto* channel = new QTableWidgetItem(QString::fromUtf8(l.name));
    channel->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
    Table->setItem(row, kChannel, channel);
  }
  FillTable(options.profile);
  if (Table->rowCount() > 0) Table->setCurrentCell(0, kName);

  // A flight without a serial number may use any logger's profile.
  ProfileChoice = new QComboBox(profileBox);
  ProfileChoice->setObjectName(QStringLiteral("ProfileChoice"));
  ProfileChoice->setAccessibleName(QStringLiteral("Profil"));
  ProfileChoice->addItem(QString::fromStdString(ProfileTitle(options.profile)),
                         QString::fromStdString(options.profile.serial));
  if (flight.serialNumber == 0) {
    for (const std::string& serial : SavedProfileSerials()) {
      if (serial == options.profile.serial) continue;
      ChannelProfile other;
      other.serial = serial;
      ProfileChoice->addItem(QString::fromStdString(ProfileTitle(other)),
                             QString::fromStdString(serial));
    }
  }
  ProfileChoice->setEnabled(ProfileChoice->count() > 1);
  auto* choiceRow = new QHBoxLayout;
  auto* choiceLabel = new QLabel(QStringLiteral("P&rofil:"), profileBox);
  choiceLabel->setBuddy(ProfileChoice);
  choiceRow->addWidget(choiceLabel);
  choiceRow->addWidget(ProfileChoice, 1);

  // Two reference points for the selected channel.
  Raw1 = NumberEdit(profileBox, QStringLiteral("Rohwert 1"));
  Value1 = NumberEdit(profileBox, QStringLiteral("Wert 1"));
  Raw2 = NumberEdit(profileBox, QStringLiteral("Rohwert 2"));
  Value2 = NumberEdit(profileBox, QStringLiteral("Wert 2"));
  auto* apply = new QPushButton(QStringLiteral("&Faktor und Offset berechnen"), profileBox);
  apply->setObjectName(QStringLiteral("TwoPointsButton"));
  apply->setAccessibleName(QStringLiteral("Faktor und Offset aus zwei Bezugspunkten berechnen"));
  apply->setAutoDefault(false);
  auto* points = new QHBoxLayout;
  points->addWidget(new QLabel(QStringLiteral("Bezugspunkte: roh"), profileBox));
  points->addWidget(Raw1);
  points->addWidget(new QLabel(QStringLiteral("→"), profileBox));
  points->addWidget(Value1);
  points->addWidget(new QLabel(QStringLiteral("und roh"), profileBox));
  points->addWidget(Raw2);
  points->addWidget(new QLabel(QStringLiteral("→"), profileBox));
  points->addWidget(Value2);
  points->addWidget(apply);
  points->addStretch(1);

  AltitudeMethod = new QComboBox(profileBox);
  AltitudeMethod->setObjectName(QStringLiteral("AltitudeMethod"));
  AltitudeMethod->setAccessibleName(QStringLiteral("Höhe aus dem 16-Bit-ADC"));
  AltitudeMethod->addItem(QStringLiteral("wie die anderen Kanäle (roh oder kalibriert)"));
  AltitudeMethod->addItem(QStringLiteral("Kalibrierung ergibt hPa, Höhe nach Standardatmosphäre"));
  AltitudeMethod->addItem(QStringLiteral("Kalibrierung ergibt die Höhe in Metern"));
  AltitudeMethod->setCurrentIndex(static_cast<int>(options.profile.altitude));
  auto* methodRow = new QFormLayout;
  auto* methodLabel = new QLabel(QStringLiteral("&Höhe aus dem 16-Bit-ADC:"), profileBox);
  methodLabel->setBuddy(AltitudeMethod);
  methodRow->addRow(methodLabel, AltitudeMethod);

  auto* profileLayout = new QVBoxLayout(profileBox);
  profileLayout->addLayout(choiceRow);
  profileLayout->addWidget(Table, 1);
  profileLayout->addLayout(points);
  profileLayout->addLayout(methodRow);

  // This flight.
  auto* flightBox = new QGroupBox(QStringLiteral("Dieser Flug"), this);
  Reference = new QComboBox(flightBox);
  Reference->setObjectName(QStringLiteral("Reference"));
  Reference->setAccessibleName(QStringLiteral("Bezug der Höhe"));
  Reference->addItem(QStringLiteral("QNH"));
  Reference->addItem(QStringLiteral("Platzhöhe beim Start"));
  Reference->setCurrentIndex(options.reference == AltitudeReference::Qnh ? 0 : 1);
  Qnh = new QDoubleSpinBox(flightBox);
  Qnh->setObjectName(QStringLiteral("Qnh"));
  Qnh->setAccessibleName(QStringLiteral("QNH in hPa"));
  Qnh->setLocale(kGerman);
  Qnh->setRange(850, 1100);
  Qnh->setDecimals(2);
  Qnh->setSuffix(QStringLiteral(" hPa"));
  Qnh->setValue(options.qnhHpa);
  FieldElevation = new QDoubleSpinBox(flightBox);
  FieldElevation->setObjectName(QStringLiteral("FieldElevation"));
  FieldElevation->setAccessibleName(QStringLiteral("Platzhöhe beim Start in Metern"));
  FieldElevation->setLocale(kGerman);
  FieldElevation->setRange(-500, 9000);
  FieldElevation->setDecimals(1);
  FieldElevation->setSuffix(QStringLiteral(" m"));
  FieldElevation->setValue(options.fieldElevationM);
  AboveStart = new QCheckBox(QStringLiteral("Höhe ü&ber Start"), flightBox);
  AboveStart->setObjectName(QStringLiteral("AboveStart"));
  AboveStart->setAccessibleName(QStringLiteral("Höhe über Start"));
  AboveStart->setChecked(options.aboveStart);
  ClimbWindow = new QDoubleSpinBox(flightBox);
  ClimbWindow->setObjectName(QStringLiteral("ClimbWindow"));
  ClimbWindow->setAccessibleName(QStringLiteral("Fenster des Steigens in Sekunden"));
  ClimbWindow->setLocale(kGerman);
  ClimbWindow->setRange(0.1, 10);
  ClimbWindow->setDecimals(1);
  ClimbWindow->setSuffix(QStringLiteral(" s"));
  ClimbWindow->setValue(options.climbWindowS);
  TakeOffGiven = new QCheckBox(QStringLiteral("&Startzeit:"), flightBox);
  TakeOffGiven->setObjectName(QStringLiteral("TakeOffGiven"));
  TakeOffGiven->setAccessibleName(QStringLiteral("Startzeit angeben"));
  TakeOff = new QDateTimeEdit(flightBox);
  TakeOff->setObjectName(QStringLiteral("TakeOff"));
  TakeOff->setAccessibleName(QStringLiteral("Startzeit, Datum und Uhrzeit"));
  TakeOff->setLocale(kGerman);
  TakeOff->setDisplayFormat(QStringLiteral("dd.MM.yyyy HH:mm:ss"));
  TakeOff->setCalendarPopup(true);
  TakeOffGiven->setChecked(options.takeOffUtc.has_value());
  TakeOff->setDateTime(options.takeOffUtc ? QDateTime::fromSecsSinceEpoch(*options.takeOffUtc)
                                          : QDateTime::currentDateTime().addSecs(
                                                -QDateTime::currentDateTime().time().second()));
  TakeOff->setEnabled(TakeOffGiven->isChecked());
  // Only the reference chosen can be entered.
  auto referenceChosen = [this] {
    Qnh->setEnabled(Reference->currentIndex() == 0);
    FieldElevation->setEnabled(Reference->currentIndex() == 1);
  };
  referenceChosen();
  connect(Reference, &QComboBox::currentIndexChanged, this, referenceChosen);
  connect(TakeOffGiven, &QCheckBox::toggled, TakeOff, &QWidget::setEnabled);
  auto* flightLayout = new QFormLayout(flightBox);
  auto add = [&](const QString& caption, QWidget* field) {
    auto* l = new QLabel(caption, flightBox);
    l->setBuddy(field);
    flightLayout->addRow(l, field);
  };
  add(QStringLiteral("Bezu&g:"), Reference);
  add(QStringLiteral("&QNH:"), Qnh);
  add(QStringLiteral("&Platzhöhe beim Start:"), FieldElevation);
  flightLayout->addRow(QString(), AboveStart);
  add(QStringLiteral("Fenster des Steigens:"), ClimbWindow);
  flightLayout->addRow(TakeOffGiven, TakeOff);

  Message = new QLabel(this);
  Message->setObjectName(QStringLiteral("Message"));
  Message->setAccessibleName(QStringLiteral("Hinweis"));
  Message->setWordWrap(true);
  Message->setStyleSheet(QStringLiteral("color: #a00000"));
  auto* buttons = new QDialogButtonBox(this);
  QPushButton* ok = buttons->addButton(QStringLiteral("OK"), QDialogButtonBox::AcceptRole);
  ok->setAccessibleName(QStringLiteral("OK"));
  QPushButton* cancel =
      buttons->addButton(QStringLiteral("Abbrechen"), QDialogButtonBox::RejectRole);
  cancel->setAccessibleName(QStringLiteral("Abbrechen"));
  connect(buttons, &QDialogButtonBox::accepted, this, &ChannelDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  connect(apply, &QPushButton::clicked, this, &ChannelDialog::ApplyTwoPoints);
  connect(ProfileChoice, &QComboBox::currentIndexChanged, this, [this] {
    const std::string serial = ProfileChoice->currentData().toString().toStdString();
    LoadedProfile loaded = LoadChannelProfile(serial);
    options_.profile = loaded.profile;
    FillTable(options_.profile);
    AltitudeMethod->setCurrentIndex(static_cast<int>(options_.profile.altitude));
    Message->setText(QString::fromStdString(loaded.problem));
  });

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(profileBox, 1);
  layout->addWidget(flightBox);
  layout->addWidget(Message);
  layout->addWidget(buttons);
  resize(820, 640);
}

void ChannelDialog::FillTable(const ChannelProfile& profile) {
  for (int row = 0; row < Table->rowCount(); ++row) {
    const ChannelSetting& s = profile.channels[rows_[static_cast<size_t>(row)]];
    Table->setItem(row, kName, new QTableWidgetItem(QString::fromStdString(s.name)));
    Table->setItem(row, kUnit, new QTableWidgetItem(QString::fromStdString(s.unit)));
    Table->setItem(row, kDecimals, new QTableWidgetItem(QString::number(s.decimals)));
    auto* cal = new QTableWidgetItem;
    cal->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
    cal->setCheckState(s.calibrated ? Qt::Checked : Qt::Unchecked);
    Table->setItem(row, kCalibrated, cal);
    Table->setItem(row, kFactor, new QTableWidgetItem(Number(s.linear.factor)));
    Table->setItem(row, kOffset, new QTableWidgetItem(Number(s.linear.offset)));
  }
}

void ChannelDialog::ApplyTwoPoints() {
  const int row = Table->currentRow();
  const auto r1 = ReadNumber(Raw1->text()), v1 = ReadNumber(Value1->text());
  const auto r2 = ReadNumber(Raw2->text()), v2 = ReadNumber(Value2->text());
  if (row < 0 || !r1 || !v1 || !r2 || !v2) {
    Message->setText(
        QStringLiteral("Bitte einen Kanal wählen und beide Bezugspunkte als Zahlen angeben."));
    return;
  }
  const auto c = FromTwoPoints(*r1, *v1, *r2, *v2);
  if (!c) {
    Message->setText(QStringLiteral(
        "Die beiden Bezugspunkte haben denselben Rohwert: durch sie geht keine Gerade."));
    return;
  }
  Table->item(row, kFactor)->setText(Number(c->factor));
  Table->item(row, kOffset)->setText(Number(c->offset));
  Table->item(row, kCalibrated)->setCheckState(Qt::Checked);
  Message->setText(QStringLiteral("Faktor und Offset für „%1“ berechnet.")
                       .arg(Table->item(row, kChannel)->text()));
}

std::optional<FlightOptions> ChannelDialog::Entered() {
  FlightOptions o = options_;
  for (int row = 0; row < Table->rowCount(); ++row) {
    ChannelSetting& s = o.profile.channels[rows_[static_cast<size_t>(row)]];
    const QString channel = Table->item(row, kChannel)->text();
    s.name = Table->item(row, kName)->text().trimmed().toStdString();
    s.unit = Table->item(row, kUnit)->text().trimmed().toStdString();
    s.calibrated = Table->item(row, kCalibrated)->checkState() == Qt::Checked;
    bool ok = false;
    const int decimals = Table->item(row, kDecimals)->text().trimmed().toInt(&ok);
    const auto factor = ReadNumber(Table->item(row, kFactor)->text());
    const auto offset = ReadNumber(Table->item(row, kOffset)->text());
    QString problem;
    if (!ok || decimals < 0 || decimals > 6)
      problem = QStringLiteral("die Nachkommastellen müssen 0 bis 6 sein");
    else if (!factor || !offset)
      problem = QStringLiteral("Faktor und Offset müssen Zahlen sein");
    else if (s.calibrated && *factor == 0)
      problem = QStringLiteral("der Faktor darf nicht 0 sein");
    if (!problem.isEmpty()) {
      Message->setText(QStringLiteral("Kanal „%1“: %2.").arg(channel, problem));
      Table->setCurrentCell(row, kFactor);
      return std::nullopt;
    }
    s.decimals = decimals;
    s.linear = {*factor, *offset};
  }
  o.profile.altitude = static_cast<analysis::AltitudeMethod>(AltitudeMethod->currentIndex());
  o.reference =
      Reference->currentIndex() == 0 ? AltitudeReference::Qnh : AltitudeReference::FieldElevation;
  o.qnhHpa = Qnh->value();
  o.fieldElevationM = FieldElevation->value();
  o.aboveStart = AboveStart->isChecked();
  o.climbWindowS = ClimbWindow->value();
  if (TakeOffGiven->isChecked())
    o.takeOffUtc = TakeOff->dateTime().toSecsSinceEpoch();
  else
    o.takeOffUtc.reset();
  return o;
}

void ChannelDialog::accept() {
  if (Entered()) QDialog::accept();
}
