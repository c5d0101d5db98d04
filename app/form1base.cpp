#include "app/form1base.h"

#include "app/accessibility.h"
#include "app/fontfit.h"
#include "app/toolbaricons.h"

#include <QApplication>
#include <QFontDatabase>
#include <QFontInfo>
#include <QIcon>
#include <QScrollBar>
#include <QStyle>
#include <QTabBar>
#include <QTextDocument>
#include <algorithm>
#include <cmath>

namespace {

constexpr double kDesignPointSize = 8.0;
constexpr double kSmallestPointSize = 5.0;

// The width a control needs for its caption in its current font.
int CaptionWidth(QWidget* w) {
  const QFontMetrics fm(w->font());
  if (auto* cb = qobject_cast<QCheckBox*>(w)) return cb->sizeHint().width();
  if (auto* rb = qobject_cast<QRadioButton*>(w)) return rb->sizeHint().width();
  if (auto* pb = qobject_cast<QPushButton*>(w)) return fm.horizontalAdvance(pb->text()) + 8;
  if (auto* lb = qobject_cast<QLabel*>(w)) return fm.horizontalAdvance(lb->text());
  if (auto* gb = qobject_cast<QGroupBox*>(w)) return fm.horizontalAdvance(gb->title()) + 14;
  return 0;
}

// Shrinks the control's own font in half points until its caption fits.
void ShrinkToFit(QWidget* w, int available) {
  ShrinkWidgetFont(w, w->font(), available, kSmallestPointSize, [w] { return CaptionWidth(w); });
}

int Scaled(int v, double factor) { return static_cast<int>(std::lround(v * factor)); }

}  // namespace

QFont TForm1Base::DesignFont() {
  QFont f(QStringLiteral("MS Sans Serif"));
  f.setPointSizeF(kDesignPointSize);
  if (QFontInfo(f).family().compare(QStringLiteral("MS Sans Serif"), Qt::CaseInsensitive) != 0) {
    f = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
    f.setPointSizeF(kDesignPointSize);
    f.setBold(false);
    f.setItalic(false);
  }
  return f;
}

QStringList TForm1Base::FirmwareInstructionLines() {
  return {QStringLiteral("Firmwareupdate-Funktion"),
          QStringLiteral("===================="),
          QString(),
          QStringLiteral("1."),
          QStringLiteral("Pin 15 des PIC16F876 mit Masse "),
          QStringLiteral("verbinden."),
          QStringLiteral("Logger einschalten."),
          QStringLiteral("LED leuchtet."),
          QString(),
          QString(),
          QStringLiteral("2."),
          QStringLiteral("'Hex-File-auswählen' - Knopf "),
          QStringLiteral("anklicken und das zu brennende "),
          QStringLiteral("HEX-File auswählen."),
          QString(),
          QString(),
          QStringLiteral("3."),
          QStringLiteral("Das Hex-File wird in den Logger "),
          QStringLiteral("gebrannt."),
          QString(),
          QStringLiteral("4."),
          QStringLiteral("Brücke von Pin 15 entfernen.")};
}

template <class T>
T* TForm1Base::Make(T* w, const char* name, int left, int top, int width, int height) {
  w->setObjectName(QString::fromLatin1(name));
  w->setGeometry(left, top, width, height);
  designed_.push_back(w);
  return w;
}

QPushButton* TForm1Base::MakeButton(QWidget* parent, const char* name, int l, int t, int w, int h,
                                    const QString& caption, const QString& hint) {
  auto* b = Make(new QPushButton(caption, parent), name, l, t, w, h);
  if (!hint.isEmpty()) b->setToolTip(hint);
  b->setAutoDefault(false);
  return b;
}

QLabel* TForm1Base::MakeLabel(QWidget* parent, const char* name, int l, int t, const QString& text,
                              int width) {
  // Labels size themselves to their text, as an auto-sized label does; the labels whose
  // text the program sets later get the width their longest text needs.
  auto* lb = new QLabel(text, parent);
  const QFontMetrics fm(font());
  const int w = std::max(width, fm.horizontalAdvance(text));
  Make(lb, name, l, t, w, 13);
  lb->setTextFormat(Qt::PlainText);
  lb->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  return lb;
}

