// The port's settings file and setup dialog entry points: WriteSettings, ReadSettings,
// RunSetupDialog and the value texts they share with the dialog.
#include "serial/comsettings.h"

#include <cstdlib>

#include "formats/profile.h"

namespace {

template <typename E>
E FromText(const std::vector<std::string>& list, const std::string& text, E fallback) {
  int i = FindSettingText(list, text);
  return i < 0 ? fallback : static_cast<E>(i);
}

const std::string& TextOf(const std::vector<std::string>& list, int ordinal) {
  static const std::string empty;
  if (ordinal < 0 || ordinal >= static_cast<int>(list.size())) return empty;
  return list[static_cast<size_t>(ordinal)];
}

char Upper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

}  // namespace

const std::vector<std::string>& BaudRateTexts() {
  static const std::vector<std::string> t = {
      "Custom", "110",   "300",   "600",   "1200",  "2400",   "4800",   "9600",
      "14400",  "19200", "38400", "56000", "57600", "115200", "128000", "256000"};
  return t;
}
const std::vector<std::string>& StopBitsTexts() {
  static const std::vector<std::string> t = {"1", "1.5", "2"};
  return t;
}
const std::vector<std::string>& DataBitsTexts() {
  static const std::vector<std::string> t = {"5", "6", "7", "8"};
  return t;
}
const std::vector<std::string>& ParityTexts() {
  static const std::vector<std::string> t = {"None", "Odd", "Even", "Mark", "Space"};
  return t;
}
const std::vector<std::string>& FlowControlTexts() {
  static const std::vector<std::string> t = {"Hardware", "Software", "None", "Custom"};
  return t;
}

int FindSettingText(const std::vector<std::string>& list, const std::string& text) {
  for (size_t i = 0; i < list.size(); ++i) {
    const std::string& item = list[i];
    if (item.size() != text.size()) continue;
    bool same = true;
    for (size_t j = 0; j < item.size() && same; ++j) same = Upper(item[j]) == Upper(text[j]);
    if (same) return static_cast<int>(i);
  }
  return -1;
}

TBaudRate StrToBaudRate(const std::string& text) { return FromText(BaudRateTexts(), text, br9600); }
TStopBits StrToStopBits(const std::string& text) {
  return FromText(StopBitsTexts(), text, sbOneStopBit);
}
TDataBits StrToDataBits(const std::string& text) {
  return FromText(DataBitsTexts(), text, dbEight);
}
TParityBits StrToParity(const std::string& text) { return FromText(ParityTexts(), text, prNone); }
TFlowControl StrToFlowControl(const std::string& text) {
  return FromText(FlowControlTexts(), text, fcCustom);
}

int32_t StrToIntDef(const std::string& text, int32_t def) {
  size_t i = 0;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  int base = 10;
  if (i + 1 < text.size() && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X')) {
    base = 16;
    i += 2;
  }
  if (i >= text.size()) return def;
  long long v = 0;
  for (; i < text.size(); ++i) {
    char c = text[i];
    int d;
    if (c >= '0' && c <= '9')
      d = c - '0';
    else if (base == 16 && c >= 'a' && c <= 'f')
      d = c - 'a' + 10;
    else if (base == 16 && c >= 'A' && c <= 'F')
      d = c - 'A' + 10;
    else
      return def;
    v = v * base + d;
    if (v > 0x80000000LL) return def;
  }
  if (negative) v = -v;
  if (v > INT32_MAX || v < INT32_MIN) return def;
  return static_cast<int32_t>(v);
}

// The registry form (useIniFile false) does not exist on this platform; asking for it
// is a caller error and fails like an unwritable or unreadable store: 16 or 17.
void TCustomComPort::WriteSettings(bool useIniFile, const std::string& name) {
  if (!useIniFile) throw EComPort(ceStoreSettings);
  const std::string& section = Name();
  auto put = [&](const char* key, const std::string& value) {
    if (!WriteProfileString(section, key, value, name)) throw EComPort(ceStoreSettings);
  };
  put("Port", Port());
  put("BaudRate", TextOf(BaudRateTexts(), BaudRate()));
  if (BaudRate() == brCustom) put("CustomBaudRate", std::to_string(CustomBaudRate()));
  put("StopBits", TextOf(StopBitsTexts(), StopBits()));
  put("DataBits", TextOf(DataBitsTexts(), DataBits()));
  put("Parity", TextOf(ParityTexts(), Parity().Bits()));
  put("FlowControl", TextOf(FlowControlTexts(), FlowControl().FlowControl()));
}

void TCustomComPort::ReadSettings(bool useIniFile, const std::string& name) {
  if (!useIniFile) throw EComPort(ceLoadSettings);
  const std::string& section = Name();
  auto get = [&](const char* key, const std::string& def) {
    return GetProfileString(section, key, def, name);
  };
  LockSettings();
  bool failed = false;
  try {
    SetPort(get("Port", Port()));
    SetBaudRate(StrToBaudRate(get("BaudRate", TextOf(BaudRateTexts(), BaudRate()))));
    if (BaudRate() == brCustom) SetCustomBaudRate(StrToIntDef(get("CustomBaudRate", "9600"), 9600));
    SetStopBits(StrToStopBits(get("StopBits", TextOf(StopBitsTexts(), StopBits()))));
    SetDataBits(StrToDataBits(get("DataBits", TextOf(DataBitsTexts(), DataBits()))));
    Parity().SetBits(StrToParity(get("Parity", TextOf(ParityTexts(), Parity().Bits()))));
    FlowControl().SetFlowControl(StrToFlowControl(
        get("FlowControl", TextOf(FlowControlTexts(), FlowControl().FlowControl()))));
  } catch (...) {
    failed = true;
  }
  try {
    UnlockSettings();
  } catch (...) {
    failed = true;
  }
  // The settings came from the file; the port refused them. The error names the port.
  if (failed) throw EComPort::ForDevice(ceLoadSettings, DevicePath(Port()));
}

std::function<void(TCustomComPort&)>& TCustomComPort::SetupDialogRunner() {
  static std::function<void(TCustomComPort&)> runner;
  return runner;
}

void TCustomComPort::RunSetupDialog() {
  if (const auto& runner = SetupDialogRunner()) runner(*this);
}
