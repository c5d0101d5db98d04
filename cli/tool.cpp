#include "cli/tool.h"

#include <csignal>
#include <cstdio>
#include <exception>
#include <iostream>
#include <memory>

#include "cli/args.h"
#include "cli/configjson.h"
#include "cli/interrupt.h"
#include "cli/logbookcmd.h"
#include "cli/report.h"
#include "formats/atomicfile.h"
#include "formats/csvexport.h"
#include "formats/fileerror.h"
#include "formats/flightcsv.h"
#include "formats/hexfile.h"
#include "formats/rawdumpfile.h"
#include "formats/trackfiles.h"
#include "model/flight.h"
#include "protocol/bootloader.h"
#include "protocol/configread.h"
#include "protocol/configwrite.h"
#include "protocol/download.h"
#include "serial/comerrors.h"
#include "serial/comport.h"
#include "serial/mainsync.h"
#include "serial/portlist.h"
#include "serial/rxring.h"
#include "formats/settingspath.h"

namespace cli {

namespace {

const char* const kSettingsFile = "logger3.ini";

// A failure that ends the run with its status; the text is printed once.
struct Failure {
  int status;
  std::string text;
};

// The port as the window sets it up, from the settings file or from --port.
class ToolPort {
 public:
  ToolPort(const Args& args, Reporter& reporter)
      : ring_(port_, [&reporter](const std::string& text) { reporter.Message(text); }) {
    ApplyComPort1Design(port_);
    port_.SetMainThreadSync(&sync_);
    if (args.port) {
      port_.SetPort(*args.port);
    } else {
      // The window's rule: a settings file that gives no baud rate is no settings file.
      port_.SetBaudRate(br110);
      port_.ReadSettings(true, kSettingsFile);
      if (port_.BaudRate() == br110)
        throw Failure{kExitUsage, "keine Einstellungen in " + SettingsFilePath(kSettingsFile) +
                                      " - bitte --port GERÄT angeben"};
    }
    if (args.baud) {
      port_.SetBaudRate(brCustom);
      port_.SetCustomBaudRate(*args.baud);
    }
    port_.OnRxChar = [this](TCustomComPort*, int32_t count) { ring_.ComPort1RxChar(count); };
    port_.OnRx80Full = [this](TCustomComPort*) { ring_.ComPort1Rx80Full(); };
  }
  ~ToolPort() {
    try {
      port_.Close();
    } catch (...) {
    }
  }
  ToolLine& Line() { return line_; }
  // The firmware update reads the port itself, without the ring and without events.
  TComPort& Port() { return port_; }
  void StopEvents() {
    port_.OnRxChar = nullptr;
    port_.OnRx80Full = nullptr;
  }

