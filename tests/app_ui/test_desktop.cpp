// Where the window meets the desktop: the toolkit's own dialogs in German, the real save
// and print dialogs, and the window as assistive technology reads it.
#include <gtest/gtest.h>

#include <QAccessible>
#include <QElapsedTimer>
#include <QFile>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPrintDialog>
#include <QPrinter>
#include <QTabBar>
#include <QTemporaryDir>
#include <QTest>
#include <memory>

#include "app/accessibility.h"
#include "app/application.h"
#include "app/form1base.h"
#include "app/printing.h"
#include "app/qtuserio.h"
#include "app/widgets.h"
#include "formats/csvexport.h"
#include "frontend/savecsv.h"
#include "tests/support/modal.h"
#include "tests/support/window_session.h"

namespace {

using modal::Answerer;
using modal::Button;
using modal::ButtonTexts;

// ---- the toolkit's dialogs ----

TEST(ToolkitDialogs, SaveDialogSpeaksGerman) {
  QWidget window;
  QtUserIO io(nullptr, &window);
  QStringList buttons;
  QString title;
  Answerer answer([&](QWidget* w) {
    title = w->windowTitle();
    buttons = ButtonTexts(w);
    static_cast<QDialog*>(w)->reject();
  });
  EXPECT_EQ(io.SaveFileName("*.csv", "*.csv"), std::nullopt);
  ASSERT_EQ(answer.seen.size(), 1u);
  EXPECT_EQ(answer.seen[0], QString("QFileDialog"));
  EXPECT_TRUE(buttons.contains("Speichern")) << buttons.join("|").toStdString();
  EXPECT_TRUE(buttons.contains("Abbrechen")) << buttons.join("|").toStdString();
  EXPECT_FALSE(buttons.contains("Save"));
  EXPECT_EQ(title, QString("Speichern unter"));
}

TEST(ToolkitDialogs, PrintDialogSpeaksGermanAndKeepsThePrinter) {
  TForm1Base form;
  QPrinter printer(QPrinter::HighResolution);
  QStringList buttons;
  QString title;
  QPrinter* shown = nullptr;
  Answerer answer([&](QWidget* w) {
    auto* dialog = qobject_cast<QPrintDialog*>(w);
    if (!dialog) return;
    title = w->windowTitle();
    buttons = ButtonTexts(w);
    shown = dialog->printer();
    dialog->reject();
  });
  EXPECT_FALSE(PrintWindow(&form, printer));
  ASSERT_EQ(answer.seen.size(), 1u);
  EXPECT_EQ(shown, &printer);
  EXPECT_TRUE(buttons.contains("Drucken")) << buttons.join("|").toStdString();
  EXPECT_TRUE(buttons.contains("Abbrechen")) << buttons.join("|").toStdString();
  EXPECT_FALSE(buttons.contains("Print"));
  EXPECT_EQ(title, QString("Drucken"));
}

// ---- the CSV save dialog ----

class SaveDialogTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir.isValid());
    fd = std::make_unique<FlightData>();
    fd->RecordFlags1 = 1;
    fd->LastSampleIndex = 2;
    fd->ExportLastIndex = 2;
  }
  // Runs the save button's steps with the real dialog; the user opens the folder,
  // types the name (or leaves the mask) and presses "Speichern".
  bool Save(const QString& typed, QStringList* seen = nullptr) {
    Answerer answer([&](QWidget* w) {
      if (auto* dialog = qobject_cast<QFileDialog*>(w)) {
        dialog->setDirectory(dir.path());
        auto* edit = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
        ASSERT_NE(edit, nullptr);
        if (!typed.isEmpty()) edit->setText(typed);
        QAbstractButton* save = Button(dialog, QStringLiteral("Speichern"));
        ASSERT_NE(save, nullptr);
        save->click();
        // Still open after the click: leave it, so that the test cannot hang.
        if (dialog->isVisible()) dialog->reject();
      } else if (auto* box = qobject_cast<QMessageBox*>(w)) {
        // A question that must not come: answered yes so that the test sees its effect.
        box->button(QMessageBox::Yes) ? box->button(QMessageBox::Yes)->click() : box->accept();
      }
    });
    QWidget window;
    QtUserIO io(nullptr, &window);
    const bool written = SaveCsv(io, *fd, exportFileName);
    if (seen) {
      for (const QString& s : answer.seen) *seen << s;
    }
    return written;
  }
  QTemporaryDir dir;
  std::unique_ptr<FlightData> fd;
  std::string exportFileName;
};

