// The window "Flugauswertung": the lanes of the flight in hand over time with the cursors
// A and B, the GPS track beside them, the list of lanes to show, and below the table of
// values at A and B with difference, minimum, maximum and mean between them. Not modal,
// resizable; a new flight in hand replaces the one shown, and the window says so.
#pragma once

#include <QWidget>
#include <memory>
#include <string>

#include "analysis/calibration.h"
#include "model/flight.h"

class FlightChart;
class TrackView;
class QComboBox;
class QSpinBox;
class QSplitter;
class QLabel;
class QListWidget;
class QPushButton;
class QTableWidget;
class UserIO;

class AnalysisWindow : public QWidget {
  Q_OBJECT
 public:
  explicit AnalysisWindow(UserIO* io, QWidget* parent = nullptr);

  // Shows this flight with its options; newFlight says that it replaces one shown before.
  void ShowFlight(std::shared_ptr<const analysis::Flight> flight, bool newFlight,
                  const analysis::FlightOptions& options = {});
  // The flight's calibrations and references as the window uses them.
  const analysis::FlightOptions& Options() const { return options_; }
  void SetOptions(const analysis::FlightOptions& options);

  // "Bild speichern…": the diagram and the track as PNG or PDF.
  void SaveImageClick();
  // "Kanäle…": the channel profile and this flight's references; saves the profile.
  void ChannelsClick();
  // "Auswertung als CSV…": the calibrated and derived values between the cursors.
  void SaveCsvClick();
  // The diagram and the track as one picture of the size they have on the screen.
  QImage DiagramImage() const;
  // Writes the picture to path: PDF for a name ending in ".pdf", PNG otherwise.
  void WriteDiagram(const std::string& path) const;

  FlightChart* Chart;
  TrackView* Track;
  QListWidget* LaneList;
  QComboBox* TrackColour;
  QSpinBox* LaneHeight;  // "Höhe der Spuren", kept between sessions  // "einfarbig", "nach Höhe",
                         // "nach Steigen", "nach Geschwindigkeit"
  QTableWidget* StatsTable;
  QLabel* NoticeLabel;
  QLabel* TimeLabel;
  QLabel* ReadoutLabel;  // the values under the mouse, else at the active cursor
  QPushButton* ShowAllButton;
  QPushButton* SaveImageButton;
  QPushButton* ChannelsButton;
  QPushButton* SaveCsvButton;

 signals:
  // The user changed the options (the page keeps them with the flight in hand).
  void OptionsChanged();

 protected:
  void hideEvent(QHideEvent* e) override;

 private:
  void SaveLayout() const;
  void RestoreLayout();
  QSplitter* upper_ = nullptr;
  QSplitter* split_ = nullptr;
  void UpdateStats();
  void UpdateReadout();
  void ApplyTrackColour();
  void FillLaneList();
  UserIO* io_;
  std::shared_ptr<const analysis::Flight> flight_;
  analysis::FlightOptions options_;
};

// The file in the settings folder that keeps the window's layout between sessions.
extern const char* const kAnalysisLayoutFile;

// Names of the columns of the statistics table.
constexpr int kStatsColumns = 8;
extern const char* const kStatsHeaders[kStatsColumns];
