#include "cli/args.h"

#include <charconv>
#include <set>

namespace cli {

namespace {

const std::set<std::string> kCommands = {"ports",   "config", "download", "flash",
                                         "convert", "log",    "help",     "version"};

// The options each command takes, besides -q, --port and --baud where a logger is talked to.
bool Takes(const std::string& command, const std::string& option) {
  static const std::set<std::pair<std::string, std::string>> table = {
      {"config", "--json"}, {"config", "--set"},   {"config", "--delete"}, {"config", "--yes"},
      {"download", "-o"},   {"download", "--gpx"}, {"download", "--kml"},  {"download", "--dump"},
      {"flash", "--yes"},   {"convert", "--gpx"},  {"convert", "--kml"},   {"download", "--no-log"},
      {"log", "--json"},    {"log", "-o"}};
  if (option == "-q") return true;
  if (option == "--port" || option == "--baud")
    return command == "config" || command == "download" || command == "flash";
  return table.count({command, option}) != 0;
}

int ParseBaud(const std::string& text) {
  int value = 0;
  const auto [p, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (ec != std::errc() || p != text.data() + text.size() || value < 50 || value > 4000000)
    throw UsageError("ungültige Baudrate: " + text);
  return value;
}

}  // namespace

Args ParseArgs(const std::vector<std::string>& argv) {
  Args a;
  size_t i = 0;
  auto value = [&](const std::string& option) -> std::string {
    if (i + 1 >= argv.size()) throw UsageError("Option " + option + " braucht einen Wert");
    return argv[++i];
  };
  for (; i < argv.size(); ++i) {
    const std::string& arg = argv[i];
    if (a.command.empty() && (arg == "-h" || arg == "--help")) {
      a.command = "help";
      continue;
    }
    if (a.command.empty() && arg == "--version") {
      a.command = "version";
      continue;
    }
    if (a.command.empty() && (arg.empty() || arg[0] != '-')) {
      if (!kCommands.count(arg)) throw UsageError("unbekannter Befehl: " + arg);
      a.command = arg;
      continue;
    }
    if (arg.size() > 1 && arg[0] == '-' && arg != "-") {
      if (a.command.empty()) throw UsageError("zuerst einen Befehl angeben (siehe --help)");
      if (arg == "-h" || arg == "--help") {
        a.command = "help";
        continue;
      }
      if (!Takes(a.command, arg))
        throw UsageError("Option " + arg + " gibt es für " + a.command + " nicht");
      if (arg == "-q")
        a.quiet = true;
      else if (arg == "--json")
        a.json = true;
      else if (arg == "--yes")
        a.yes = true;
      else if (arg == "--port")
        a.port = value(arg);
      else if (arg == "--baud")
        a.baud = ParseBaud(value(arg));
      else if (arg == "-o")
        a.out = value(arg);
      else if (arg == "--gpx")
        a.gpx = value(arg);
      else if (arg == "--kml")
        a.kml = value(arg);
      else if (arg == "--dump")
        a.dump = value(arg);
      else if (arg == "--delete") {
        a.deleteMode = value(arg);
        if (a.deleteMode != "multilog" && a.deleteMode != "singlelog")
          throw UsageError("--delete kennt nur multilog und singlelog, nicht " + a.deleteMode);
      } else if (arg == "--set") {
        const std::string s = value(arg);
        const size_t eq = s.find('=');
        if (eq == std::string::npos || eq == 0)
          throw UsageError("--set braucht NAME=WERT, nicht " + s);
        a.sets.emplace_back(s.substr(0, eq), s.substr(eq + 1));
      }
      continue;
    }
    if (a.command.empty()) throw UsageError("unbekannter Befehl: " + arg);
    a.files.push_back(arg);
  }
  if (a.command.empty()) throw UsageError("kein Befehl angegeben (siehe --help)");
  if (a.command == "log" && a.files.empty())
    throw UsageError("log braucht list, export, import oder dump");
  const size_t wantFiles = (a.command == "flash" || a.command == "convert") ? 1 : 0;
  if (a.command != "help" && a.command != "log" && a.files.size() != wantFiles) {
    if (a.files.size() < wantFiles)
      throw UsageError(a.command == "flash" ? "flash braucht eine HEX-Datei"
                                            : "convert braucht eine CSV-Datei");
    throw UsageError("unerwartetes Argument: " + a.files[wantFiles]);
  }
  if (a.command == "convert" && a.gpx.empty() && a.kml.empty())
    throw UsageError("convert braucht --gpx DATEI oder --kml DATEI");
  if (a.command == "config" && a.json && (!a.sets.empty() || !a.deleteMode.empty()))
    throw UsageError("--json zeigt die Konfiguration; mit --set oder --delete nicht möglich");
  return a;
}

std::string HelpText() {
  return R"(Aufruf: morvala-cli BEFEHL [OPTIONEN]

Befehle:
  ports                          die seriellen Schnittstellen, die der Setup-Dialog anbietet
  config [--json]                die Konfiguration des Loggers lesen (wie "Konfiguration lesen")
  config --set NAME=WERT ... [--delete multilog|singlelog --yes]
                                 die Konfiguration ändern und schreiben (wie "Konfiguration festlegen")
  download [-o DATEI.csv|-] [--gpx DATEI] [--kml DATEI] [--dump DATEI] [--no-log]
                                 Konfiguration lesen, dann die Daten einlesen; der Flug
                                 kommt ins Flugbuch (außer mit --no-log)
  flash DATEI.hex [--yes]        neue Firmware über den Bootloader brennen
  convert DATEI.csv --gpx DATEI | --kml DATEI
                                 einen gespeicherten Flug als GPX oder KML schreiben
  log list [--json]              die Flüge im Flugbuch
  log export ID -o DATEI         einen Flug als CSV, GPX oder KML (nach der Endung)
  log import DATEI...            gespeicherte CSV-Dateien (oder Ordner) ins Flugbuch
  log dump ID -o DATEI           die Rohdaten eines Downloads

Optionen:
  --port GERÄT   diese Schnittstelle (38400 Baud, 8N2, ohne Flusssteuerung),
                 sonst die aus logger3.ini ([ComPort1])
  --baud RATE    eine andere Baudrate
  -q             keine Fortschrittsanzeige auf der Standardfehlerausgabe
  --yes          ohne Rückfrage löschen oder brennen
  -h, --help     diese Hilfe

Namen für --set: serialNumber (0..127), sensor (MPX4100, MS5534A), offset (0..255),
  sampleInterval (0,02 0,06 0,26 0,5 1 5) oder sampleRateItem (0..5),
  recordedChannels, telemetryChannels (Liste mit Kommas, z. B. "16-Bit-ADC,GPS"),
  telemetry, telemetry4800 (true, false).

Exit-Status:
  0  Erfolg (ein Download, den das Ausschalten des Loggers beendet, ist das normale Ende)
  1  falscher Aufruf (unbekannter Befehl, Option oder Wert; keine Einstellungen und kein --port)
  2  eine Datei konnte nicht gelesen oder geschrieben werden oder ist nicht, was sie sein muss
  3  kein Logger hat geantwortet, oder die Leitung ist ausgefallen
  4  die Antwort des Loggers war unvollständig, oder der Download brachte keine Daten
  130, 143  abgebrochen mit Strg-C (SIGINT) oder SIGTERM; nichts wurde geschrieben
)";
}

}  // namespace cli