TEST_F(SaveDialogTest, UntouchedDialogWritesNothing) {
  QStringList seen;
  EXPECT_FALSE(Save(QString(), &seen));
  EXPECT_EQ(seen, QStringList{"QFileDialog"});
  // The dialog hands back the mask inside the folder.
  EXPECT_EQ(exportFileName, dir.filePath("*.csv").toStdString());
  EXPECT_FALSE(QFile::exists(dir.filePath("*.csv")));
  EXPECT_TRUE(QDir(dir.path()).entryList(QDir::Files).isEmpty());
}

TEST_F(SaveDialogTest, ChosenNameIsWrittenAndAnExistingFileReplacedWithoutAQuestion) {
  const QString path = dir.filePath("flug.csv");
  EXPECT_TRUE(Save("flug.csv"));
  EXPECT_EQ(exportFileName, path.toStdString());
  QFile written(path);
  ASSERT_TRUE(written.open(QIODevice::ReadOnly));
  EXPECT_EQ(written.readAll().toStdString(), CsvText(*fd));
  written.close();

  {
    QFile old(path);
    ASSERT_TRUE(old.open(QIODevice::WriteOnly | QIODevice::Truncate));
    old.write("alte Daten\r\n");
  }
  fd->ExportLastIndex = 0;
  QStringList seen;
  EXPECT_TRUE(Save("flug.csv", &seen));
  EXPECT_EQ(seen, QStringList{"QFileDialog"});  // no overwrite question
  QFile replaced(path);
  ASSERT_TRUE(replaced.open(QIODevice::ReadOnly));
  EXPECT_EQ(replaced.readAll().toStdString(), CsvText(*fd));
}

// ---- printing ----

TEST(PrintFailure, APrintThatCannotStartIsReportedInGerman) {
  TForm1Base form;
  form.show();
  QApplication::processEvents();
  QTemporaryDir dir;
  const QString pdf = dir.filePath("fehlt/fenster.pdf");  // the folder does not exist
  QPrinter printer(QPrinter::HighResolution);
  SetPrintDialogStandIn([&](QPrinter& p) {
    p.setOutputFormat(QPrinter::PdfFormat);
    p.setOutputFileName(pdf);
    return true;
  });
  try {
    PrintWindow(&form, printer);
    ADD_FAILURE() << "a print into a missing folder counted as done";
  } catch (const PrintError& e) {
    EXPECT_EQ(std::string(e.what()), "Die Datei " + pdf.toStdString() +
                                         " kann nicht geschrieben werden.\r"
                                         "Drucken nicht möglich");
  }
  SetPrintDialogStandIn({});
  EXPECT_FALSE(QFile::exists(pdf));
}

// ---- assistive technology ----

struct Announcement {
  QAccessible::Event type;
  QString name;  // the object's name when the event came
  int panel;     // the panel's index, -1 for the bar itself
};

std::vector<Announcement>* g_heard = nullptr;

void Hear(QAccessibleEvent& event) {
  if (!g_heard) return;
  QAccessibleInterface* iface = event.accessibleInterface();
  if (!iface) return;
  QAccessibleInterface* parent = iface->parent();
  const bool isPanel = parent && parent->role() == QAccessible::StatusBar;
  if (!isPanel && iface->role() != QAccessible::StatusBar) return;
  g_heard->push_back({event.type(),
                      event.type() == QAccessible::DescriptionChanged
                          ? iface->text(QAccessible::Description)
                          : iface->text(QAccessible::Name),
                      isPanel ? parent->indexOfChild(iface) : -1});
}

// The offscreen platform has no assistive technology that could listen, so the toolkit
// drops every event; the test hears them on their way to it.
class Accessibility : public testing::Test {
 protected:
  void SetUp() override {
    g_heard = &heard;
    SetAnnouncementObserver(Hear);
    form.show();
    QApplication::processEvents();
  }
  void TearDown() override {
    SetAnnouncementObserver({});
    g_heard = nullptr;
  }
  int Count(int panel) const {
    return static_cast<int>(std::count_if(heard.begin(), heard.end(), [panel](const auto& a) {
      return a.panel == panel && a.type == QAccessible::NameChanged;
    }));
  }
  TForm1Base form;
  std::vector<Announcement> heard;
};

TEST_F(Accessibility, WindowIsAWindowWithItsCaption) {
  QAccessibleInterface* window = QAccessible::queryAccessibleInterface(&form);
  ASSERT_NE(window, nullptr);
  EXPECT_EQ(window->role(), QAccessible::Window);
  EXPECT_EQ(window->text(QAccessible::Name), QString("Morvala V3.7 "));
  // The status bar is one of its descendants.
  QAccessibleInterface* bar = QAccessible::queryAccessibleInterface(form.StatusBar1);
  ASSERT_NE(bar, nullptr);
  EXPECT_EQ(bar->parent(), window);
}

