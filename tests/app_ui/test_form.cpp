// The control inventory of the main window: names, parents, geometry, captions, hints,
// design visibility, and that every caption fits its control.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QTextBlock>
#include <QTextLayout>
#include <QToolButton>

#include "app/form1base.h"

namespace {

struct Control {
  const char* name;
  const char* parent;
  int left, top, width, height;  // -1: not fixed by the inventory
  const char* caption;           // nullptr: no caption to check
  const char* hint;              // "" for none
  bool visible;
};

// Straight from the inventory of the window.
const Control kInventory[] = {
    {"ToolBar1", "Form1", 0, 0, 641, 33, nullptr, "", true},
    {"ToolButton1", "ToolBar1", 0, -1, 25, 23, nullptr, "Fenster ausdrucken", true},
    {"SaveButton", "ToolBar1", 25, -1, 25, 23, nullptr, "Daten für Excel speichern", true},
    {"SetupButton", "ToolBar1", 50, -1, 25, 23, nullptr, "COM-Schnittstellen-Setup", true},
    {"ToolButton2", "ToolBar1", 75, -1, 510, -1, nullptr, "", true},
    {"ToolButton3", "ToolBar1", 585, -1, 25, 23, nullptr, "Programm-Info", true},
    {"ExitButton", "ToolBar1", 610, -1, 25, 23, nullptr, "Ende", true},
    {"StatusBar1", "Form1", 0, 400, 641, 28, nullptr, "", true},
    {"PageControl1", "Form1", 8, 40, 625, 353, nullptr, "", true},
    {"Startbutton", "TabSheet1", 8, 48, 105, 25, "Konfiguration lesen",
     "Konfiguration des Loggers auslesen", true},
    {"LoggerButton", "TabSheet1", 8, 88, 105, 25, "Daten einlesen",
     "Daten aus dem Speicher des Loggers auslesen", true},
    {"ResetButton1", "TabSheet1", 8, 128, 105, 25, "zum Anfang", "", false},
    {"Label1", "TabSheet1", 10, 170, -1, -1, "Label1", "", true},
    {"FNLabel", "TabSheet1", 10, 190, -1, -1, "Flugnummer:  ?", "", true},
    {"ZeitLabel", "TabSheet1", 10, 210, -1, -1, "Loggerzeit  ?", "", true},
    {"EEPROMLabel", "TabSheet1", 10, 230, -1, -1, "EEPROM: ", "", true},
    {"WarteLabel", "TabSheet1", 152, 16, -1, -1, "Bitte warten. Die Loggerdaten werden gelöscht.",
     "", true},
    {"PaintBox1", "TabSheet1", 120, 80, 473, 137, nullptr, "", true},
    {"RadioGroup1", "TabSheet1", 120, 40, 121, 105, "Abtastrate",
     "Zeitabstand zwischen den Messungen", true},
    {"DRadioGroup", "TabSheet1", 120, 152, 121, 41, "Drucksensor", "", false},
    {"LRadioGroup", "TabSheet1", 120, 200, 121, 57, "Daten löschen", "", true},
    {"SchreibButton1", "TabSheet1", 120, 272, 121, 33, "Konfiguration festlegen",
     "neue Konfiguration in den Logger schreiben", false},
    {"GroupBox1", "TabSheet1", 248, 40, 169, 217, "EEPROM-Record-Konfiguration",
     "Im Logger aufgezeichnete Daten", false},
    {"GroupBox2", "TabSheet1", 424, 40, 169, 217, "Telemetrie-Konfiguration",
     "per Telemetrie gesendete Daten", false},
    {"NummernGroupBox", "TabSheet1", 248, 264, 345, 41, "Nummern", "", true},
    {"Label2", "NummernGroupBox", 8, 16, -1, -1, "Logger-Serialnummer:", "", true},
    {"SnMaskEdit", "NummernGroupBox", 120, 12, 31, 21, nullptr, "", true},
    {"Label4", "NummernGroupBox", 208, 16, -1, -1, "ADC3-Offset:", "", true},
    {"OffsetMaskEdit", "NummernGroupBox", 280, 12, 37, 21, nullptr, "", true},
    {"Button1", "TabSheet2", 200, 24, 121, 25, "HEX-File  auswählen", "", true},
    {"ProgressBar1", "TabSheet2", 200, 72, 401, 25, nullptr, "", false},
    {"Memo1", "TabSheet2", 200, 120, 401, 185, nullptr, "", false},
    {"Memo2", "TabSheet2", 16, 16, 169, 289, nullptr, "", true},
};

struct Box {
  const char* rec;
  const char* tele;
  int left, top;
  const char* recCaption;
  const char* teleCaption;
  const char* recHint;
  const char* teleHint;
};

const Box kBoxes[] = {
    {"AD16CheckBox", "tAD16CheckBox", 8, 16, "16-Bit-ADC", "16-Bit-ADC", "", ""},
    {"AD0CheckBox", "tAD0CheckBox", 8, 40, "ADC 0", "ADC 0", "", ""},
    {"AD1CheckBox", "tAD1CheckBox", 8, 64, "ADC 1", "ADC 1", "", ""},
    {"AD2CheckBox", "tAD2CheckBox", 8, 88, "ADC 2", "ADC 2", "", ""},
    {"AD3CheckBox", "tAD3CheckBox", 8, 112, "ADC 3", "ADC 3", "", ""},
    {"AD4CheckBox", "tAD4CheckBox", 8, 136, "ADC4", "ADC4", "", ""},
    {"SpeedCheckBox", "tSpeedCheckBox", 8, 160, "Frequenz", "Frequenz", "", ""},
    {"FrqCheckBox", "tFrqCheckBox", 8, 184, "Drehzahl", "Drehzahl", "", ""},
    {"RC1CheckBox", "tRC1CheckBox", 88, 16, "RC 1", "RC 1", "", ""},
    {"RC2CheckBox", "tRC2CheckBox", 88, 48, "RC 2", "RC 2", "", ""},
    {"RC3CheckBox", "tRC3CheckBox", 88, 72, "RC 3", "RC 3", "", ""},
    {"E1CheckBox", "tE1CheckBox", 88, 96, "Temp. int.", "Temp. int",
     "interner Temperatursensor MS5534A", "interner Temperatursensor MS5534A"},
    {"E2CheckBox", "tE2CheckBox", 88, 120, "Temp. ext.", "Temp. ext.",
     "externer Temperatursensor DS1820", "externer Temperatursensor DS1820"},
    {"GpsCheckBox", "tGpsCheckBox", 88, 144, "GPS", "GPS", "", ""},
    {"FreiCheckBox", "tFreiCheckBox", 88, 168, "frei", "Manchester", "", ""},
    {"TeleCheckBox", "t4800bpsCheckBox", 88, 192, "Telemetrie", "4800 BPS", "",
     "1200Bps/9600Bps-Umschaltung"},
};

QString CaptionOf(QWidget* w) {
  if (auto* b = qobject_cast<QAbstractButton*>(w)) return b->text();
  if (auto* l = qobject_cast<QLabel*>(w)) return l->text();
  if (auto* g = qobject_cast<QGroupBox*>(w)) return g->title();
  return {};
}

class Form1BaseTest : public testing::Test {
 protected:
  TForm1Base form;
};

}  // namespace

