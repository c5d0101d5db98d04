// Writing the configuration (SchreibButton1Click): pack the controls, send the write
// message byte by byte, wait until it has left the port, then read back what the logger
// reports after the change.
#pragma once

#include <string>

#include "protocol/configread.h"
#include "model/loggerconfig.h"

class TCustomComPort;
class ReceiveRing;
class SerialLine;
class UserIO;

// The control changes of the write itself.
class ConfigWriteView {
 public:
  virtual ~ConfigWriteView() = default;
  virtual void HideSchreibButton() = 0;          // SchreibButton1
  virtual void HideLoggerAndStartButtons() = 0;  // LoggerButton and Startbutton
};

// Raised (as std::runtime_error) when the message does not leave the port in time.
inline constexpr const char* kTextSendIncomplete =
    "Die Konfiguration konnte nicht vollständig gesendet werden";

// SchreibButton1Click. The port is open (the button is shown only after a read).
void WriteConfiguration(SerialLine& line, UserIO& io, ConfigReadView& readView,
                        ConfigWriteView& writeView, LoggerConfig& cfg, ConfigFlags& flags,
                        const ConfigControls& controls,
                        const ConfigReadLimits& limits = ConfigReadLimits());
// The same over the window's port and its receive ring.
void WriteConfiguration(TCustomComPort& port, ReceiveRing& ring, UserIO& io,
                        ConfigReadView& readView, ConfigWriteView& writeView, LoggerConfig& cfg,
                        ConfigFlags& flags, const ConfigControls& controls,
                        const ConfigReadLimits& limits = ConfigReadLimits());
