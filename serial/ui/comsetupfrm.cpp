// TComSetupFrm: construction at the design's geometry, the font, running and applying.
#include "serial/ui/comsetupfrm.h"

#include <QApplication>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QScreen>

namespace {

constexpr int kClientWidth = 231;
constexpr int kClientHeight = 216;
constexpr int kLabelWidth = 70;  // from x 8 up to the lists at x 80, less a gap
constexpr int kListWidth = 129;
constexpr int kListHeight = 21;
constexpr int kButtonWidth = 75;
constexpr int kButtonHeight = 25;

QFont DialogFont() {
  QFont font;
  if (QFontDatabase::families().contains(QStringLiteral("MS Sans Serif"), Qt::CaseInsensitive))
    font = QFont(QStringLiteral("MS Sans Serif"));
  else
    font = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
  font.setPointSize(8);
  return font;
}

}  // namespace

TComSetupFrm::TComSetupFrm(TCustomComPort& port, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint),
      port_(port) {
  setObjectName(QStringLiteral("ComSetupFrm"));
  setWindowTitle(QStringLiteral("Setup"));
  setFont(DialogFont());
  setFixedSize(kClientWidth, kClientHeight);

  GroupBox1 = new QGroupBox(QStringLiteral(" Settings "), this);
  GroupBox1->setObjectName(QStringLiteral("GroupBox1"));
  GroupBox1->setGeometry(8, 8, 217, 169);

  const char* captions[6] = {"Port",      "Baud rate", "Data bits",
                             "Stop bits", "Parity",    "Flow control"};
  const TComProperty properties[6] = {cpPort,     cpBaudRate, cpDataBits,
                                      cpStopBits, cpParity,   cpFlowControl};
  QLabel** labels[6] = {&Label1, &Label2, &Label3, &Label4, &Label5, &Label6};
  TComComboBox** combos[6] = {&Combo1, &Combo2, &Combo3, &Combo4, &Combo5, &Combo6};
  for (int i = 0; i < 6; ++i) {
    QLabel* label = new QLabel(QString::fromLatin1(captions[i]), GroupBox1);
    label->setObjectName(QStringLiteral("Label%1").arg(i + 1));
    *labels[i] = label;
    TComComboBox* combo = new TComComboBox(GroupBox1);
    combo->setObjectName(QStringLiteral("Combo%1").arg(i + 1));
    combo->setGeometry(80, 16 + 24 * i, kListWidth, kListHeight);
    *combos[i] = combo;
  }

  Button1 = new QPushButton(QStringLiteral("OK"), this);
  Button1->setObjectName(QStringLiteral("Button1"));
  Button1->setGeometry(70, 184, kButtonWidth, kButtonHeight);
  Button1->setDefault(true);
  connect(Button1, &QPushButton::clicked, this, &QDialog::accept);
  Button2 = new QPushButton(QStringLiteral("Cancel"), this);
  Button2->setObjectName(QStringLiteral("Button2"));
  Button2->setGeometry(150, 184, kButtonWidth, kButtonHeight);
  connect(Button2, &QPushButton::clicked, this, &QDialog::reject);

  QWidget::setTabOrder(Combo1, Combo2);
  QWidget::setTabOrder(Combo2, Combo3);
  QWidget::setTabOrder(Combo3, Combo4);
  QWidget::setTabOrder(Combo4, Combo5);
  QWidget::setTabOrder(Combo5, Combo6);
  QWidget::setTabOrder(Combo6, Button1);
  QWidget::setTabOrder(Button1, Button2);

  FitFont();

  // Fill, then bind in the order Combo1 to Combo6; the Port list may raise here.
  for (int i = 0; i < 6; ++i) {
    (*combos[i])->SetComPort(&port_);
    (*combos[i])->SetComProperty(properties[i]);
  }

  QScreen* screen = parent != nullptr ? parent->screen() : QGuiApplication::primaryScreen();
  if (screen != nullptr) {
    QRect area = screen->availableGeometry();
    move(area.center() - QPoint(kClientWidth / 2, kClientHeight / 2));
  }
  Combo1->setFocus();
}

// Shrinks the font until every caption fits its control; with "MS Sans Serif" or a
// desktop sans-serif of usual metrics at 8 points nothing changes.
void TComSetupFrm::FitFont() {
  QFont font = this->font();
  for (int attempt = 0; attempt < 8; ++attempt) {
    QFontMetrics fm(font);
    bool fits = fm.horizontalAdvance(GroupBox1->title()) <= GroupBox1->width() - 16;
    for (QLabel* l : {Label1, Label2, Label3, Label4, Label5, Label6})
      fits = fits && fm.horizontalAdvance(l->text()) <= kLabelWidth;
    for (QPushButton* b : {Button1, Button2})
      fits = fits && fm.horizontalAdvance(b->text()) <= kButtonWidth - 12;
    fits = fits && fm.height() <= kListHeight - 4;
    if (fits) break;
    if (font.pixelSize() > 0)
      font.setPixelSize(font.pixelSize() - 1);
    else
      font.setPixelSize(std::max(6, QFontInfo(font).pixelSize() - 1));
  }
  setFont(font);
  QFontMetrics fm(font);
  int labelHeight = std::max(13, fm.height());
  QLabel* labels[6] = {Label1, Label2, Label3, Label4, Label5, Label6};
  for (int i = 0; i < 6; ++i) labels[i]->setGeometry(8, 24 + 24 * i, kLabelWidth, labelHeight);
}

int TComSetupFrm::Execute() { return exec(); }

void TComSetupFrm::ApplySettings() {
  port_.LockSettings();
  try {
    for (TComComboBox* combo : {Combo1, Combo2, Combo3, Combo4, Combo5, Combo6})
      combo->ApplySettings();
  } catch (...) {
    // Without the unlock the counter would stay up and no setting would reach the
    // device again; the first failure is the one reported.
    try {
      port_.UnlockSettings();
    } catch (...) {
    }
    throw;
  }
  port_.UnlockSettings();
}

void RunComSetupFrm(TCustomComPort& port) {
  TComSetupFrm frm(port, QApplication::activeWindow());
  if (frm.Execute() == QDialog::Accepted) frm.ApplySettings();
}

void InstallSetupDialog() { TCustomComPort::SetupDialogRunner() = RunComSetupFrm; }
