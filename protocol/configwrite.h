// Writing the configuration: pack the settings, send the write message byte by byte,
// wait until it has left the port, then read back what the logger reports after the
// change.
#pragma once

#include <string>

#include "model/loggerconfig.h"
#include "protocol/configread.h"

class TCustomComPort;
class ReceiveRing;
class SerialLine;

// Raised (as std::runtime_error) when the message does not leave the port in time.
inline constexpr const char* kTextSendIncomplete =
    "Die Konfiguration konnte nicht vollständig gesendet werden";

// The write; the port is open (a write follows a read). The outcome is the read-back's.
ConfigOutcome WriteConfiguration(SerialLine& line, ConfigObserver& observer, LoggerConfig& cfg,
                                 ConfigFlags& flags, const LoggerSettings& settings,
                                 const ConfigReadLimits& limits = ConfigReadLimits());
// The same over a port and its receive ring.
ConfigOutcome WriteConfiguration(TCustomComPort& port, ReceiveRing& ring, ConfigObserver& observer,
                                 LoggerConfig& cfg, ConfigFlags& flags,
                                 const LoggerSettings& settings,
                                 const ConfigReadLimits& limits = ConfigReadLimits());
