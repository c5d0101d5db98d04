// The page of the fourth tab "Flugbuch": the kept flights in a table, newest first, with
// a search field, the count and total time of the rows shown, the totals per model and
// per year ("Übersicht…"), model and note edited in place, the flight opened in
// "Auswertung" with Enter or a double-click, and the ways in and out (CSV, GPX, KML,
// "Importieren…", "Löschen", "Sichern…"). The logbook is never opened during start-up:
// a moment after the window came up it is opened and checked on a thread of its own, so
// that the tab shows at once when clicked; a use before then opens it on the spot.
#pragma once

#include <QWidget>
#include <future>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "logbook/logbook.h"

class AnalysisPage;
class QLabel;
class QLineEdit;
class QPushButton;
class QSortFilterProxyModel;
class QTableView;
class QTabWidget;
class LogbookTableModel;
struct FlightData;

class LogbookPage : public QWidget {
  Q_OBJECT
 public:
  // analysis: the page that takes a flight opened here; tabs: the window's page control,
  // which then shows it.
  LogbookPage(AnalysisPage* analysis, QTabWidget* tabs, QWidget* parent = nullptr);
  ~LogbookPage() override;

  // What keeping a download came to.
  struct KeepResult {
    bool kept = false;       // the download is in the logbook (new or from before)
    bool duplicate = false;  // it was there before: "bereits im Flugbuch"
    int64_t id = 0;
    std::string error;   // a German text for an error box when keeping failed
    std::string notice;  // a German text for an information box (a damaged logbook set aside)
  };
  // The window calls this right after a download's degree pass: keeps the download unless
  // it ended in "keine Daten empfangen !!!" (fewer than six records), refreshes the table
  // and says on the page when the flight was there already. The commit is on the disk
  // when it returns.
  KeepResult KeepDownload(const RawDump& dump, const logbook::LoggerIdentity& logger,
                          const FlightData& fd);

  // The logbook, opened on first use; nullptr when there is none this run (the reason is
  // on the page).
  logbook::Logbook* Book();
  // The rows the table shows, in the order it shows them.
  std::vector<int64_t> ShownIds() const;
  // The flight of the current row, if any.
  std::optional<int64_t> CurrentId() const;
  void SelectId(int64_t id);

  // The handlers of the buttons and of Enter / double-click.
  void OpenCurrent();
  void OverviewButtonClick();
  void ExportButtonClick(const char* kind);  // "csv", "gpx", "kml"
  void ImportFiles();
  void ImportFolder();
  void DeleteButtonClick();
  void BackupButtonClick();

  QLabel* SearchLabel;
  QLineEdit* SearchEdit;
  QTableView* Table;
  QLabel* CountLabel;    // "3 Flüge, zusammen 1:02:03"
  QLabel* MessageLabel;  // the result of the last action, "bereits im Flugbuch"
  QLabel* LocationLabel;
  QPushButton* OverviewButton;
  QPushButton* CsvButton;
  QPushButton* GpxButton;
  QPushButton* KmlButton;
  QPushButton* ImportButton;
  QPushButton* DeleteButton;
  QPushButton* BackupButton;

 protected:
  void showEvent(QShowEvent* e) override;
  bool eventFilter(QObject* watched, QEvent* e) override;

 private:
  void Reload();
  void UpdateState();
  void Say(const QString& text, bool error = false);
  void ShowError(const QString& text);
  bool SaveEdit(int64_t id, int column, const std::string& text);
  void Import(const std::vector<std::string>& paths);
  // Opens the logbook and lists it on a thread of its own.
  void StartOpening();

  struct Opened {
    std::unique_ptr<logbook::Logbook> book;
    std::vector<logbook::Entry> entries;
    std::string error;
  };
  static Opened OpenAndList(const std::string& path);

  AnalysisPage* analysis_;
  QTabWidget* tabs_;
  LogbookTableModel* model_;
  QSortFilterProxyModel* proxy_;
  std::unique_ptr<logbook::Logbook> book_;
  bool tried_ = false;
  std::future<Opened> opening_;
  std::string openError_;
};
