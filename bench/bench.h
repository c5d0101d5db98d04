// Shared parts of the benchmark program: options, the window against a simulated logger
// (the window session the window tests use), and the small timing helpers.
#pragma once

#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "app/flugdaten.h"
#include "app/qtuserio.h"
#include "tests/support/window_session.h"
#include "tools/sim/loggersim.h"

namespace bench {

using Clock = std::chrono::steady_clock;

inline double MsSince(Clock::time_point t0, Clock::time_point t1) {
  return std::chrono::duration<double, std::milli>(t1 - t0).count();
}

// "--name value" and "--flag" options.
class Args {
 public:
  Args(int argc, char** argv, int first);
  std::string Str(const std::string& name, const std::string& fallback = "") const;
  long Int(const std::string& name, long fallback) const;  // accepts 0x..
  bool Has(const std::string& name) const { return values_.count(name) != 0; }

 private:
  std::map<std::string, std::string> values_;
};

// A flight of n records for the given channel flags, with values that move (so the live
// graph draws real lines and wraps) and a GPS track.
loggersim::SimFlight MakeFlight(int records, uint8_t flags1, uint8_t flags2);

// Line records per second at a baud rate, 11 bits per byte (8N2).
inline double LineRecordsPerSecond(int baud, int recordBytes) {
  return recordBytes > 0 ? baud / 11.0 / recordBytes : 0.0;
}

// The window session of the window tests; a step of it that fails ends the benchmark.
class Session : public WindowSession {
 public:
  Session();
};

// The window of the session, shown and settled.
TForm1& ShowWindow(Session& session);
// A configuration read through the handler the button's click runs, which also runs where
// the button is hidden (after a download); the session's logger, if any, is switched on
// when the read asks for it. False when the read did not succeed.
bool ReadConfiguration(Session& session);

double Median(std::vector<double> v);

// Subcommands.
int RunDownload(const Args& args);
int RunComponents(const Args& args);
int RunFirmware(const Args& args);
int RunAnalysis(const Args& args);
// The logbook: keeping, the tab with many flights, importing, the database's size.
int RunLogbook(const Args& args);
int WriteFlightFile(const Args& args);

}  // namespace bench
