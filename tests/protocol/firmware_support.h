// The firmware tests' front end: a tab that records its progress bar and log, and the
// sample HEX file.
#pragma once

#include <algorithm>
#include <string>
#include <vector>

#include "frontend/firmwareflow.h"
#include "protocol/bootloader.h"
#include "formats/hexfile.h"

// The tab as the update sees it: the status goes to the recording user, the progress bar
// and the log are recorded.
class RecordingFirmwareView : public FirmwareFrontEnd {
 public:
  using FirmwareFrontEnd::FirmwareFrontEnd;
  void UpdateStarted(int lineCount) override {
    progressMax = lineCount;
    position = 0;
    progressVisible = progressEverShown = true;
    log.clear();
    logVisible = logEverShown = true;
  }
  void LogLine(const std::string& s) override { log.push_back(s); }
  void HexLineSending(int, const std::string& s) override {
    log.push_back(s);
    ++position;
  }
  void HideProgress() override { progressVisible = logVisible = false; }
  int Count(const std::string& line) const {
    return static_cast<int>(std::count(log.begin(), log.end(), line));
  }

  int progressMax = 200, position = 0;
  bool progressVisible = false, logVisible = false;
  bool progressEverShown = false, logEverShown = false;
  std::vector<std::string> log;
};

// The HEX lines of a file as the update reads them.
inline std::vector<std::string> FileLines(const std::string& path) {
  firmware::HexLineReader r(path);
  std::vector<std::string> out;
  std::string line;
  while (r.NextLine(line)) out.push_back(line);
  return out;
}

inline std::string SampleHexPath() {
  return std::string(MORVALA_SOURCE_DIR) + "/data/sample_firmware_crlf.hex";
}
