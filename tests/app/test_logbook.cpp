// The tab "Flugbuch" through its real widgets: opened lazily, the table newest first and
// readable through assistive technology, search and count, edits saved at once, Enter
// and a double-click opening the flight in "Auswertung", the dialogs of export, import,
// delete and the overview, and keeping a download as the window will after a download.
#include <QAccessible>
#include <QAccessibleTableInterface>
#include <QDate>
#include <QFileDialog>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QTableView>
#include <QTabBar>
#include <QTableWidget>
#include <sys/stat.h>

#include "formats/csvexport.h"
#include "logbook/logbook.h"
#include "tests/logbook/logbook_support.h"
#include "tests/support/modal.h"
#include "tests/support/window_fixture.h"

using namespace logbooktest;

namespace {

class LogbookPageTest : public WindowTest {
 protected:
  LogbookPage* Page() { return form->TabSheet4; }
  std::string BookPath() { return dir / "data/morvala/flugbuch.sqlite"; }

  // Three flights kept before the window opens: 10, 2 and 5 minutes.
  void KeepThree() {
    auto lb = logbook::Logbook::Open(BookPath());
    ids.push_back(lb->AddDownload(DumpOf(Flight(601, 1)), Logger(12, 1), At(0)).id);
    ids.push_back(lb->AddDownload(DumpOf(Flight(121, 2)), Logger(12, 2), At(60)).id);
    ids.push_back(lb->AddDownload(DumpOf(Flight(301, 3)), Logger(5, 3), At(-60)).id);
    lb->SetModel(ids[0], "Ka 8");
    lb->SetModel(ids[2], "ka 8");
    lb->SetNote(ids[1], "Thermik");
  }
  void ShowPage() {
    WriteIni("/tmp/morvala-no-logger-here");
    CreateWindow();
    form->PageControl1->setCurrentIndex(3);
    QApplication::processEvents();
  }
  // Types the names into the file dialog's name field and presses Enter, as a user does.
  static void Type(QFileDialog& d, const std::string& names) {
    auto* edit = d.findChild<QLineEdit*>("fileNameEdit");
    ASSERT_NE(edit, nullptr);
    edit->setText(QString::fromStdString(names));
    QTest::keyClick(edit, Qt::Key_Return);
    if (d.isVisible()) {
      ADD_FAILURE() << "the file dialog did not take " << names;
      d.reject();
    }
  }
  QModelIndex Cell(int row, int column) { return Page()->Table->model()->index(row, column); }
  std::string Text(QLabel* l) { return l->text().toStdString(); }