TEST_F(Accessibility, StatusBarPanelsAreTextsInPanelOrder) {
  StatusBar* sb = form.StatusBar1;
  sb->SetPanelText(0, "verbunden");
  sb->SetPanelText(1, "kein Logger gefunden - bitte alles prüfen und noch mal versuchen");
  sb->SetColor(StatusColorFailure);
  QAccessibleInterface* bar = QAccessible::queryAccessibleInterface(sb);
  ASSERT_NE(bar, nullptr);
  EXPECT_EQ(bar->role(), QAccessible::StatusBar);
  EXPECT_EQ(bar->text(QAccessible::Description), QString("Fehler"));
  ASSERT_EQ(bar->childCount(), 2);
  for (int i = 0; i < 2; ++i) {
    QAccessibleInterface* panel = bar->child(i);
    ASSERT_NE(panel, nullptr);
    EXPECT_EQ(panel->role(), QAccessible::StaticText);
    EXPECT_EQ(panel->text(QAccessible::Name), sb->PanelText(i));
    EXPECT_EQ(panel->parent(), bar);
    EXPECT_EQ(bar->indexOfChild(panel), i);
    const QRect r = sb->PanelRect(i);
    EXPECT_EQ(panel->rect(), QRect(sb->mapToGlobal(r.topLeft()), r.size()));
    EXPECT_EQ(bar->childAt(panel->rect().center().x(), panel->rect().center().y()), panel);
  }
  // Panel 0 lies left of panel 1.
  EXPECT_LT(bar->child(0)->rect().right(), bar->child(1)->rect().left());
  // The text is read as it is now.
  sb->SetPanelText(1, "synchronisiert");
  EXPECT_EQ(bar->child(1)->text(QAccessible::Name), QString("synchronisiert"));
  sb->SetColor(StatusColorSuccess);
  EXPECT_EQ(bar->text(QAccessible::Description), QString("Erfolg"));
  sb->SetColor(clBtnFace);
  EXPECT_EQ(bar->text(QAccessible::Description), QString());
}

TEST_F(Accessibility, ResultsAndColoursAreAnnouncedAtOnce) {
  StatusBar* sb = form.StatusBar1;
  heard.clear();
  sb->SetPanelText(1, "synchronisiert");
  sb->SetColor(StatusColorSuccess);
  sb->SetPanelText(1, "synchronisiert");  // no change, nothing to say
  sb->SetPanelText(1, "4 Datenblöcke gelesen - Datei nun speichern");
  ASSERT_EQ(heard.size(), 3u);
  EXPECT_EQ(heard[0].panel, 1);
  EXPECT_EQ(heard[0].type, QAccessible::NameChanged);
  EXPECT_EQ(heard[0].name, QString("synchronisiert"));
  EXPECT_EQ(heard[1].panel, -1);
  EXPECT_EQ(heard[1].type, QAccessible::DescriptionChanged);
  EXPECT_EQ(heard[1].name, QString("Erfolg"));
  EXPECT_EQ(heard[2].name, QString("4 Datenblöcke gelesen - Datei nun speichern"));
}

TEST_F(Accessibility, RunningCountIsAnnouncedAFewTimesASecondAndEndsRight) {
  StatusBar* sb = form.StatusBar1;
  heard.clear();
  QElapsedTimer t;
  t.start();
  const int records = 20000;
  for (int n = 1; n <= records; ++n) sb->SetPanelText(0, QString::number(n));
  const qint64 elapsed = t.elapsed();
  const qint64 interval = StatusBar::kCountAnnounceInterval.count();
  EXPECT_LE(Count(0), elapsed / interval + 2) << "in " << elapsed << " ms";
  // The result text follows: the last count is told first.
  sb->SetPanelText(1, "19999 Datenblöcke gelesen - Datei nun speichern");
  ASSERT_GE(heard.size(), 2u);
  EXPECT_EQ(heard[heard.size() - 2].panel, 0);
  EXPECT_EQ(heard[heard.size() - 2].name, QString::number(records));
  EXPECT_EQ(heard.back().panel, 1);

  // Without a following result, the last count goes out once the event loop runs.
  heard.clear();
  for (int n = 1; n <= 50; ++n) sb->SetPanelText(0, QString::number(n));
  WaitFor([&] { return !heard.empty() && heard.back().name == "50"; }, 2000);
  ASSERT_FALSE(heard.empty());
  EXPECT_EQ(heard.back().name, QString("50"));
}

