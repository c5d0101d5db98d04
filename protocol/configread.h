// Reading the logger's configuration (StartbuttonClick): open the port if needed, drop
// what is still pending, wait for the logger to be switched on, synchronise on the 0x55
// bytes, take the configuration message, acknowledge it and load the controls.
// Plain C++: the window implements ConfigReadView for its controls and UserIO for the
// status bar, sleeps and the beep.
#pragma once

#include <string>

#include "model/loggerconfig.h"
#include "serial/line.h"

class TCustomComPort;
class ReceiveRing;
class SerialLine;
class UserIO;

struct ConfigFlags {
  bool ConfigRead = false;
  bool NoLoggerFound = false;
  bool SkipDrain = false;
  bool DeleteInProgress = false;
};

// The control changes that a read makes.
class ConfigReadView {
 public:
  virtual ~ConfigReadView() = default;
  virtual void ZeroFirstSampleRecords() = 0;    // first 16384 records of SampleTable
  virtual void ShowStartbuttonFocused() = 0;    // show Startbutton, give it the focus
  virtual void ShowResetButton() = 0;           // show ResetButton1
  virtual void SetWarteLabelVisible(bool) = 0;  // WarteLabel during a delete
  // Show and focus LoggerButton; show GroupBox1, RadioGroup1, LRadioGroup (select item
  // 0), NummernGroupBox and DRadioGroup; hide PaintBox1.
  virtual void ShowConfigControls() = 0;
  // Load the controls from cfg in the order of the load (the window's change handlers
  // run as after a user's change). ControlsFromConfig gives the values.
  virtual void LoadControls(const LoggerConfig& cfg) = 0;
  virtual void FinishRead() = 0;  // hide SchreibButton1, disable Startbutton
  // EEPROMLabel's new text (EepromText(cfg.EepromKByte)), set right after the bytes
  // were taken over. The window overrides this to set EEPROMLabel.
  virtual void SetEepromLabel(const std::string& /*text*/) {}
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

// Polls of the wait for the logger; only a byte within the first 40 counts.
inline constexpr int kLoggerPolls = 41;
inline constexpr int kPollMs = 200;
inline constexpr int kDeletePollMs = 800;

// StartbuttonClick. Failures of the port (EComPort) are passed on after the status bar
// shows them; a missing, endless or cut-short answer ends with a red status bar and
// NoLoggerFound set.
void ReadConfiguration(SerialLine& line, UserIO& io, ConfigReadView& view, LoggerConfig& cfg,
                       ConfigFlags& flags, const ConfigReadLimits& limits = ConfigReadLimits());
// The same over the window's port and its receive ring.
void ReadConfiguration(TCustomComPort& port, ReceiveRing& ring, UserIO& io, ConfigReadView& view,
                       LoggerConfig& cfg, ConfigFlags& flags,
                       const ConfigReadLimits& limits = ConfigReadLimits());
