// The firmware update: an Intel HEX file is checked, confirmed and sent line by line to
// the logger's bootloader, which answers each line with one byte.
//
// Bootloader protocol: trigger 0x21 ("!") -> ready "r"; each HEX line is sent as stored,
// without its line end and without blanks and tabs after its checksum, and answered "."
// (accepted, next line), "S" (programming finished) or anything else / nothing within
// 1000 ms (failure).
#pragma once

#include <string>

#include "protocol/observer.h"

class TCustomComPort;
class SerialLine;

namespace firmware {

// Texts of the exchange.
inline constexpr const char* kTextUpdateHint =
    "Bootloader Brücke im Logger setzen, danach Logger einschalten";
inline constexpr const char* kDrainBoundLogLine =
    "Logger sendet ununterbrochen - Trigger wird trotzdem gesendet";
inline constexpr const char* kHexMask = "*.hex";

// Time-outs of the exchange.
inline constexpr int kUpdateReadTimeoutMs = 1000;  // one answer byte
inline constexpr int kDrainLimitMs = 5000;         // a logger that never falls silent

// The events of an update, in the order they come.
class FirmwareObserver : public ExchangeObserver {
 public:
  // The question before anything is sent; false ends the update with nothing sent.
  virtual bool ConfirmBurn(const std::string& question) = 0;
  // The update begins with this many lines to send; the log starts empty.
  virtual void UpdateStarted(int /*lineCount*/) {}
  // A line of the update's log.
  virtual void LogLine(const std::string& /*line*/) {}
  // HEX line `number` (1-based) is about to be sent.
  virtual void HexLineSending(int /*number*/, const std::string& /*line*/) {}
};

enum class FirmwareOutcome {
  Burnt,             // the bootloader answered "S"
  Cancelled,         // the question was answered no; nothing was sent
  FileTooLarge,      // the file exceeds what the logger can hold; nothing was sent
  BadLine,           // a line is no HEX record (badLine); nothing was sent
  BootloaderSilent,  // no "r" after three triggers
  BurnFailed,        // a line was refused or not answered, or the file ended before "S"
};

struct FirmwareResult {
  FirmwareOutcome outcome = FirmwareOutcome::Cancelled;
  int lineCount = 0;   // the file's lines
  int linesSent = 0;   // lines sent to the bootloader
  int badLine = 0;     // the first line that is no record
  std::string detail;  // why the file is too large
};

// The box that reports an outcome (kind and text), as the window shows it; no box for
// Cancelled.
struct FirmwareBox {
  bool shown = false;
  BoxKind kind = BoxKind::Information;
  std::string text;
};
FirmwareBox FirmwareOutcomeBox(const FirmwareResult& result);

// The file's name without its folder, as the question and the log name it.
std::string HexBaseName(const std::string& path);

// The update of the file at path, from reading the file to the last answer. The answers
// are read straight from the port with their own time-out; the port's read time-outs are
// left as they are. Exceptions of the file (EInOutError) and the port (EComPort) are
// passed on. drainLimitMs bounds the wait for the line to fall silent before the first
// trigger.
FirmwareResult RunFirmwareUpdate(SerialLine& line, FirmwareObserver& observer,
                                 const std::string& path, int drainLimitMs = kDrainLimitMs);
// The same over a port.
FirmwareResult RunFirmwareUpdate(TCustomComPort& port, FirmwareObserver& observer,
                                 const std::string& path, int drainLimitMs = kDrainLimitMs);

}  // namespace firmware