TEST_F(Accessibility, EveryControlHasANameToolButtonsTheirHint) {
  const std::pair<QToolButton*, const char*> tools[] = {
      {form.ToolButton1, "Fenster ausdrucken"},
      {form.SaveButton, "Daten für Excel speichern"},
      {form.SetupButton, "COM-Schnittstellen-Setup"},
      {form.ToolButton3, "Programm-Info"},
      {form.ExitButton, "Ende"}};
  for (const auto& [button, hint] : tools) {
    QAccessibleInterface* iface = QAccessible::queryAccessibleInterface(button);
    ASSERT_NE(iface, nullptr);
    EXPECT_EQ(iface->role(), QAccessible::Button);
    EXPECT_EQ(iface->text(QAccessible::Name), QString::fromUtf8(hint));
  }
  for (QWidget* w : form.TabChain()) {
    QAccessibleInterface* iface = QAccessible::queryAccessibleInterface(w);
    ASSERT_NE(iface, nullptr) << w->objectName().toStdString();
    EXPECT_FALSE(iface->text(QAccessible::Name).trimmed().isEmpty())
        << w->objectName().toStdString() << " (" << w->metaObject()->className() << ") has no name";
  }
  EXPECT_EQ(QAccessible::queryAccessibleInterface(form.SnMaskEdit)->text(QAccessible::Name),
            QString("Logger-Serialnummer:"));
  QAccessibleInterface* graph = QAccessible::queryAccessibleInterface(form.PaintBox1);
  EXPECT_EQ(graph->role(), QAccessible::Graphic);
  EXPECT_FALSE(graph->text(QAccessible::Name).isEmpty());
}

// ---- the keyboard ----

TEST(Keyboard, TabVisitsEveryControlTopToBottomLeftToRight) {
  TForm1Base form;
  for (QWidget* w :
       {static_cast<QWidget*>(form.ResetButton1), static_cast<QWidget*>(form.DRadioGroup),
        static_cast<QWidget*>(form.SchreibButton1), static_cast<QWidget*>(form.GroupBox1),
        static_cast<QWidget*>(form.GroupBox2)})
    w->show();
  form.SaveButton->setEnabled(true);
  form.show();
  QApplication::setActiveWindow(&form);
  ASSERT_TRUE(QTest::qWaitForWindowActive(&form));

  // Tool bar, tabs, then the first page: buttons, radio groups, check boxes column by
  // column, the number fields.
  std::vector<QWidget*> expected;
  for (QWidget* w : form.TabChain())
    if (w->isVisibleTo(&form) && w->window() == &form && !form.TabSheet2->isAncestorOf(w))
      expected.push_back(w);
  // A radio group is one stop: Tab enters at its selected item, the arrows move inside.
  auto inGroup = [&](QWidget* w) -> RadioGroup* {
    for (RadioGroup* g : {form.RadioGroup1, form.DRadioGroup, form.LRadioGroup})
      if (g->isAncestorOf(w)) return g;
    return nullptr;
  };

  form.ToolButton1->setFocus(Qt::TabFocusReason);
  std::vector<QWidget*> visited{QApplication::focusWidget()};
  for (size_t i = 0; i < expected.size() + 5; ++i) {
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    QWidget* now = QApplication::focusWidget();
    if (now == form.ToolButton1) break;
    visited.push_back(now);
  }
  // Every control visited, in the chain's order; a radio group once, by one of its items.
  auto name = [&](QWidget* w) {
    if (!w) return std::string("(none)");
    if (RadioGroup* g = inGroup(w)) return g->objectName().toStdString();
    return w->objectName().toStdString();
  };
  std::vector<std::string> want, got;
  for (QWidget* w : expected)
    if (want.empty() || want.back() != name(w)) want.push_back(name(w));
  for (QWidget* w : visited) got.push_back(name(w));
  auto joined = [](const std::vector<std::string>& v) {
    std::string s;
    for (const auto& x : v) s += x + " ";
    return s;
  };
  EXPECT_EQ(joined(got), joined(want));
  // The chain itself runs by position: within a column top to bottom.
  const auto chain = form.TabChain();
  auto at = [&](QWidget* w) { return std::find(chain.begin(), chain.end(), w) - chain.begin(); };
  EXPECT_LT(at(form.AD16CheckBox), at(form.FrqCheckBox));
  EXPECT_LT(at(form.FrqCheckBox), at(form.RC1CheckBox));
  EXPECT_LT(at(form.TeleCheckBox), at(form.tAD16CheckBox));
  EXPECT_LT(at(form.Startbutton), at(form.RadioGroup1->button(0)));
  EXPECT_LT(at(form.t4800bpsCheckBox), at(form.SnMaskEdit));
  EXPECT_LT(at(form.Memo2), at(form.Button1));

  // The firmware page: the instructions, the button, then round to the tool bar.
  form.PageControl1->setCurrentIndex(1);
  form.PageControl1->tabBar()->setFocus(Qt::TabFocusReason);
  std::vector<std::string> page2;
  for (int i = 0; i < 3; ++i) {
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    page2.push_back(QApplication::focusWidget()->objectName().toStdString());
  }
  EXPECT_EQ(page2, (std::vector<std::string>{"Memo2", "Button1", "ToolButton1"}));
}

}  // namespace
