// Reading the logger's configuration: open the port if needed, drop what is still
// pending, wait for the logger to be switched on, synchronise on the 0x55 bytes, take the
// configuration message and acknowledge it. What happens is told to a ConfigObserver; the
// window shows it on its controls, the command-line tool prints it.
#pragma once

#include <string>

#include "model/loggerconfig.h"
#include "protocol/observer.h"
#include "serial/line.h"

class TCustomComPort;
class ReceiveRing;
class SerialLine;

// What a session keeps between two exchanges.
struct ConfigFlags {
  bool ConfigRead = false;
  bool NoLoggerFound = false;
  bool SkipDrain = false;         // the read follows a write: nothing old to drop
  bool DeleteInProgress = false;  // the write ordered a delete: the logger answers late
};

// How a configuration read ended.
enum class ConfigOutcome {
  Read,        // the block came whole and was acknowledged
  NoLogger,    // "kein Logger gefunden - ..."
  Incomplete,  // "Konfiguration unvollständig empfangen - ..."
};

// The events of a configuration read and write, in the order they come.
class ConfigObserver : public ExchangeObserver {
 public:
  // The port was closed and has just been opened (before "verbunden").
  virtual void PortOpened() {}
  // "verbunden" and the request to press the read button are shown.
  virtual void Connected() {}
  // The port is open as the read begins.
  virtual void LineReady() {}
  // The wait for the logger while it deletes its flight begins (true) or ends (false).
  virtual void DeleteWait(bool /*waiting*/) {}
  // The configuration bytes were taken over (the EEPROM size is known from here on).
  virtual void ConfigBytesTaken(const LoggerConfig& /*cfg*/) {}
  // The block was acknowledged; its status follows, then ConfigRead.
  virtual void ConfigAcknowledged(const LoggerConfig& /*cfg*/) {}
  // The read is complete with this block.
  virtual void ConfigRead(const LoggerConfig& /*cfg*/) {}
  // A write: the message has left the port; the read-back follows.
  virtual void WriteSent() {}
  // A write ended, however: only a new session offers read and download again.
  virtual void WriteEnded() {}
};

// Bounds of the waits that the logger could otherwise keep running.
struct ConfigReadLimits {
  int drainMs = 5000;        // dropping pending bytes ends after this long ...
  int drainBytes = 65536;    // ... or this many bytes
  int syncMs = 2000;         // the first 0x55 must come within this long
  int syncRunMs = 2000;      // the run of 0x55 bytes must end within this long ...
  int syncRunBytes = 65536;  // ... and within this many bytes
  // From the first 0x55 on (the run, lead byte, count, configuration bytes) the line
  // counts as silent only after this long without a byte; shorter pauses are waited out.
  int silenceMs = kLineSilenceMs;
};

// Texts of the status bar.
inline constexpr const char* kTextStartInit = "starte init.";
inline constexpr const char* kTextOpenFailed = "Serielle Schnittstelle konte nicht geöffnet werden";
inline constexpr const char* kTextConnected = "verbunden";
inline constexpr const char* kTextPressRead = "KONFIGURATION LESEN-Taste drücken";
inline constexpr const char* kTextSwitchOn = "Logger einschalten ";
inline constexpr const char* kTextNoLogger =
    "kein Logger gefunden - bitte alles prüfen und noch mal versuchen";
inline constexpr const char* kTextIncomplete =
    "Konfiguration unvollständig empfangen - bitte noch mal versuchen";

// Polls of the wait; only a byte within the first 40 counts.
inline constexpr int kLoggerPolls = 41;
inline constexpr int kPollMs = 200;
inline constexpr int kDeletePollMs = 800;

// The status text of an outcome that is not Read.
const char* ConfigOutcomeText(ConfigOutcome outcome);

// The read. Failures of the port (EComPort) are passed on after the status shows them; a
// missing, endless or cut-short answer ends with a red status and NoLoggerFound set. cfg
// gets the block (EepromKByte only when the block gives one).
ConfigOutcome ReadConfiguration(SerialLine& line, ConfigObserver& observer, LoggerConfig& cfg,
                                ConfigFlags& flags,
                                const ConfigReadLimits& limits = ConfigReadLimits());
// The same over a port and its receive ring.
ConfigOutcome ReadConfiguration(TCustomComPort& port, ReceiveRing& ring, ConfigObserver& observer,
                                LoggerConfig& cfg, ConfigFlags& flags,
                                const ConfigReadLimits& limits = ConfigReadLimits());
