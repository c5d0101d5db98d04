// TComComboBox: items, binding and applying.
#include "serial/ui/comcombobox.h"

#include <QAbstractItemView>
#include <QSignalBlocker>

#include "serial/comsettings.h"

namespace {

const std::vector<std::string>* TextsOf(TComProperty p) {
  switch (p) {
    case cpBaudRate: return &BaudRateTexts();
    case cpDataBits: return &DataBitsTexts();
    case cpStopBits: return &StopBitsTexts();
    case cpParity: return &ParityTexts();
    case cpFlowControl: return &FlowControlTexts();
    default: return nullptr;
  }
}

int PortOrdinal(const TCustomComPort& port, TComProperty p) {
  switch (p) {
    case cpBaudRate: return port.BaudRate();
    case cpDataBits: return port.DataBits();
    case cpStopBits: return port.StopBits();
    case cpParity: return port.Parity().Bits();
    case cpFlowControl: return port.FlowControl().FlowControl();
    default: return -1;
  }
}

}  // namespace

TComComboBox::TComComboBox(QWidget* parent) : QComboBox(parent) {
  setEditable(false);
  setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
  connect(this, &QComboBox::currentIndexChanged, this, &TComComboBox::Selected);
}

SerialPortRoots& TComComboBox::PortListRoots() {
  static SerialPortRoots roots;
  return roots;
}

void TComComboBox::SetComPort(TCustomComPort* port) {
  port_ = port;
  if (port_ != nullptr && property_ != cpNone) UpdateSettings();
}

void TComComboBox::SetComProperty(TComProperty property) {
  std::vector<std::string> items;
  if (property == cpPort) {
    items = ListSerialPorts(port_ != nullptr ? port_->Port() : std::string(), PortListRoots());
  } else if (const auto* texts = TextsOf(property)) {
    items = *texts;
  }
  property_ = property;
  portValue_.clear();
  ordinalValue_ = 0;
  {
    // Filling selects the first item by itself; that is no choice of the user's.
    QSignalBlocker block(this);
    clear();
    for (const std::string& item : items) addItem(QString::fromStdString(item));
    setCurrentIndex(-1);
  }
  // Long device names (the by-id links) get a popup wide enough to read them.
  if (view() != nullptr) {
    int widest = 0;
    for (int i = 0; i < count(); ++i)
      widest = std::max(widest, fontMetrics().horizontalAdvance(itemText(i)));
    view()->setMinimumWidth(std::max(width(), widest + 24));
  }
  if (port_ != nullptr && property_ != cpNone) UpdateSettings();
}

void TComComboBox::UpdateSettings() {
  if (port_ == nullptr) return;
  QString wanted;
  if (property_ == cpPort) {
    wanted = QString::fromStdString(port_->Port());
  } else if (const auto* texts = TextsOf(property_)) {
    int ordinal = PortOrdinal(*port_, property_);
    if (ordinal < 0 || ordinal >= static_cast<int>(texts->size())) return;
    wanted = QString::fromStdString((*texts)[static_cast<size_t>(ordinal)]);
  } else {
    return;
  }
  int found = -1;
  for (int i = 0; i < count() && found < 0; ++i)
    if (itemText(i).compare(wanted, Qt::CaseInsensitive) == 0) found = i;
  if (found < 0) {
    QSignalBlocker block(this);
    setCurrentIndex(-1);
    return;
  }
  if (found == currentIndex())
    Selected(found);
  else
    setCurrentIndex(found);  // Selected takes the copy
}

void TComComboBox::Selected(int index) {
  if (index < 0 || index >= count()) return;
  if (property_ == cpPort)
    portValue_ = itemText(index).toStdString();
  else if (property_ != cpNone)
    ordinalValue_ = index;
}

void TComComboBox::ApplySettings() {
  if (port_ == nullptr) return;
  switch (property_) {
    case cpPort: port_->SetPort(portValue_); break;
    case cpBaudRate: port_->SetBaudRate(static_cast<TBaudRate>(ordinalValue_)); break;
    case cpDataBits: port_->SetDataBits(static_cast<TDataBits>(ordinalValue_)); break;
    case cpStopBits: port_->SetStopBits(static_cast<TStopBits>(ordinalValue_)); break;
    case cpParity: port_->Parity().SetBits(static_cast<TParityBits>(ordinalValue_)); break;
    case cpFlowControl:
      port_->FlowControl().SetFlowControl(static_cast<TFlowControl>(ordinalValue_));
      break;
    case cpNone: break;
  }
}
