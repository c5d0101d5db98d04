// The firmware tests' window side: a tab that records its progress bar and log, and the
// sample HEX file.
#pragma once

#include <algorithm>
#include <string>
#include <vector>

#include "protocol/bootloader.h"
#include "formats/hexfile.h"

class RecordingFirmwareView : public firmware::FirmwareView {
 public:
  void SetProgressMax(int v) override { progressMax = v; }
  void SetProgressPosition(int v) override { position = v; }
  int ProgressPosition() const override { return position; }
  void SetProgressVisible(bool v) override {
    progressVisible = v;
    progressEverShown |= v;
  }
  void ClearLog() override { log.clear(); }
  void AddLogLine(const std::string& s) override { log.push_back(s); }
  void SetLogVisible(bool v) override {
    logVisible = v;
    logEverShown |= v;
  }
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
