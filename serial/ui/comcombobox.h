// A drop-down list of the setup dialog bound to one port and one of its settings.
// It keeps its own copy of the chosen value: taken from the port when bound, from the
// user's choice whenever the selection changes, and written to the port only by
// ApplySettings.
#pragma once

#include <QComboBox>
#include <string>

#include "serial/comport.h"
#include "serial/portlist.h"

enum TComProperty { cpNone, cpPort, cpBaudRate, cpDataBits, cpStopBits, cpParity, cpFlowControl };

class TComComboBox : public QComboBox {
  Q_OBJECT

 public:
  explicit TComComboBox(QWidget* parent = nullptr);

  TCustomComPort* ComPort() const { return port_; }
  // Binds the list to a port; with a property set, takes the copy from the port.
  void SetComPort(TCustomComPort* port);

  TComProperty ComProperty() const { return property_; }
  // Fills the items (cpPort: ListSerialPorts, which may raise EComPort cePortList; cpNone:
  // none), leaves no item selected, then takes the copy from the port when bound.
  void SetComProperty(TComProperty property);

  // Takes the copy from the port: the item whose text equals the text of the port's
  // value (case ignored) is selected; when there is none, nothing is selected and the
  // copy stays as it was.
  void UpdateSettings();
  // Writes the copy to the port (cpPort: SetPort, which reopens an open port).
  void ApplySettings();

  // The copy: the port name for cpPort, the enumeration ordinal for the others.
  const std::string& PortValue() const { return portValue_; }
  int OrdinalValue() const { return ordinalValue_; }

  // Where the Port list comes from; tests point it at a tree of their own.
  static SerialPortRoots& PortListRoots();

 private:
  void Selected(int index);

  TCustomComPort* port_ = nullptr;
  TComProperty property_ = cpNone;
  std::string portValue_;
  int ordinalValue_ = 0;
};
