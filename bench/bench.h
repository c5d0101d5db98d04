// Shared parts of the benchmark program: options, a settings folder for the window, the
// window itself against a simulated logger, and the small timing helpers.
#pragma once

#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include <QTemporaryDir>

#include "app/flugdaten.h"
#include "app/qtuserio.h"
#include "tests/support/window_userio.h"
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

// A settings folder (XDG_CONFIG_HOME) with "logger3.ini" naming the port, and the
// program's answering UserIO so that no box or dialog waits for a person.
class Session {
 public:
  Session();
  ~Session();
  void WriteIni(const std::string& port);
  std::string Dir() const { return dir_.path().toStdString(); }
  UiTestAnswers ui;
  AnsweringWindowIO io{ui};

 private:
  QTemporaryDir dir_;
};

// The window, shown and settled. ReadConfiguration clicks Startbutton; powerOn (if set)
// is called at the first waiting mark "<" of the status bar, as a user switches the
// logger on when asked. False when the read did not succeed.
std::unique_ptr<TForm1> ShowWindow(Session& session);
bool ReadConfiguration(TForm1& form, const std::function<void()>& powerOn);
void Pump(int ms);

double Median(std::vector<double> v);

// Subcommands.
int RunDownload(const Args& args);
int RunComponents(const Args& args);
int RunFirmware(const Args& args);
int RunAnalysis(const Args& args);
int WriteFlightFile(const Args& args);

}  // namespace bench