  std::vector<int64_t> ids;
};

TEST_F(LogbookPageTest, OpensLazilyShowsNewestFirstReadableAndFiltersByTheSearch) {
  WriteIni("/tmp/morvala-no-logger-here");
  CreateWindow();
  struct stat st;
  EXPECT_NE(::stat((dir / "data/morvala").c_str(), &st), 0) << "opened at start-up";
  // A moment later it is opened in the background, before anyone clicks the tab.
  EXPECT_TRUE(
      WaitFor([&] { return ::stat((dir / "data/morvala/flugbuch.sqlite").c_str(), &st) == 0; }));
  form.reset();
  KeepThree();
  ShowPage();

  EXPECT_EQ(Page()->ShownIds(), (std::vector<int64_t>{ids[1], ids[0], ids[2]}));
  EXPECT_EQ(Text(Page()->CountLabel), "3 Flüge, zusammen 0:17:00");
  EXPECT_EQ(Text(Page()->LocationLabel), "Ort: " + BookPath());
  EXPECT_EQ(Page()->CurrentId(), ids[1]);  // the newest is the current row

  // From the tabs the Tab key reaches the search field, then the table.
  form->PageControl1->tabBar()->setFocus(Qt::TabFocusReason);
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
  EXPECT_EQ(QApplication::focusWidget(), Page()->SearchEdit);
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
  EXPECT_EQ(QApplication::focusWidget(), Page()->Table);

  // Every control has a name; the table's cells and titles read through QAccessible.
  for (QWidget* w : Page()->findChildren<QWidget*>()) {
    if (w->focusPolicy() != Qt::NoFocus && w->isVisible() && w->parentWidget() == Page()) {
      EXPECT_FALSE(w->accessibleName().isEmpty()) << w->metaObject()->className();
    }
  }
  QAccessibleInterface* table = QAccessible::queryAccessibleInterface(Page()->Table);
  ASSERT_TRUE(table && table->tableInterface());
  QAccessibleTableInterface* t = table->tableInterface();
  EXPECT_EQ(table->text(QAccessible::Name), "Flüge im Flugbuch");
  EXPECT_EQ(t->rowCount(), 3);
  EXPECT_EQ(t->columnCount(), 9);
  EXPECT_EQ(t->columnDescription(0), "Datum, Zeit");
  EXPECT_EQ(t->columnDescription(7), "Modell");
  EXPECT_EQ(t->cellAt(0, 0)->text(QAccessible::Name), "09.12.2026 05:30");
  EXPECT_EQ(t->cellAt(0, 1)->text(QAccessible::Name), "012");
  EXPECT_EQ(t->cellAt(0, 2)->text(QAccessible::Name), "00002");
  EXPECT_EQ(t->cellAt(0, 3)->text(QAccessible::Name), "0:02:00");
  EXPECT_EQ(t->cellAt(0, 4)->text(QAccessible::Name), "121");
  EXPECT_EQ(t->cellAt(0, 5)->text(QAccessible::Name), "14");
  EXPECT_EQ(t->cellAt(0, 8)->text(QAccessible::Name), "Thermik");
  EXPECT_EQ(t->cellAt(2, 7)->text(QAccessible::Name), "ka 8");

  // Typing into the search field filters by model (any case), note, date and serial.
  QTest::keyClicks(Page()->SearchEdit, "KA 8");
  EXPECT_EQ(Page()->ShownIds(), (std::vector<int64_t>{ids[0], ids[2]}));
  EXPECT_EQ(Text(Page()->CountLabel), "2 Flüge von 3 gezeigt, zusammen 0:15:00");
  Page()->SearchEdit->setText("005");
  EXPECT_EQ(Page()->ShownIds(), (std::vector<int64_t>{ids[2]}));
  Page()->SearchEdit->setText("09.12.2026 05");
  EXPECT_EQ(Page()->ShownIds(), (std::vector<int64_t>{ids[1]}));
  Page()->SearchEdit->clear();
  // A click on a title sorts by that column.
  QHeaderView* header = Page()->Table->horizontalHeader();
  QTest::mouseClick(header->viewport(), Qt::LeftButton, {},
                    QPoint(header->sectionViewportPosition(3) + 5, header->height() / 2));
  const auto byDuration = Page()->ShownIds();
  EXPECT_TRUE(byDuration == (std::vector<int64_t>{ids[1], ids[2], ids[0]}) ||
              byDuration == (std::vector<int64_t>{ids[0], ids[2], ids[1]}));
}

TEST_F(LogbookPageTest, ModelAndNoteAreEditedInPlaceAndEnterOrDoubleClickOpenTheFlight) {
  KeepThree();
  ShowPage();
  QTableView* table = Page()->Table;
  table->setFocus();
  table->setCurrentIndex(Cell(1, 7));  // the 10-minute flight's model
  QTest::keyClick(table, Qt::Key_F2);
  auto* editor = qobject_cast<QLineEdit*>(QApplication::focusWidget());
  ASSERT_NE(editor, nullptr);
  editor->selectAll();
  QTest::keyClicks(editor, "Discus 2");
  QTest::keyClick(editor, Qt::Key_Return);
  QApplication::processEvents();  // the closed editor goes
  table->setCurrentIndex(Cell(1, 8));
  QTest::keyClick(table, 'W');  // typing starts the edit too
  editor = qobject_cast<QLineEdit*>(QApplication::focusWidget());
  ASSERT_NE(editor, nullptr);
  QTest::keyClicks(editor, "ind");
  QTest::keyClick(editor, Qt::Key_Tab);
  QApplication::processEvents();
  {
    auto other = logbook::Logbook::Open(BookPath());  // saved at once, seen by another program
    EXPECT_EQ(other->Get(ids[0])->model, "Discus 2");
    EXPECT_EQ(other->Get(ids[0])->note, "Wind");
  }
  EXPECT_EQ(Text(Page()->MessageLabel), "Notiz gespeichert.");

  // Enter opens the flight in "Auswertung".
  table->setFocus();
  table->setCurrentIndex(Cell(1, 0));
  QTest::keyClick(table, Qt::Key_Return);
  EXPECT_EQ(form->PageControl1->currentWidget(), form->TabSheet3);
  const analysis::Flight* inHand = form->TabSheet3->FlightInHand();
  ASSERT_NE(inHand, nullptr);
  EXPECT_EQ(inHand->Count(), 601);
  EXPECT_EQ(inHand->columns, logbook::Logbook::Open(BookPath())->LoadFlight(ids[0]).columns);
  EXPECT_NE(form->TabSheet3->SummaryLabel->text().indexOf(
                "Herkunft: Flugbuch, 09.12.2026 04:30, Flug 00001, Discus 2"),
            -1);
  // A double-click on another row opens that one.
  form->PageControl1->setCurrentIndex(3);
  const QRect r = table->visualRect(Cell(0, 2));
  QTest::mouseClick(table->viewport(), Qt::LeftButton, {}, r.center());
  QTest::mouseDClick(table->viewport(), Qt::LeftButton, {}, r.center());
  EXPECT_EQ(form->PageControl1->currentWidget(), form->TabSheet3);
  EXPECT_EQ(form->TabSheet3->FlightInHand()->Count(), 121);
}

TEST_F(LogbookPageTest, ExportImportDeleteAndOverviewThroughTheirDialogs) {
  KeepThree();
  ShowPage();
  Page()->SelectId(ids[0]);

  {  // CSV of the selected flight, byte for byte as the window's export of the download.
    modal::DialogAnswerer<QFileDialog> save([&](QFileDialog& d) { Type(d, dir / "flug"); });
    QTest::mouseClick(Page()->CsvButton, Qt::LeftButton);
  }
  auto fd = std::make_unique<FlightData>();
  ASSERT_TRUE(DecodeRawDump(DumpOf(Flight(601, 1)), *fd));
  EXPECT_TRUE(ReadFile(dir / "flug.csv") == CsvText(*fd));
  EXPECT_EQ(Text(Page()->MessageLabel), "CSV-Datei gespeichert: " + (dir / "flug.csv"));

  {  // "Sichern…": a copy that opens as a logbook of its own.
    modal::DialogAnswerer<QFileDialog> save([&](QFileDialog& d) { Type(d, dir / "kopie"); });
    QTest::mouseClick(Page()->BackupButton, Qt::LeftButton);
    EXPECT_EQ(logbook::Logbook::Open(dir / "kopie.sqlite")->List().size(), 3u);
  }

  {  // Import of two files, one the CSV reader refuses: a German report.
    auto other = std::make_unique<FlightData>();
    ASSERT_TRUE(DecodeRawDump(DumpOf(Flight(50, 9)), *other));
    WriteFile(dir / "neu.csv", CsvText(*other));
    WriteFile(dir / "kaputt.csv", "1;2;3;\r\n");
    QString report;
    modal::Answerer answer([&](QWidget* w) {
      if (auto* d = qobject_cast<QFileDialog*>(w)) {
        d->setDirectory(QString::fromStdString(dir.Path()));
        Type(*d, "\"neu.csv\" \"kaputt.csv\"");
      } else if (auto* box = qobject_cast<QMessageBox*>(w)) {
        report = box->text();
        box->accept();
      }
    });
    QMenu* menu = Page()->ImportButton->menu();
    ASSERT_NE(menu, nullptr);
    ASSERT_EQ(menu->actions().size(), 2);
    menu->actions()[0]->trigger();
    EXPECT_TRUE(report.startsWith("1 von 2 Dateien übernommen.\n1 abgelehnt:\n"))
        << report.toStdString();
    EXPECT_NE(report.indexOf("„kaputt.csv“ ist keine CSV-Datei dieses Programms: Zeile 1: 3 Werte "
                             "statt 8"),
              -1)
        << report.toStdString();
    EXPECT_EQ(Page()->ShownIds().size(), 4u);
  }

  {  // "Löschen" asks first; "Abbrechen" keeps the flight, "Ja" removes it.
    Page()->SelectId(ids[2]);
    QString question;
    bool yes = false;
    modal::DialogAnswerer<QMessageBox> answer([&](QMessageBox& box) {
      question = box.text();
      modal::Button(&box, yes ? "Ja" : "Abbrechen")->click();
    });
    QTest::mouseClick(Page()->DeleteButton, Qt::LeftButton);
    EXPECT_EQ(question.toStdString(),
              "Den Flug vom 09.12.2026 03:30 (ka 8) aus dem Flugbuch löschen?\nDas lässt sich "
              "nicht rückgängig machen.");
    EXPECT_EQ(Page()->ShownIds().size(), 4u);
    yes = true;
    Page()->Table->setFocus();
    QTest::keyClick(Page()->Table, Qt::Key_Delete);
    EXPECT_EQ(Page()->ShownIds().size(), 3u);
    EXPECT_FALSE(logbook::Logbook::Open(BookPath())->Get(ids[2]));
  }

  {  // The overview: totals per model and per year.
    std::vector<std::vector<QString>> models, years;
    QString total;
    modal::DialogAnswerer<QDialog> answer([&](QDialog& d) {
      auto rows = [&](const char* name) {
        std::vector<QString> out;
        auto* t = d.findChild<QTableWidget*>(name);
        for (int r = 0; t && r < t->rowCount(); ++r)
          out.push_back(t->item(r, 0)->text() + "|" + t->item(r, 1)->text() + "|" +
                        t->item(r, 2)->text());
        return out;
      };
      models.push_back(rows("ModelTotals"));
      years.push_back(rows("YearTotals"));
      total = d.findChild<QLabel*>("TotalLabel")->text();
      d.reject();
    });
    QTest::mouseClick(Page()->OverviewButton, Qt::LeftButton);
    ASSERT_EQ(models.size(), 1u);
    EXPECT_EQ(models[0], (std::vector<QString>{"(ohne Modell)|2|0:02:49", "Ka 8|1|0:10:00"}));
    if (QDate::currentDate().year() == 2026) {  // the import counts in the year it is made
      EXPECT_EQ(years[0], (std::vector<QString>{"2026|3|0:12:49"}));
    }
    EXPECT_EQ(total, "Im Flugbuch: 3 Flüge, zusammen 0:12:49");
  }
}

TEST_F(LogbookPageTest, KeepingADownloadAddsItOnceAndReportsWhatCannotBeKept) {
  ShowPage();
  const RawDump dump = DumpOf(Flight(200, 4));
  auto fd = std::make_unique<FlightData>();
  ASSERT_TRUE(DecodeRawDump(dump, *fd));
  LogbookPage::KeepResult r = Page()->KeepDownload(dump, Logger(12, 8), *fd);
  EXPECT_TRUE(r.kept && !r.duplicate && r.error.empty());
  EXPECT_EQ(Page()->ShownIds(), std::vector<int64_t>{r.id});
  EXPECT_EQ(Text(Page()->MessageLabel).rfind("Der Download wurde ins Flugbuch aufgenommen", 0), 0u);
  r = Page()->KeepDownload(dump, Logger(12, 8), *fd);
  EXPECT_TRUE(r.kept && r.duplicate);
  EXPECT_EQ(Text(Page()->MessageLabel).rfind("Der Download ist bereits im Flugbuch (Flug vom ", 0),
            0u);
  EXPECT_EQ(Page()->ShownIds().size(), 1u);
  // "keine Daten empfangen !!!": nothing kept, nothing to report.
  fd->LastSampleIndex = 4;
  r = Page()->KeepDownload(dump, Logger(), *fd);
  EXPECT_FALSE(r.kept);
  EXPECT_TRUE(r.error.empty());
  form.reset();

  // A folder in the logbook's place: no logbook this run, the reason for a German box.
  TempDir other;
  ScopedEnv data("XDG_DATA_HOME", other.Path().c_str());
  ::mkdir((other / "morvala").c_str(), 0700);
  ::mkdir((other / "morvala/flugbuch.sqlite").c_str(), 0700);
  CreateWindow();
  ASSERT_TRUE(DecodeRawDump(dump, *fd));
  r = form->TabSheet4->KeepDownload(dump, Logger(), *fd);
  EXPECT_FALSE(r.kept);
  EXPECT_EQ(r.error,
            "Das Flugbuch „" + (other / "morvala/flugbuch.sqlite") +
                "“ ist in diesem Lauf nicht verfügbar: an seiner Stelle steht ein Ordner.");
  EXPECT_EQ(form->TabSheet4->MessageLabel->text().toStdString(), r.error);
  EXPECT_FALSE(form->TabSheet4->ImportButton->isEnabled());
  form.reset();

  // A damaged logbook: set aside, and the user told where it went when the tab shows.
  ::rmdir((other / "morvala/flugbuch.sqlite").c_str());
  WriteFile(other / "morvala/flugbuch.sqlite", std::string(5000, 'x'));
  QString told;
  modal::DialogAnswerer<QMessageBox> answer([&](QMessageBox& box) {
    told = box.text();
    box.accept();
  });
  CreateWindow();
  form->PageControl1->setCurrentIndex(3);
  EXPECT_TRUE(told.startsWith("Das Flugbuch war beschädigt. Es wurde nach „" +
                              QString::fromStdString(other / "morvala/flugbuch.sqlite.defekt-")))
      << told.toStdString();
  r = form->TabSheet4->KeepDownload(dump, Logger(), *fd);
  EXPECT_TRUE(r.kept && !r.duplicate);
}

// "Daten einlesen" keeps every download at once, the same download once; the kept dump
// decodes to the table the window downloaded, and the status bar says what it always said.
TEST_F(LogbookPageTest, EveryDownloadOfTheWindowIsKeptOnce) {
  loggersim::SimFlight f = loggersim::SampleFlight();
  f.records.resize(240);
  StartFullSpeed(f);
  DownloadData();
  ASSERT_EQ(form->Flight.LastSampleIndex, 239) << Panel(1);
  EXPECT_EQ(Panel(1), "239 Datenblöcke gelesen - Datei nun speichern");
  ASSERT_EQ(Page()->ShownIds().size(), 1u);
  const auto entry = Page()->Book()->Get(Page()->ShownIds()[0]);
  ASSERT_TRUE(entry.has_value());
  EXPECT_EQ(entry->serialNumber, 12);
  auto kept = std::make_unique<FlightData>();
  Page()->Book()->DecodeInto(Page()->ShownIds()[0], *kept);
  ASSERT_EQ(kept->LastSampleIndex, 239);
  EXPECT_EQ(CsvText(*kept), CsvText(form->Flight));

  // The logger switched on again with the same flight: the same bytes, kept once.
  Sim().PowerOn();
  DownloadData();
  EXPECT_EQ(Page()->ShownIds().size(), 1u);
  EXPECT_NE(Text(Page()->MessageLabel).find("bereits im Flugbuch"), std::string::npos)
      << Text(Page()->MessageLabel);
  for (const auto& box : ui.boxes) EXPECT_NE(box.kind, BoxKind::Error) << box.text;
}

}  // namespace