QToolButton* TForm1Base::MakeToolButton(const char* name, int left, const QIcon& icon,
                                        const QString& hint) {
  auto* b = Make(new QToolButton(ToolBar1), name, left, 2, 25, 23);
  b->setIcon(icon);
  b->setIconSize(QSize(16, 16));
  b->setToolTip(hint);
  b->setAutoRaise(true);
  // Reached with the Tab key, not focused by a click; named after its hint.
  b->setFocusPolicy(Qt::TabFocus);
  b->setAccessibleName(hint);
  return b;
}

QCheckBox* TForm1Base::MakeCheckBox(QGroupBox* box, const char* name, int l, int t,
                                    const QString& caption, const QString& hint) {
  // Column 0 at left 8, column 1 at left 88: each box keeps clear of the other column
  // and of the group's right edge.
  auto* cb = Make(new QCheckBox(caption, box), name, l, t, 78, 17);
  if (!hint.isEmpty()) cb->setToolTip(hint);
  return cb;
}

TForm1Base::TForm1Base(QWidget* parent) : QWidget(parent) {
  setObjectName(QStringLiteral("Form1"));
  setWindowTitle(QStringLiteral("Morvala V3.7 "));
  setFont(DesignFont());
  // The window's colour is the system's button face. (Setting the background role
  // instead would pass on to every control and turn their text roles into button text.)
  {
    QPalette pal = palette();
    pal.setColor(QPalette::Window, pal.color(QPalette::Button));
    setPalette(pal);
  }
  setAutoFillBackground(true);
  setFixedSize(kClientWidth, kClientHeight);
  setAttribute(Qt::WA_AlwaysShowToolTips);

  BuildToolBar();

  StatusBar1 = Make(new StatusBar(this), "StatusBar1", 0, 400, 641, 28);
  StatusBar1->SetPanelWidth(0, 70);
  StatusBar1->SetPanelWidth(1, 50);
  StatusBar1->SetPanelText(0, QStringLiteral("offline"));
  StatusBar1->SetPanelText(1, QStringLiteral("loggerstatus"));

  PageControl1 = Make(new QTabWidget(this), "PageControl1", 8, 40, 625, 353);
  TabSheet1 = new QWidget;
  TabSheet1->setObjectName(QStringLiteral("TabSheet1"));
  TabSheet2 = new QWidget;
  TabSheet2->setObjectName(QStringLiteral("TabSheet2"));
  PageControl1->addTab(TabSheet1, QStringLiteral("Logger auslesen und konfigurieren"));
  PageControl1->addTab(TabSheet2, QStringLiteral("Firmwareupdate"));
  TabSheet3 = new AnalysisPage;
  PageControl1->addTab(TabSheet3, QStringLiteral("Auswertung"));
  TabSheet4 = new LogbookPage(TabSheet3, PageControl1);
  PageControl1->addTab(TabSheet4, QStringLiteral("Flugbuch"));
  PageControl1->setCurrentIndex(0);
  PageControl1->setUsesScrollButtons(false);

  BuildTabSheet1();
  BuildCheckBoxes();
  BuildTabSheet2();
  FitCaptions();
  NameForAssistiveTechnology();
  SetTabOrder();
}

void TForm1Base::NameForAssistiveTechnology() {
  InstallWindowAccessibility();
  // The controls without a caption of their own get a name; the number fields take
  // theirs from the labels before them.
  Label2->setBuddy(SnMaskEdit);
  Label4->setBuddy(OffsetMaskEdit);
  PaintBox1->setAccessibleName(QStringLiteral("Höhenverlauf des Flugs"));
  PaintBox1->setAccessibleDescription(
      QStringLiteral("Linke Markierung mit Pfeil links und rechts, rechte Markierung mit "
                     "Umschalt und Pfeil, große Schritte mit Strg"));
  ProgressBar1->setAccessibleName(QStringLiteral("Fortschritt des Firmwareupdates"));
  Memo1->setAccessibleName(QStringLiteral("Protokoll des Firmwareupdates"));
  Memo2->setAccessibleName(QStringLiteral("Anleitung zum Firmwareupdate"));
  PageControl1->setAccessibleName(QStringLiteral("Seiten"));
  PageControl1->tabBar()->setAccessibleName(QStringLiteral("Seiten"));
}

