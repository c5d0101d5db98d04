// The window "Flugauswertung": the lanes of the flight in hand over time with the cursors
// A and B, the GPS track beside them, the list of lanes to show, and below the table of
// values at A and B with difference, minimum, maximum and mean between them. Not modal,
// resizable; a new flight in hand replaces the one shown, and the window says so.
#pragma once

#include <QWidget>
#include <memory>
#include <string>

#include "model/flight.h"

class FlightChart;
class TrackView;
class QLabel;
class QListWidget;
class QPushButton;
class QTableWidget;
class UserIO;

class AnalysisWindow : public QWidget {
  Q_OBJECT
 public:
  explicit AnalysisWindow(UserIO* io, QWidget* parent = nullptr);

  // Shows this flight; newFlight says that it replaces one shown before.
  void ShowFlight(std::shared_ptr<const analysis::Flight> flight, bool newFlight);

  // "Bild speichern…": the diagram and the track as PNG or PDF.
  void SaveImageClick();
  // The diagram and the track as one picture of the size they have on the screen.
  QImage DiagramImage() const;
  // Writes the picture to path: PDF for a name ending in ".pdf", PNG otherwise.
  void WriteDiagram(const std::string& path) const;

  FlightChart* Chart;
  TrackView* Track;
  QListWidget* LaneList;
  QTableWidget* StatsTable;
  QLabel* NoticeLabel;
  QLabel* TimeLabel;
  QPushButton* ShowAllButton;
  QPushButton* SaveImageButton;

 private:
  void UpdateStats();
  void FillLaneList();
  UserIO* io_;
  std::shared_ptr<const analysis::Flight> flight_;
};

// Names of the columns of the statistics table.
extern const char* const kStatsHeaders[7];
