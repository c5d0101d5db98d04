// The setup dialog of the serial port: six lists (port, baud rate, data bits, stop
// bits, parity, flow control), OK and Cancel, at the fixed geometry of its design.
#pragma once

#include <QDialog>

#include "serial/comport.h"
#include "serial/ui/comcombobox.h"

class QGroupBox;
class QLabel;
class QPushButton;

class TComSetupFrm : public QDialog {
  Q_OBJECT

 public:
  // Builds the dialog, fills the lists and binds them to the port. A failing port list
  // raises EComPort cePortList here, before anything is shown.
  explicit TComSetupFrm(TCustomComPort& port, QWidget* parent = nullptr);

  // Shows the dialog modally and returns the result, QDialog::Accepted for OK.
  int Execute();
  // LockSettings, the six lists in order Combo1 to Combo6, UnlockSettings (also when a
  // list fails to apply; that failure then goes on to the caller).
  void ApplySettings();

  QGroupBox* GroupBox1;
  QLabel* Label1;
  QLabel* Label2;
  QLabel* Label3;
  QLabel* Label4;
  QLabel* Label5;
  QLabel* Label6;
  TComComboBox* Combo1;
  TComComboBox* Combo2;
  TComComboBox* Combo3;
  TComComboBox* Combo4;
  TComComboBox* Combo5;
  TComComboBox* Combo6;
  QPushButton* Button1;  // "OK"
  QPushButton* Button2;  // "Cancel"

 private:
  void FitFont();

  TCustomComPort& port_;
};

// Runs TComSetupFrm on the port: the dialog, then on OK its ApplySettings.
void RunComSetupFrm(TCustomComPort& port);
// Makes TCustomComPort::RunSetupDialog run TComSetupFrm.
void InstallSetupDialog();