std::vector<QWidget*> TForm1Base::TabChain() const {
  // The page control takes the focus on its tabs; the pages' controls follow them.
  std::vector<QWidget*> chain = {
      ToolButton1, SaveButton,   SetupButton,  ToolButton3, ExitButton, PageControl1->tabBar(),
      Startbutton, LoggerButton, ResetButton1, PaintBox1};
  for (RadioGroup* g : {RadioGroup1, DRadioGroup, LRadioGroup})
    for (int i = 0; i < g->Count(); ++i) chain.push_back(g->button(i));
  chain.push_back(SchreibButton1);
  // In each group the left column, then the right one, each top to bottom.
  for (const auto& boxes : {RecordBoxes(), TeleBoxes()}) {
    std::vector<QCheckBox*> sorted(boxes.begin(), boxes.end());
    std::stable_sort(sorted.begin(), sorted.end(), [](QCheckBox* a, QCheckBox* b) {
      return a->x() != b->x() ? a->x() < b->x() : a->y() < b->y();
    });
    chain.insert(chain.end(), sorted.begin(), sorted.end());
  }
  chain.push_back(SnMaskEdit);
  chain.push_back(OffsetMaskEdit);
  chain.push_back(Memo2);
  chain.push_back(Button1);
  chain.push_back(Memo1);
  return chain;
}

void TForm1Base::SetTabOrder() {
  // The tabs themselves take the focus, the page control around them does not: Tab
  // would otherwise reach the tabs a second time from the page control's own place in
  // the chain, and never come back to the tool bar.
  PageControl1->setFocusPolicy(Qt::NoFocus);
  PageControl1->tabBar()->setFocusPolicy(Qt::TabFocus);
  const std::vector<QWidget*> chain = TabChain();
  for (size_t i = 1; i < chain.size(); ++i) setTabOrder(chain[i - 1], chain[i]);
}

TForm1Base::~TForm1Base() = default;

void TForm1Base::BuildToolBar() {
  ToolBar1 = Make(new QFrame(this), "ToolBar1", 0, 0, 641, 33);
  ToolBar1->setFrameShape(QFrame::NoFrame);
  ToolButton1 =
      MakeToolButton("ToolButton1", 0, PrinterIcon(), QStringLiteral("Fenster ausdrucken"));
  SaveButton =
      MakeToolButton("SaveButton", 25, DiskIcon(), QStringLiteral("Daten für Excel speichern"));
  SaveButton->setEnabled(false);
  SetupButton =
      MakeToolButton("SetupButton", 50, PortIcon(), QStringLiteral("COM-Schnittstellen-Setup"));
  // The separator only keeps the space between the left and the right buttons.
  ToolButton2 = Make(new QWidget(ToolBar1), "ToolButton2", 75, 2, 510, 23);
  ToolButton3 = MakeToolButton("ToolButton3", 585, InfoIcon(), QStringLiteral("Programm-Info"));
  ExitButton = MakeToolButton("ExitButton", 610, ExitIcon(), QStringLiteral("Ende"));
}

