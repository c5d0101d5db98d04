// The one error of the port component: EComPort, whose number indexes the message
// table. Plain C++.
#pragma once

#include <stdexcept>
#include <string>

// The error numbers, 1..23, in the order of the message table.
enum TComError : int {
  ceOpen = 1,           // "Unable to open com port"
  ceWrite,              // "WriteFile function failed"
  ceRead,               // "ReadFile function failed"
  ceAsyncParameter,     // "Invalid Async parameter"
  cePurge,              // "PurgeComm function failed"
  ceAsyncStatus,        // "Unable to get async status"
  ceLineSettings,       // "SetCommState function failed"
  ceTimeouts,           // "SetCommTimeouts failed"
  ceQueueSizes,         // "SetupComm function failed"
  ceQueueCounts,        // "ClearCommError function failed"
  ceModemStatus,        // "GetCommModemStatus function failed"
  ceEscapeFunction,     // "EscapeCommFunction function failed"
  ceTransmitChar,       // "TransmitCommChar function failed"
  ceSetWhileConnected,  // "Cannot set property while connected"
  ceEnumPorts,          // "EnumPorts function failed"
  ceStoreSettings,      // "Failed to store settings"
  ceLoadSettings,       // "Failed to load settings"
  ceLinkRegistration,   // "Link (un)registration failed"
  ceLedState,           // "Cannot change led state if ComPort is selected"
  ceWaitWithThread,     // "Cannot wait for event if event thread is created"
  ceWaitForEvent,       // "WaitForEvent method failed"
  ceRxBufLinked,        // "A component is linked to OnRxBuf event"
  cePortList,           // "Registry error" (the port list of the setup dialog)
};

// What a system error code of the port says, whatever the system: the front ends choose
// their hint after the message by it. Each backend file classifies its system's codes
// (posix_device.cpp: errno; win32_device.cpp: GetLastError).
enum class PortFault {
  kOther,
  kNoPermission,  // the user may not open the device
  kNoSuchDevice,  // no device of that name
  kBusy,          // another program holds the device
  kLineDead,      // the device went away during use (logger off, adapter pulled)
};
PortFault ClassifySystemError(int code);

// Text of a number 1..23; "" for any other.
const char* ComErrorText(int number);

class EComPort : public std::runtime_error {
 public:
  // Without a system error: SystemErrorCode -1, message = the number's text alone.
  explicit EComPort(TComError number);
  // With a system error: the text + " (win error code: %d)", the code being the
  // system's own: errno on POSIX, GetLastError on Windows.
  // devicePath names the device that failed, for the hints shown with the message.
  EComPort(TComError number, int systemErrorCode, std::string devicePath = {});
  // A setting outside its limits: the push's number with an explanation of its own.
  EComPort(TComError number, const std::string& message);
  // Without a system error, but naming the device it concerns (settings a port refused).
  static EComPort ForDevice(TComError number, std::string devicePath);
  TComError ErrorNumber() const { return errorNumber_; }
  int SystemErrorCode() const { return systemErrorCode_; }
  // The device path, or empty when the failure concerns no device.
  const std::string& DevicePath() const { return devicePath_; }

 private:
  TComError errorNumber_;
  int systemErrorCode_;
  std::string devicePath_;
};