 private:
  MainThreadSync sync_;
  TComPort port_;
  ReceiveRing ring_;
  ToolLine line_{port_, ring_, sync_};
};

// Runs fn; a file error is reported with the file's name.
template <class F>
void OnFile(const std::string& path, F&& fn) {
  try {
    fn();
  } catch (const EInOutError& e) {
    throw Failure{kExitFile, path + ": " + e.what()};
  } catch (const analysis::CsvFormatError& e) {
    throw Failure{kExitFile, path + ": " + e.what()};
  }
}

// Writes a result file: "-" is standard output, anything else all-or-nothing.
void WriteOut(const std::string& path, const std::string& text) {
  if (path == "-") {
    std::fwrite(text.data(), 1, text.size(), stdout);
    if (std::fflush(stdout) != 0) throw Failure{kExitFile, "Standardausgabe: E/A-Fehler"};
    return;
  }
  OnFile(path, [&] { AtomicFile::WriteWhole(path, text); });
}

std::string TrackName(const std::string& path) {
  std::string name = path.substr(path.find_last_of('/') + 1);
  const size_t dot = name.find_last_of('.');
  if (dot != std::string::npos && dot > 0) name.resize(dot);
  return name;
}

void WriteTracks(const Args& args, const analysis::Flight& flight) {
  if (flight.Empty()) return;
  if (!args.gpx.empty())
    OnFile(args.gpx,
           [&] { WriteGpxFile(args.gpx, flight, 0, flight.Count() - 1, TrackName(args.gpx)); });
  if (!args.kml.empty())
    OnFile(args.kml,
           [&] { WriteKmlFile(args.kml, flight, 0, flight.Count() - 1, TrackName(args.kml)); });
}

// The configuration read as "Konfiguration lesen" makes it; a failed read ends the run.
LoggerConfig ReadConfig(ToolPort& port, Reporter& reporter, ConfigFlags& flags) {
  LoggerConfig cfg;
  ConfigReport report(reporter);
  const ConfigOutcome outcome = ReadConfiguration(port.Line(), report, cfg, flags);
  if (outcome == ConfigOutcome::NoLogger) throw Failure{kExitNoLogger, kTextNoLogger};
  if (outcome == ConfigOutcome::Incomplete) throw Failure{kExitBadAnswer, kTextIncomplete};
  return cfg;
}

int Ports() {
  for (const std::string& name : ListSerialPorts()) std::printf("%s\n", name.c_str());
  return kExitOk;
}

int Config(const Args& args, Reporter& reporter) {
  // Everything about the change is checked before the port is opened.
  const bool writing = !args.sets.empty() || !args.deleteMode.empty();
  const int deleteItem = args.deleteMode == "multilog" ? 1 : args.deleteMode == "singlelog" ? 2 : 0;
  if (writing) CheckChanges(args.sets, deleteItem);
  ToolPort port(args, reporter);
  ConfigFlags flags;
  LoggerConfig cfg = ReadConfig(port, reporter, flags);
  if (!writing) {
    std::fputs((args.json ? ConfigJson(cfg) : ConfigSummary(cfg)).c_str(), stdout);
    return kExitOk;
  }
  const ConfigControls controls = ApplyChanges(ControlsAfterFirstRead(cfg), args.sets, deleteItem);
  if (deleteItem != 0 && !args.yes &&
      !AskOnTerminal(std::string("Den gespeicherten Flug im Logger wirklich löschen (") +
                     (deleteItem == 1 ? "MultiLog" : "SingleLog") + ")?"))
    throw Failure{kExitUsage, "Löschen nur mit --yes oder einer Antwort am Terminal"};
  ConfigReport report(reporter);
  const ConfigOutcome outcome =
      WriteConfiguration(port.Line(), report, cfg, flags, SettingsFromControls(controls));
  if (outcome == ConfigOutcome::NoLogger) throw Failure{kExitNoLogger, kTextNoLogger};
  if (outcome == ConfigOutcome::Incomplete) throw Failure{kExitBadAnswer, kTextIncomplete};
  std::fputs(ConfigSummary(cfg).c_str(), stdout);
  return kExitOk;
}

int Download(const Args& args, Reporter& reporter) {
  ToolPort port(args, reporter);
  ConfigFlags flags;
  const LoggerConfig cfg = ReadConfig(port, reporter, flags);
  // 1.6 MB, one for the run, as in the window.
  auto fd = std::make_unique<FlightData>();
  DownloadReport report(reporter);
  const DownloadResult result = Datenlesen(port.Line(), report, *fd, cfg.EepromKByte);
  report.Done();
  // The port goes before the files are written: the logger is free, the data is here.
  port.Port().Close();

  int status = kExitOk;
  if (result.outcome == DownloadOutcome::PortFailure) {
    try {
      std::rethrow_exception(result.portError);
    } catch (const std::exception& e) {
      reporter.Message(e.what());
    }
    status = kExitNoLogger;
  } else if (result.outcome == DownloadOutcome::NoData) {
    reporter.Message(kTextNoData);
    status = kExitBadAnswer;
  }
  if (!result.stored) return status;
  if (status != kExitOk && fd->LastSampleIndex >= 0)
    reporter.Message("die empfangenen Daten werden trotzdem geschrieben");
  // The logbook first: the flight is safe before anything else can go wrong.
  if (!args.noLog) {
    try {
      const std::string kept = KeepDownload(result.dump, cfg, *fd);
      if (!kept.empty() && !args.quiet) reporter.Status(kept);
    } catch (const std::exception& e) {
      reporter.Message(std::string("nicht ins Flugbuch aufgenommen: ") + e.what());
      if (status == kExitOk) status = kExitFile;
    }
  }
  if (!args.dump.empty()) OnFile(args.dump, [&] { WriteRawDumpFile(args.dump, result.dump); });
  if (!args.out.empty()) WriteOut(args.out, CsvText(*fd));
  if ((!args.gpx.empty() || !args.kml.empty()) && fd->LastSampleIndex >= 0)
    WriteTracks(args, analysis::FlightFromDownload(*fd));
  if (args.out.empty() && args.gpx.empty() && args.kml.empty() && args.dump.empty()) {
    const int32_t records = fd->LastSampleIndex + 1;
    const double seconds = records > 1 ? (records - 1) * fd->SampleInterval() : 0.0;
    std::printf("%d Datensätze, %.0f s, Intervall %.2f s, Logger %03d, %s\n", records, seconds,
                fd->SampleInterval(), cfg.SerialSensor & 0x7F,
                FlightNumberText(cfg.FlightNumber()).c_str());
  }
  return status;
}

int Flash(const Args& args, Reporter& reporter) {
  const std::string& path = args.files[0];
  // The file is checked before the port is opened; the exchange checks it once more.
  {
    firmware::HexLineReader file;
    try {
      file.Open(path);
    } catch (const firmware::EHexFileTooLarge& e) {
      throw Failure{kExitFile, path + ": " + e.what() + " - Firmwareupdate nicht möglich"};
    } catch (const EInOutError& e) {
      throw Failure{kExitFile, path + ": " + e.what()};
    }
    const firmware::HexScan scan = firmware::ScanHexFile(file);
    if (scan.badLine != 0)
      throw Failure{kExitFile,
                    path + ": Zeile " + std::to_string(scan.badLine) +
                        " ist kein gültiger HEX-Datensatz - Firmwareupdate nicht möglich"};
  }
  if (!args.yes && !AskOnTerminal("soll " + firmware::HexBaseName(path) +
                                  " wirklich in den Logger gebrannt werden?"))
    throw Failure{kExitUsage, "Brennen nur mit --yes oder einer Antwort am Terminal"};
  ToolPort port(args, reporter);
  port.StopEvents();
  ToolLine line(port.Port());
  FirmwareReport report(reporter, true);
  const firmware::FirmwareResult result = firmware::RunFirmwareUpdate(line, report, path);
  report.Done();
  const firmware::FirmwareBox box = firmware::FirmwareOutcomeBox(result);
  std::string text = box.text;
  for (char& c : text)
    if (c == '\r') c = ' ';
  switch (result.outcome) {
    case firmware::FirmwareOutcome::Burnt: std::printf("%s\n", text.c_str()); return kExitOk;
    case firmware::FirmwareOutcome::FileTooLarge:
    case firmware::FirmwareOutcome::BadLine: throw Failure{kExitFile, text};
    case firmware::FirmwareOutcome::BootloaderSilent: throw Failure{kExitNoLogger, text};
    case firmware::FirmwareOutcome::BurnFailed: throw Failure{kExitBadAnswer, text};
    case firmware::FirmwareOutcome::Cancelled: return kExitUsage;
  }
  return kExitOk;
}

int Convert(const Args& args) {
  analysis::Flight flight;
  OnFile(args.files[0], [&] { flight = analysis::ReadFlightCsvFile(args.files[0]); });
  WriteTracks(args, flight);
  return kExitOk;
}

// The exit status of an error that left a command: the line, a file, or the logger's answer.
int StatusOf(const std::exception& e) {
  if (dynamic_cast<const EComPort*>(&e)) return kExitNoLogger;
  if (dynamic_cast<const EInOutError*>(&e) || dynamic_cast<const analysis::CsvFormatError*>(&e) ||
      dynamic_cast<const RawDumpFormatError*>(&e))
    return kExitFile;
  return kExitBadAnswer;
}

}  // namespace

int Run(const std::vector<std::string>& argv) {
  bool quiet = false;
  try {
    const Args args = ParseArgs(argv);
    quiet = args.quiet;
    if (args.command == "help") {
      std::fputs(HelpText().c_str(), stdout);
      return kExitOk;
    }
    if (args.command == "version") {
      std::printf("morvala-cli 3.7\n");
      return kExitOk;
    }
    CatchInterrupts();
    Reporter reporter(stderr, args.quiet);
    if (args.command == "ports") return Ports();
    if (args.command == "config") return Config(args, reporter);
    if (args.command == "download") return Download(args, reporter);
    if (args.command == "flash") return Flash(args, reporter);
    if (args.command == "convert") return Convert(args);
    if (args.command == "log") return LogCommand(args);
    return kExitUsage;
  } catch (const UsageError& e) {
    std::fprintf(stderr, "morvala-cli: %s\n", e.what());
    return kExitUsage;
  } catch (const Interrupted& e) {
    if (!quiet) std::fprintf(stderr, "\nmorvala-cli: abgebrochen\n");
    return e.Signal() == SIGTERM ? kExitSigterm : kExitSigint;
  } catch (const Failure& f) {
    std::fprintf(stderr, "morvala-cli: %s\n", f.text.c_str());
    return f.status;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "morvala-cli: %s\n", e.what());
    return StatusOf(e);
  }
}

}  // namespace cli