void TForm1Base::BuildTabSheet1() {
  QWidget* p = TabSheet1;
  Startbutton = MakeButton(p, "Startbutton", 8, 48, 105, 25, QStringLiteral("Konfiguration lesen"),
                           QStringLiteral("Konfiguration des Loggers auslesen"));
  LoggerButton = MakeButton(p, "LoggerButton", 8, 88, 105, 25, QStringLiteral("Daten einlesen"),
                            QStringLiteral("Daten aus dem Speicher des Loggers auslesen"));
  ResetButton1 =
      MakeButton(p, "ResetButton1", 8, 128, 105, 25, QStringLiteral("zum Anfang"), QString());
  ResetButton1->setVisible(false);

  Label1 = MakeLabel(p, "Label1", 10, 170, QStringLiteral("Label1"), 108);
  FNLabel = MakeLabel(p, "FNLabel", 10, 190, QStringLiteral("Flugnummer:  ?"), 108);
  ZeitLabel = MakeLabel(p, "ZeitLabel", 10, 210, QStringLiteral("Loggerzeit  ?"), 108);
  EEPROMLabel = MakeLabel(p, "EEPROMLabel", 10, 230, QStringLiteral("EEPROM: "), 108);

  WarteLabel = new QLabel(QStringLiteral("Bitte warten. Die Loggerdaten werden gelöscht."), p);
  {
    QFont f = font();
    f.setBold(true);
    WarteLabel->setFont(f);
    QPalette pal = WarteLabel->palette();
    pal.setColor(QPalette::Window, QColor(255, 255, 0));
    pal.setColor(QPalette::WindowText, QColor(255, 0, 0));
    WarteLabel->setPalette(pal);
    WarteLabel->setAutoFillBackground(true);
    WarteLabel->setTextFormat(Qt::PlainText);
    const QFontMetrics fm(f);
    Make(WarteLabel, "WarteLabel", 152, 16, fm.horizontalAdvance(WarteLabel->text()), 13);
  }

  PaintBox1 = Make(new PaintBox(p), "PaintBox1", 120, 80, 473, 137);
  PaintBox1->SyncSurface();

  RadioGroup1 = Make(
      new RadioGroup(QStringLiteral("Abtastrate"),
                     {QStringLiteral("0,02 s"), QStringLiteral("0,06 s"), QStringLiteral("0,26 s"),
                      QStringLiteral("0,5 s"), QStringLiteral("1 s"), QStringLiteral("5 s")},
                     p),
      "RadioGroup1", 120, 40, 121, 105);
  RadioGroup1->setToolTip(QStringLiteral("Zeitabstand zwischen den Messungen"));

  DRadioGroup = Make(new RadioGroup(QStringLiteral("Drucksensor"),
                                    {QStringLiteral("MPX4100"), QStringLiteral("MS5534A")}, p),
                     "DRadioGroup", 120, 152, 121, 41);
  DRadioGroup->SetItemIndex(1);
  DRadioGroup->setVisible(false);

  LRadioGroup = Make(new RadioGroup(QStringLiteral("Daten löschen"),
                                    {QStringLiteral("kein"), QStringLiteral("löschen MultiLog"),
                                     QStringLiteral("löschen SingleLog")},
                                    p),
                     "LRadioGroup", 120, 200, 121, 57);
  LRadioGroup->SetItemIndex(0);

  SchreibButton1 =
      MakeButton(p, "SchreibButton1", 120, 272, 121, 33, QStringLiteral("Konfiguration festlegen"),
                 QStringLiteral("neue Konfiguration in den Logger schreiben"));
  SchreibButton1->setVisible(false);

  GroupBox1 = Make(new QGroupBox(QStringLiteral("EEPROM-Record-Konfiguration"), p), "GroupBox1",
                   248, 40, 169, 217);
  GroupBox1->setToolTip(QStringLiteral("Im Logger aufgezeichnete Daten"));
  GroupBox1->setVisible(false);
  GroupBox2 = Make(new QGroupBox(QStringLiteral("Telemetrie-Konfiguration"), p), "GroupBox2", 424,
                   40, 169, 217);
  GroupBox2->setToolTip(QStringLiteral("per Telemetrie gesendete Daten"));
  GroupBox2->setVisible(false);

  NummernGroupBox =
      Make(new QGroupBox(QStringLiteral("Nummern"), p), "NummernGroupBox", 248, 264, 345, 41);
  Label2 = MakeLabel(NummernGroupBox, "Label2", 8, 16, QStringLiteral("Logger-Serialnummer:"), 0);
  SnMaskEdit = Make(new MaskEdit3(NummernGroupBox), "SnMaskEdit", 120, 12, 31, 21);
  Label4 = MakeLabel(NummernGroupBox, "Label4", 208, 16, QStringLiteral("ADC3-Offset:"), 0);
  OffsetMaskEdit = Make(new MaskEdit3(NummernGroupBox), "OffsetMaskEdit", 280, 12, 37, 21);
}

