// The page of the third tab "Auswertung": a summary of the flight in hand and the buttons
// "Flug öffnen…", "Diagramm…", "GPX speichern…" and "KML speichern…". The flight in hand
// is the page's own copy: taken at the end of every download that stored records, or
// read from a CSV file; nothing else changes it.
#pragma once

#include <QWidget>
#include <memory>
#include <string>

#include "analysis/calibration.h"
#include "model/flight.h"

class AnalysisWindow;
class QLabel;
class QPushButton;
class UserIO;

class AnalysisPage : public QWidget {
  Q_OBJECT
 public:
  explicit AnalysisPage(QWidget* parent = nullptr);
  ~AnalysisPage() override;

  // The window's status bar, boxes and file dialogs.
  void SetUserIO(UserIO* io) { io_ = io; }

  // A new flight in hand; an open analysis window shows it and says so.
  void TakeFlight(analysis::Flight flight);
  const analysis::Flight* FlightInHand() const { return flight_.get(); }
  const analysis::FlightOptions& OptionsInHand() const { return options_; }
  // The main window's markers moved on the graph of the download in hand: its export
  // range follows them (shaded in the diagram, where the cursors of a window not yet
  // opened on it start). A flight from a file keeps its range.
  void SetDownloadRange(int32_t first, int32_t last);

  // The handlers of the four buttons.
  void OpenButtonClick();
  void DiagramButtonClick();
  void GpxButtonClick();
  void KmlButtonClick();

  // The analysis window, once "Diagramm…" has opened it.
  AnalysisWindow* Window() const { return window_; }
  // The records the track files cover: the cursors of the analysis window, or before it
  // was opened the flight's range.
  void CursorRange(int32_t& a, int32_t& b) const;

  // The summary lines as the page shows them.
  static std::string SummaryText(const analysis::Flight* flight);

  QPushButton* OpenButton;
  QPushButton* DiagramButton;
  QPushButton* GpxButton;
  QPushButton* KmlButton;
  QLabel* SummaryLabel;

 private:
  void Refresh();
  void SaveTrack(bool kml);
  template <typename F>
  void Run(F&& handler);

  UserIO* io_ = nullptr;
  std::shared_ptr<analysis::Flight> flight_;
  // What belongs to the flight in hand beyond its records: calibrations, QNH, field
  // elevation, take-off time.
  analysis::FlightOptions options_;
  AnalysisWindow* window_ = nullptr;
};