TEST_F(Form1BaseTest, WindowCaptionFontAndFixedClientArea) {
  EXPECT_EQ(form.windowTitle(), QString("Morvala V3.7 "));
  EXPECT_EQ(form.size(), QSize(641, 428));
  EXPECT_EQ(form.minimumSize(), QSize(641, 428));
  EXPECT_EQ(form.maximumSize(), QSize(641, 428));
  EXPECT_DOUBLE_EQ(form.font().pointSizeF(), 8.0);
  EXPECT_EQ(form.PageControl1->count(), 4);
  EXPECT_EQ(form.PageControl1->tabText(0), QString("Logger auslesen und konfigurieren"));
  EXPECT_EQ(form.PageControl1->tabText(1), QString("Firmwareupdate"));
  EXPECT_EQ(form.PageControl1->tabText(2), QString("Auswertung"));
  EXPECT_EQ(form.PageControl1->tabText(3), QString("Flugbuch"));
  EXPECT_EQ(form.PageControl1->currentWidget(), form.TabSheet1);
  EXPECT_FALSE(form.SaveButton->isEnabled());
  EXPECT_TRUE(form.ToolButton1->isEnabled());
  EXPECT_EQ(form.StatusBar1->PanelText(0), QString("offline"));
  EXPECT_EQ(form.StatusBar1->PanelText(1), QString("loggerstatus"));
  EXPECT_EQ(form.StatusBar1->PanelWidth(0), 70);
}