void TForm1Base::BuildCheckBoxes() {
  struct Row {
    QCheckBox** rec;
    QCheckBox** tele;
    const char* recName;
    const char* teleName;
    int left, top;
    const char* recCaption;
    const char* teleCaption;
    const char* recHint;
    const char* teleHint;
  };
  const Row rows[] = {
      {&AD16CheckBox, &tAD16CheckBox, "AD16CheckBox", "tAD16CheckBox", 8, 16, "16-Bit-ADC",
       "16-Bit-ADC", nullptr, nullptr},
      {&AD0CheckBox, &tAD0CheckBox, "AD0CheckBox", "tAD0CheckBox", 8, 40, "ADC 0", "ADC 0", nullptr,
       nullptr},
      {&AD1CheckBox, &tAD1CheckBox, "AD1CheckBox", "tAD1CheckBox", 8, 64, "ADC 1", "ADC 1", nullptr,
       nullptr},
      {&AD2CheckBox, &tAD2CheckBox, "AD2CheckBox", "tAD2CheckBox", 8, 88, "ADC 2", "ADC 2", nullptr,
       nullptr},
      {&AD3CheckBox, &tAD3CheckBox, "AD3CheckBox", "tAD3CheckBox", 8, 112, "ADC 3", "ADC 3",
       nullptr, nullptr},
      {&AD4CheckBox, &tAD4CheckBox, "AD4CheckBox", "tAD4CheckBox", 8, 136, "ADC4", "ADC4", nullptr,
       nullptr},
      {&SpeedCheckBox, &tSpeedCheckBox, "SpeedCheckBox", "tSpeedCheckBox", 8, 160, "Frequenz",
       "Frequenz", nullptr, nullptr},
      {&FrqCheckBox, &tFrqCheckBox, "FrqCheckBox", "tFrqCheckBox", 8, 184, "Drehzahl", "Drehzahl",
       nullptr, nullptr},
      {&RC1CheckBox, &tRC1CheckBox, "RC1CheckBox", "tRC1CheckBox", 88, 16, "RC 1", "RC 1", nullptr,
       nullptr},
      {&RC2CheckBox, &tRC2CheckBox, "RC2CheckBox", "tRC2CheckBox", 88, 48, "RC 2", "RC 2", nullptr,
       nullptr},
      {&RC3CheckBox, &tRC3CheckBox, "RC3CheckBox", "tRC3CheckBox", 88, 72, "RC 3", "RC 3", nullptr,
       nullptr},
      {&E1CheckBox, &tE1CheckBox, "E1CheckBox", "tE1CheckBox", 88, 96, "Temp. int.", "Temp. int",
       "interner Temperatursensor MS5534A", "interner Temperatursensor MS5534A"},
      {&E2CheckBox, &tE2CheckBox, "E2CheckBox", "tE2CheckBox", 88, 120, "Temp. ext.", "Temp. ext.",
       "externer Temperatursensor DS1820", "externer Temperatursensor DS1820"},
      {&GpsCheckBox, &tGpsCheckBox, "GpsCheckBox", "tGpsCheckBox", 88, 144, "GPS", "GPS", nullptr,
       nullptr},
      {&FreiCheckBox, &tFreiCheckBox, "FreiCheckBox", "tFreiCheckBox", 88, 168, "frei",
       "Manchester", nullptr, nullptr},
      {&TeleCheckBox, &t4800bpsCheckBox, "TeleCheckBox", "t4800bpsCheckBox", 88, 192, "Telemetrie",
       "4800 BPS", nullptr, "1200Bps/9600Bps-Umschaltung"},
  };
  for (const Row& r : rows) {
    *r.rec = MakeCheckBox(GroupBox1, r.recName, r.left, r.top, QString::fromUtf8(r.recCaption),
                          r.recHint ? QString::fromUtf8(r.recHint) : QString());
    *r.tele = MakeCheckBox(GroupBox2, r.teleName, r.left, r.top, QString::fromUtf8(r.teleCaption),
                           r.teleHint ? QString::fromUtf8(r.teleHint) : QString());
  }
}

void TForm1Base::BuildTabSheet2() {
  QWidget* p = TabSheet2;
  Button1 =
      MakeButton(p, "Button1", 200, 24, 121, 25, QStringLiteral("HEX-File  auswählen"), QString());

  ProgressBar1 = Make(new QProgressBar(p), "ProgressBar1", 200, 72, 401, 25);
  ProgressBar1->setRange(0, 200);
  ProgressBar1->setValue(0);
  ProgressBar1->setTextVisible(false);
  ProgressBar1->setVisible(false);

  Memo1 = Make(new QPlainTextEdit(p), "Memo1", 200, 120, 401, 185);
  Memo1->setReadOnly(true);
  {
    QFont f(QStringLiteral("Courier"));
    f.setStyleHint(QFont::TypeWriter);
    f.setPointSizeF(10);
    Memo1->setFont(f);
  }
  Memo1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  Memo1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  Memo1->setTabChangesFocus(true);
  Memo1->setVisible(false);

  Memo2 = Make(new QPlainTextEdit(p), "Memo2", 16, 16, 169, 289);
  Memo2->setReadOnly(true);
  Memo2->setFrameShape(QFrame::NoFrame);
  Memo2->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  Memo2->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  // The instructions are read with the keyboard too; Tab leaves the memos.
  Memo2->setTabChangesFocus(true);
  {
    QPalette pal = Memo2->palette();
    const QColor menu = QApplication::palette("QMenu").color(QPalette::Window);
    pal.setColor(QPalette::Base, menu);
    pal.setColor(QPalette::Window, menu);
    pal.setColor(QPalette::Text, QColor(255, 0, 0));
    Memo2->setPalette(pal);
  }
  Memo2->setPlainText(FirmwareInstructionLines().join(QLatin1Char('\n')));
}

