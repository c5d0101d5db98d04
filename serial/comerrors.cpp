// Error table of the port component, the event-mask conversion and the rate table.
#include <cstdio>

#include "serial/comerrors.h"
#include "serial/comport.h"

namespace {

const char* const kErrorTexts[23] = {
    "Unable to open com port",
    "WriteFile function failed",
    "ReadFile function failed",
    "Invalid Async parameter",
    "PurgeComm function failed",
    "Unable to get async status",
    "SetCommState function failed",
    "SetCommTimeouts failed",
    "SetupComm function failed",
    "ClearCommError function failed",
    "GetCommModemStatus function failed",
    "EscapeCommFunction function failed",
    "TransmitCommChar function failed",
    "Cannot set property while connected",
    "EnumPorts function failed",
    "Failed to store settings",
    "Failed to load settings",
    "Link (un)registration failed",
    "Cannot change led state if ComPort is selected",
    "Cannot wait for event if event thread is created",
    "WaitForEvent method failed",
    "A component is linked to OnRxBuf event",
    "Registry error",
};

std::string WithCode(int number, int code) {
  char tail[48];
  std::snprintf(tail, sizeof tail, " (win error code: %d)", code);
  return std::string(ComErrorText(number)) + tail;
}

// Device event-mask bit of each event, by ordinal.
constexpr uint32_t kEventBits[10] = {
    0x0001,  // evRxChar    EV_RXCHAR
    0x0004,  // evTxEmpty   EV_TXEMPTY
    0x0002,  // evRxFlag    EV_RXFLAG
    0x0100,  // evRing      EV_RING
    0x0040,  // evBreak     EV_BREAK
    0x0008,  // evCTS       EV_CTS
    0x0010,  // evDSR       EV_DSR
    0x0080,  // evError     EV_ERR
    0x0020,  // evRLSD      EV_RLSD
    0x0400,  // evRx80Full  EV_RX80FULL
};

}  // namespace

const char* ComErrorText(int number) {
  if (number < 1 || number > 23) return "";
  return kErrorTexts[number - 1];
}

EComPort::EComPort(TComError number)
    : std::runtime_error(ComErrorText(number)), errorNumber_(number), systemErrorCode_(-1) {}

EComPort::EComPort(TComError number, int systemErrorCode, std::string devicePath)
    : std::runtime_error(WithCode(number, systemErrorCode)),
      errorNumber_(number),
      systemErrorCode_(systemErrorCode),
      devicePath_(std::move(devicePath)) {}

EComPort::EComPort(TComError number, const std::string& message)
    : std::runtime_error(message), errorNumber_(number), systemErrorCode_(-1) {}

EComPort EComPort::ForDevice(TComError number, std::string devicePath) {
  EComPort e(number);
  e.devicePath_ = std::move(devicePath);
  return e;
}

uint32_t EventsToMask(TComEvents events) {
  uint32_t mask = 0;
  for (int e = 0; e < 10; ++e)
    if (events.Has(static_cast<TComEvent>(e))) mask |= kEventBits[e];
  return mask;
}

TComEvents MaskToEvents(uint32_t mask) {
  TComEvents events;
  for (int e = 0; e < 10; ++e)
    if (mask & kEventBits[e]) events.Include(static_cast<TComEvent>(e));
  return events;
}

int BaudRateValue(TBaudRate rate) {
  static constexpr int kRates[16] = {0,     110,   300,   600,   1200,  2400,   4800,   9600,
                                     14400, 19200, 38400, 56000, 57600, 115200, 128000, 256000};
  int i = static_cast<int>(rate);
  return (i >= 0 && i < 16) ? kRates[i] : 0;
}
