// The device seam of the port: what TCustomComPort and its event thread need of one open
// serial device, whatever the system. One backend file per system implements it
// (posix_device.cpp, win32_device.cpp); the build picks the file, the port never asks
// which system it runs on. System error codes pass through as they are (errno, or
// GetLastError on Windows) and end up in the component's texts.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "serial/comport.h"

// Line settings as the port derives them from its properties.
struct SerialLineSettings {
  int32_t baudRate = 9600;
  int dataBits = 8;  // 5..8
  int stopBits = 0;  // 0 = one, 1 = one and a half, 2 = two
  int parity = 0;    // 0 none, 1 odd, 2 even, 3 mark, 4 space
  bool parityCheck = false;
  bool parityReplace = false;  // bytes with a parity error read as replaceChar
  uint8_t replaceChar = 0;
  bool discardNull = false;
  bool outCtsFlow = false;
  bool outDsrFlow = false;
  int dtrControl = 0;  // 0 held off, 1 held on, 2 handshake
  int rtsControl = 0;  // 0 held off, 1 held on, 2 handshake, 3 toggle
  bool xonXoffOut = false;
  bool xonXoffIn = false;
  bool dsrSensitivity = false;
  bool txContinueOnXoff = false;
  uint8_t xonChar = 17;
  uint8_t xoffChar = 19;
  uint8_t eventChar = 0;
  int32_t xonLim = 0;
  int32_t xoffLim = 0;
};

// The five time-outs in milliseconds; -1 stands for the all-ones value.
struct SerialTimeouts {
  int32_t readInterval = -1;
  int32_t readTotalMultiplier = 0;
  int32_t readTotalConstant = 0;
  int32_t writeTotalMultiplier = 100;
  int32_t writeTotalConstant = 1000;
};

struct SerialOpenOptions {
  bool dropDtr = true;
  bool dropRts = true;
  int32_t inputSize = 1024;
  int32_t outputSize = 1024;
  SerialTimeouts timeouts;
};

// The modem lines as ModemStatus reports them.
enum SerialModemLine : unsigned {
  kLineCts = 1u << 0,
  kLineDsr = 1u << 1,
  kLineRing = 1u << 2,
  kLineRlsd = 1u << 3,
};

// What ModemStatus answers for a device that has no modem lines at all (a
// pseudo-terminal): no failure, the lines are simply not reported.
constexpr int kNoModemLines = -1;

// The event thread's wait on one device. Wait blocks without polling until the device
// reports events, the device is gone, or Stop is called (from any thread).
class SerialEventWaiter {
 public:
  enum class Outcome { kEvents, kStopped, kGone };
  virtual ~SerialEventWaiter() = default;
  // batch: the events seen (rx80 full derived from the input queue's count).
  virtual Outcome Wait(TComEvents& batch) = 0;
  virtual void Stop() = 0;
};

class SerialDevice {
 public:
  // Upper bound of any wait that the time-outs leave unbounded.
  static constexpr int kUnboundedWaitMs = 60000;

  virtual ~SerialDevice() = default;
  virtual const std::string& Path() const = 0;
  // Raises EComPort ceOpen with the system's code.
  virtual void Open(const SerialOpenOptions& options) = 0;
  // Ends pending transfers, discards both queues, closes. Never blocks, never fails.
  virtual void Close() = 0;
  virtual bool IsOpen() const = 0;

  // Raises EComPort ceLineSettings with the system's code; a refused push leaves the
  // previous settings in force.
  virtual void ApplyLineSettings(const SerialLineSettings& settings) = 0;
  virtual void SetTimeouts(const SerialTimeouts& timeouts) = 0;  // ceTimeouts
  virtual SerialTimeouts Timeouts() const = 0;
  virtual void SetQueueSizes(int32_t inputSize, int32_t outputSize) = 0;  // ceQueueSizes

  // Transfers: Read raises ceRead, Write ceWrite.
  virtual int32_t Read(void* buffer, int32_t count) = 0;
  // Read with the given time-outs in place of the device's own (which stay as they are).
  virtual int32_t Read(void* buffer, int32_t count, const SerialTimeouts& timeouts) = 0;
  virtual int32_t Write(const void* buffer, int32_t count) = 0;
  // Queue counts raise ceQueueCounts, Purge cePurge.
  virtual int32_t PendingInput() = 0;
  virtual int32_t PendingOutput() = 0;
  virtual void Purge(bool input, bool output) = 0;
  // Purge that ignores every failure (used on the way out).
  virtual void PurgeQuietly() = 0;

  // 0 with the lines (SerialModemLine bits), kNoModemLines, or the system's code.
  virtual int ModemStatus(unsigned& lines) = 0;

  // The event thread's wait for the events of the set (the port's Events at Open).
  virtual std::unique_ptr<SerialEventWaiter> NewEventWaiter(TComEvents events) = 0;
};

// The backend of this system for the device that Port names. terminal: the POSIX
// backend's terminal-settings calls (null: the system's); other backends ignore it.
std::unique_ptr<SerialDevice> NewSerialDevice(const std::string& port,
                                              TerminalSettingsIo* terminal);

// The device path that Port names on this system.
std::string SerialDevicePath(const std::string& port);

// The system's code for a transfer on a port that is not open (an invalid handle).
int ClosedDeviceErrorCode();
