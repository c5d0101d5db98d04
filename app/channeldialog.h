// The dialog "Kanäle…" of the window "Flugauswertung": the logger's channel profile (name,
// unit, decimals and a linear calibration per channel, entered as factor and offset or
// through two reference points; how the altitude channel becomes metres) and what belongs
// to this flight (QNH or the field elevation at take-off, "Höhe über Start", the climb
// rate's window, the take-off time).
#pragma once

#include <QDialog>
#include <optional>

#include "analysis/calibration.h"
#include "model/flight.h"

class QCheckBox;
class QComboBox;
class QDateTimeEdit;
class QDoubleSpinBox;
class QLabel;
class QLineEdit;
class QTableWidget;

class ChannelDialog : public QDialog {
  Q_OBJECT
 public:
  ChannelDialog(const analysis::Flight& flight, const analysis::FlightOptions& options,
                QWidget* parent = nullptr);

  // The options as entered; nullopt while an entry does not read (the message says why).
  std::optional<analysis::FlightOptions> Entered();

  QComboBox* ProfileChoice;  // the flight's logger, or for a flight without one any saved
  QTableWidget* Table;       // one row per recorded channel
  QComboBox* AltitudeMethod;
  QComboBox* Reference;
  QDoubleSpinBox* Qnh;
  QDoubleSpinBox* FieldElevation;
  QCheckBox* AboveStart;
  QDoubleSpinBox* ClimbWindow;
  QCheckBox* TakeOffGiven;
  QDateTimeEdit* TakeOff;
  QLineEdit *Raw1, *Value1, *Raw2, *Value2;
  QLabel* Message;

  // The table's columns.
  enum { kChannel, kName, kUnit, kDecimals, kCalibrated, kFactor, kOffset, kColumns };

 private:
  void FillTable(const analysis::ChannelProfile& profile);
  void ApplyTwoPoints();
  void accept() override;
  std::vector<analysis::Column> rows_;
  analysis::FlightOptions options_;
};