TEST_F(Form1BaseTest, EveryControlMatchesTheInventory) {
  for (const Control& c : kInventory) {
    SCOPED_TRACE(c.name);
    auto* w = form.findChild<QWidget*>(QString::fromUtf8(c.name));
    ASSERT_NE(w, nullptr);
    ASSERT_NE(w->parentWidget(), nullptr);
    EXPECT_EQ(w->parentWidget()->objectName(), QString::fromUtf8(c.parent));
    EXPECT_EQ(w->x(), c.left);
    if (c.top >= 0) {
      EXPECT_EQ(w->y(), c.top);
    }
    if (c.width >= 0) {
      EXPECT_EQ(w->width(), c.width);
    }
    if (c.height >= 0) {
      EXPECT_EQ(w->height(), c.height);
    }
    if (c.caption) {
      EXPECT_EQ(CaptionOf(w), QString::fromUtf8(c.caption));
    }
    EXPECT_EQ(w->toolTip(), QString::fromUtf8(c.hint));
    EXPECT_EQ(!w->isHidden(), c.visible);
  }
  // Tool buttons in one row inside the tool bar.
  for (QToolButton* b :
       {form.ToolButton1, form.SaveButton, form.SetupButton, form.ToolButton3, form.ExitButton}) {
    EXPECT_EQ(b->y(), form.ToolButton1->y());
    EXPECT_LE(b->geometry().bottom(), form.ToolBar1->height());
    EXPECT_FALSE(b->icon().isNull());
  }
}

TEST_F(Form1BaseTest, CheckBoxGridOfBothGroups) {
  for (const Box& b : kBoxes) {
    for (int tele = 0; tele < 2; ++tele) {
      const char* name = tele ? b.tele : b.rec;
      SCOPED_TRACE(name);
      auto* cb = form.findChild<QCheckBox*>(QString::fromUtf8(name));
      ASSERT_NE(cb, nullptr);
      EXPECT_EQ(cb->parentWidget(), tele ? form.GroupBox2 : form.GroupBox1);
      EXPECT_EQ(cb->pos(), QPoint(b.left, b.top));
      EXPECT_EQ(cb->text(), QString::fromUtf8(tele ? b.teleCaption : b.recCaption));
      EXPECT_EQ(cb->toolTip(), QString::fromUtf8(tele ? b.teleHint : b.recHint));
      EXPECT_FALSE(cb->isChecked());
      EXPECT_FALSE(cb->isHidden());
      // Inside the group, clear of the other column.
      EXPECT_LE(cb->geometry().right(), cb->parentWidget()->width() - 1);
      if (b.left == 8) {
        EXPECT_LT(cb->geometry().right(), 88);
      }
    }
  }
  const char* order[] = {"AD16", "AD0", "AD1", "AD2",  "AD3", "AD4", "Speed", "Frq",
                         "RC1",  "RC2", "RC3", "Frei", "E1",  "E2",  "Gps",   "Tele"};
  auto rec = form.RecordBoxes();
  auto tele = form.TeleBoxes();
  ASSERT_EQ(rec.size(), 16u);
  ASSERT_EQ(tele.size(), 16u);
  for (size_t i = 0; i < 16; ++i) {
    EXPECT_EQ(rec[i]->objectName(), QString("%1CheckBox").arg(order[i]));
    const QString t = i == 15 ? QString("t4800bpsCheckBox") : QString("t%1CheckBox").arg(order[i]);
    EXPECT_EQ(tele[i]->objectName(), t);
  }
}

