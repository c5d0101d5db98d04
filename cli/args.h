// The command line of morvala-cli: the command, its files and the options, checked before
// anything is opened or sent.
#pragma once

#include <optional>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace cli {

// Wrong use: the text says what is wrong, in German (exit status 1).
class UsageError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

struct Args {
  std::string command;              // ports, config, download, flash, convert, log, help, version
  std::vector<std::string> files;   // flash: the HEX file; convert: the CSV file; log: what
                                    // (list, export, import, dump) and its arguments
  std::optional<std::string> port;  // --port DEVICE
  std::optional<int> baud;          // --baud RATE
  bool json = false;                // config --json
  bool quiet = false;               // -q
  bool yes = false;                 // --yes
  bool noLog = false;               // download --no-log
  std::vector<std::pair<std::string, std::string>> sets;  // config --set NAME=VALUE
  std::string deleteMode;                                 // config --delete multilog|singlelog
  std::string out;   // download -o FILE.csv ("-" standard output)
  std::string gpx;   // --gpx FILE
  std::string kml;   // --kml FILE
  std::string dump;  // download --dump FILE
};

// Throws UsageError for an unknown command or option, a missing or bad value, or an option
// the command does not take.
Args ParseArgs(const std::vector<std::string>& argv);

// The text of --help.
std::string HelpText();

}  // namespace cli