void TForm1Base::FitCaptions() {
  // Where the window's font is wider than the one the window was designed with, a
  // control whose caption would be cut gets a smaller font of its own.
  for (QWidget* w : designed_) {
    if (qobject_cast<QLabel*>(w) == nullptr && qobject_cast<QAbstractButton*>(w) == nullptr &&
        qobject_cast<QGroupBox*>(w) == nullptr)
      continue;
    int available = w->width();
    if (w == Label2) available = SnMaskEdit->x() - Label2->x() - 2;
    if (w == Label4) available = OffsetMaskEdit->x() - Label4->x() - 2;
    ShrinkToFit(w, available);
    if (auto* lb = qobject_cast<QLabel*>(w)) {
      const QFontMetrics fm(lb->font());
      lb->resize(std::min(available, std::max(lb->width(), fm.horizontalAdvance(lb->text()))),
                 std::max(lb->height(), fm.height()));
    }
  }
  for (RadioGroup* g : {RadioGroup1, DRadioGroup, LRadioGroup}) {
    ShrinkToFit(g, g->width());
    for (int i = 0; i < g->Count(); ++i) {
      QRadioButton* b = g->button(i);
      ShrinkWidgetFont(b, g->font(), g->width() - 10, kSmallestPointSize,
                       [b] { return b->sizeHint().width(); });
    }
    g->Arrange();
  }
  // The instruction lines must fit the memo's width without wrapping.
  const int room = Memo2->width() - 2 * static_cast<int>(Memo2->document()->documentMargin()) - 4;
  ShrinkWidgetFont(Memo2, Memo2->font(), room, kSmallestPointSize, [this] {
    const QFontMetrics fm(Memo2->font());
    int widest = 0;
    for (const QString& line : FirmwareInstructionLines())
      widest = std::max(widest, fm.horizontalAdvance(line));
    return widest;
  });
}

std::vector<QCheckBox*> TForm1Base::RecordBoxes() const {
  return {AD16CheckBox,  AD0CheckBox, AD1CheckBox, AD2CheckBox, AD3CheckBox, AD4CheckBox,
          SpeedCheckBox, FrqCheckBox, RC1CheckBox, RC2CheckBox, RC3CheckBox, FreiCheckBox,
          E1CheckBox,    E2CheckBox,  GpsCheckBox, TeleCheckBox};
}

std::vector<QCheckBox*> TForm1Base::TeleBoxes() const {
  return {tAD16CheckBox,  tAD0CheckBox, tAD1CheckBox, tAD2CheckBox,    tAD3CheckBox, tAD4CheckBox,
          tSpeedCheckBox, tFrqCheckBox, tRC1CheckBox, tRC2CheckBox,    tRC3CheckBox, tFreiCheckBox,
          tE1CheckBox,    tE2CheckBox,  tGpsCheckBox, t4800bpsCheckBox};
}

void TForm1Base::ScaleBy(double factor) {
  if (factor <= 0 || factor == 1.0) return;
  auto scaleFont = [factor](QWidget* w) {
    QFont f = w->font();
    if (f.pointSizeF() > 0) f.setPointSizeF(std::max(1.0, f.pointSizeF() * factor));
    w->setFont(f);
  };
  // Fonts first: the window's font passes to every control without a font of its own,
  // the controls with their own font are scaled one by one.
  scaleFont(this);
  for (QWidget* w : designed_)
    if (w->testAttribute(Qt::WA_SetFont)) scaleFont(w);
  for (RadioGroup* g : {RadioGroup1, DRadioGroup, LRadioGroup})
    for (int i = 0; i < g->Count(); ++i)
      if (g->button(i)->testAttribute(Qt::WA_SetFont)) scaleFont(g->button(i));
  for (QWidget* w : designed_) {
    const QRect r = w->geometry();
    w->setGeometry(Scaled(r.x(), factor), Scaled(r.y(), factor), Scaled(r.width(), factor),
                   Scaled(r.height(), factor));
  }
  StatusBar1->SetPanelWidth(0, Scaled(StatusBar1->PanelWidth(0), factor));
  StatusBar1->SetPanelWidth(1, Scaled(StatusBar1->PanelWidth(1), factor));
  const QSize s = size();
  setFixedSize(Scaled(s.width(), factor), Scaled(s.height(), factor));
  for (RadioGroup* g : {RadioGroup1, DRadioGroup, LRadioGroup}) g->Arrange();
  PaintBox1->SyncSurface();
}