TEST_F(Form1BaseTest, RadioGroupsAndNumberFields) {
  const QStringList rates = {"0,02 s", "0,06 s", "0,26 s", "0,5 s", "1 s", "5 s"};
  ASSERT_EQ(form.RadioGroup1->Count(), 6);
  for (int i = 0; i < 6; ++i) EXPECT_EQ(form.RadioGroup1->button(i)->text(), rates[i]);
  ASSERT_EQ(form.DRadioGroup->Count(), 2);
  EXPECT_EQ(form.DRadioGroup->button(0)->text(), QString("MPX4100"));
  EXPECT_EQ(form.DRadioGroup->button(1)->text(), QString("MS5534A"));
  EXPECT_EQ(form.DRadioGroup->ItemIndex(), 1);
  ASSERT_EQ(form.LRadioGroup->Count(), 3);
  EXPECT_EQ(form.LRadioGroup->button(0)->text(), QString("kein"));
  EXPECT_EQ(form.LRadioGroup->button(1)->text(), QString("löschen MultiLog"));
  EXPECT_EQ(form.LRadioGroup->button(2)->text(), QString("löschen SingleLog"));
  EXPECT_EQ(form.LRadioGroup->ItemIndex(), 0);
  // One column, evenly spaced, top to bottom inside the group.
  for (RadioGroup* g : {form.RadioGroup1, form.DRadioGroup, form.LRadioGroup}) {
    for (int i = 0; i < g->Count(); ++i) {
      QRect r = g->button(i)->geometry();
      EXPECT_GE(r.top(), 0);
      EXPECT_LE(r.bottom(), g->height() - 1);
      if (i > 0) {
        EXPECT_GT(r.top(), g->button(i - 1)->geometry().top());
      }
    }
  }
  EXPECT_EQ(form.SnMaskEdit->maxLength(), 3);
  EXPECT_EQ(form.OffsetMaskEdit->maxLength(), 3);
  EXPECT_EQ(form.ProgressBar1->minimum(), 0);
  EXPECT_EQ(form.ProgressBar1->maximum(), 200);
  EXPECT_TRUE(form.Memo1->isReadOnly());
  EXPECT_EQ(form.Memo1->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
  EXPECT_DOUBLE_EQ(form.Memo1->font().pointSizeF(), 10.0);
  EXPECT_TRUE(QFontInfo(form.Memo1->font()).fixedPitch());
}

TEST_F(Form1BaseTest, WaitingNoticeColours) {
  EXPECT_TRUE(form.WarteLabel->font().bold());
  EXPECT_EQ(form.WarteLabel->palette().color(QPalette::WindowText), QColor(255, 0, 0));
  EXPECT_EQ(form.WarteLabel->palette().color(QPalette::Window), QColor(255, 255, 0));
  EXPECT_TRUE(form.WarteLabel->autoFillBackground());
  // And it shows them: a yellow field with red writing.
  form.show();
  QApplication::processEvents();
  const QImage img = form.WarteLabel->grab().toImage();
  int yellow = 0, red = 0;
  for (int x = 0; x < img.width(); ++x)
    for (int y = 0; y < img.height(); ++y) {
      const QColor c(img.pixel(x, y));
      if (c == QColor(255, 255, 0)) ++yellow;
      if (c.red() > 200 && c.green() < 60 && c.blue() < 60) ++red;
    }
  EXPECT_GT(yellow, img.width() * img.height() / 2);
  EXPECT_GT(red, 50);
}

TEST_F(Form1BaseTest, FirmwareInstructionsHoldTheFixedLines) {
  const QStringList expected = {"Firmwareupdate-Funktion",
                                "====================",
                                "",
                                "1.",
                                "Pin 15 des PIC16F876 mit Masse ",
                                "verbinden.",
                                "Logger einschalten.",
                                "LED leuchtet.",
                                "",
                                "",
                                "2.",
                                "'Hex-File-auswählen' - Knopf ",
                                "anklicken und das zu brennende ",
                                "HEX-File auswählen.",
                                "",
                                "",
                                "3.",
                                "Das Hex-File wird in den Logger ",
                                "gebrannt.",
                                "",
                                "4.",
                                "Brücke von Pin 15 entfernen."};
  const QStringList lines = form.Memo2->toPlainText().split('\n');
  EXPECT_EQ(lines, expected);
  EXPECT_EQ(lines.size(), 22);
  EXPECT_EQ(
      std::count_if(lines.begin(), lines.end(), [](const QString& l) { return l.endsWith(' '); }),
      4);
  EXPECT_TRUE(form.Memo2->isReadOnly());
  EXPECT_EQ(form.Memo2->frameShape(), QFrame::NoFrame);
  EXPECT_EQ(form.Memo2->palette().color(QPalette::Text), QColor(255, 0, 0));
}

TEST_F(Form1BaseTest, CaptionsFitTheirControls) {
  form.PageControl1->setCurrentWidget(form.TabSheet1);
  form.show();
  for (QWidget* w : {static_cast<QWidget*>(form.GroupBox1), static_cast<QWidget*>(form.GroupBox2)})
    w->show();
  QApplication::processEvents();
  for (QCheckBox* cb : form.RecordBoxes())
    EXPECT_LE(cb->sizeHint().width(), cb->width()) << cb->objectName().toStdString();
  for (QCheckBox* cb : form.TeleBoxes())
    EXPECT_LE(cb->sizeHint().width(), cb->width()) << cb->objectName().toStdString();
  for (QPushButton* b : {form.Startbutton, form.LoggerButton, form.ResetButton1,
                         form.SchreibButton1, form.Button1}) {
    EXPECT_LE(QFontMetrics(b->font()).horizontalAdvance(b->text()) + 6, b->width())
        << b->objectName().toStdString();
  }
  for (RadioGroup* g : {form.RadioGroup1, form.DRadioGroup, form.LRadioGroup})
    for (int i = 0; i < g->Count(); ++i)
      EXPECT_LE(g->button(i)->x() + g->button(i)->sizeHint().width(), g->width())
          << g->button(i)->text().toStdString();
  // The label texts end before the field that follows them.
  EXPECT_LE(
      form.Label2->x() + QFontMetrics(form.Label2->font()).horizontalAdvance(form.Label2->text()),
      form.SnMaskEdit->x());
  EXPECT_LE(
      form.Label4->x() + QFontMetrics(form.Label4->font()).horizontalAdvance(form.Label4->text()),
      form.OffsetMaskEdit->x());
  for (QLabel* l : {form.Label1, form.FNLabel, form.ZeitLabel, form.EEPROMLabel, form.WarteLabel})
    EXPECT_LE(QFontMetrics(l->font()).horizontalAdvance(l->text()), l->width());
  // The instruction lines do not wrap.
  form.PageControl1->setCurrentWidget(form.TabSheet2);
  QApplication::processEvents();
  QTextDocument* doc = form.Memo2->document();
  for (QTextBlock b = doc->begin(); b.isValid(); b = b.next()) {
    ASSERT_NE(b.layout(), nullptr);
    EXPECT_LE(b.layout()->lineCount(), 1) << b.text().toStdString();
  }
}

TEST_F(Form1BaseTest, ScaleByScalesGeometryAndFonts) {
  form.ScaleBy(96.0 / 120.0);
  EXPECT_EQ(form.size(), QSize(513, 342));
  EXPECT_EQ(form.Startbutton->geometry(), QRect(6, 38, 84, 20));
  EXPECT_EQ(form.PaintBox1->geometry(), QRect(96, 64, 378, 110));
  EXPECT_EQ(form.PaintBox1->Surface().size(), QSize(378, 110));
  EXPECT_EQ(form.tFreiCheckBox->pos(), QPoint(70, 134));
  EXPECT_NEAR(form.font().pointSizeF(), 6.4, 0.01);
  EXPECT_NEAR(form.Memo1->font().pointSizeF(), 8.0, 0.01);
  EXPECT_EQ(form.StatusBar1->PanelWidth(0), 56);
}

// Not a check: keeps a picture of the window for a look by eye.
TEST_F(Form1BaseTest, GrabOfTheWindow) {
  form.show();
  QApplication::processEvents();
  const QPixmap pm = form.grab();
  EXPECT_EQ(pm.size() / pm.devicePixelRatio(), QSize(641, 428));
  pm.save(QStringLiteral(MORVALA_BINARY_DIR "/form1base.png"));
  for (QWidget* w :
       {static_cast<QWidget*>(form.GroupBox1), static_cast<QWidget*>(form.GroupBox2),
        static_cast<QWidget*>(form.DRadioGroup), static_cast<QWidget*>(form.SchreibButton1),
        static_cast<QWidget*>(form.ResetButton1)})
    w->show();
  form.PaintBox1->hide();
  form.grab().save(QStringLiteral(MORVALA_BINARY_DIR "/form1base_config.png"));
  form.PageControl1->setCurrentWidget(form.TabSheet2);
  form.ProgressBar1->show();
  form.Memo1->show();
  form.grab().save(QStringLiteral(MORVALA_BINARY_DIR "/form1base_firmware.png"));
}
