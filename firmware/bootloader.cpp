#include "firmware/bootloader.h"

#include <chrono>

#include "firmware/hexfile.h"

namespace firmware {

namespace {

constexpr char kTrigger = 0x21;
constexpr int kTriggerAttempts = 3;
constexpr int kLinePauseMs = 10;
const std::string kMask = "*.hex";

std::string BaseName(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Puts the file and the port back however the update ends: the file closed, the read
// time-out at its usual value. When an error of the file or the port ends it, progress
// bar and log stay as they are, so that the line that failed can be read behind the
// error box; the caller hides them when the box is closed. The normal end does all of
// this in its own order (the last box comes between) and then dismisses the guard.
class UpdateEnd {
 public:
  UpdateEnd(TCustomComPort& port, HexLineReader& file) : port_(port), file_(file) {}
  ~UpdateEnd() {
    if (dismissed_) return;
    file_.Close();
    try {
      port_.Timeouts().SetReadTotalConstant(kNormalReadTimeoutMs);
    } catch (...) {
      // The port failed already; its first error is the one that is reported.
    }
  }
  void Dismiss() { dismissed_ = true; }
  UpdateEnd(const UpdateEnd&) = delete;
  UpdateEnd& operator=(const UpdateEnd&) = delete;

 private:
  TCustomComPort& port_;
  HexLineReader& file_;
  bool dismissed_ = false;
};

std::string ReceiveOne(TCustomComPort& port) {
  std::string answer;
  port.ReceiveText(answer, 1);
  return answer;
}

// Discards what the logger sends until the line has been silent for one read time-out,
// but for no longer than limitMs. False when the bound ended it.
bool Drain(TCustomComPort& port, int limitMs) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(limitMs);
  while (!ReceiveOne(port).empty()) {
    if (std::chrono::steady_clock::now() >= end) return false;
  }
  return true;
}

}  // namespace

void TabSheet2Show(UserIO& io) {
  io.SetStatusColor(clBtnFace);
  io.SetStatusText(1, kTabSheet2Hint);
}

void RunFirmwareUpdate(TCustomComPort& port, UserIO& io, FirmwareView& view,
                       std::string& exportFileName, int drainLimitMs) {
  HexLineReader file;
  UpdateEnd end(port, file);
  bool error = false;

  auto finish = [&] {
    file.Close();                                               // 16
    port.Timeouts().SetReadTotalConstant(kNormalReadTimeoutMs);  // 17
    if (error) io.ShowMessage(BoxKind::Error, "BRENNFEHLER");
    end.Dismiss();
    view.SetProgressVisible(false);
    view.SetLogVisible(false);
  };

  // 1..3: the file.
  const std::optional<std::string> chosen = io.OpenFileName(kMask, kMask);
  if (!chosen) return finish();
  io.RepaintWindow();
  exportFileName = *chosen;
  if (exportFileName == kMask) return finish();
  const std::string name = BaseName(exportFileName);

  // 4: read the file once, count, and check that every line is a record before anything
  // goes out; the lines sent later are these bytes, whatever happens to the file.
  try {
    file.Open(exportFileName);
  } catch (const EHexFileTooLarge& e) {
    io.ShowMessage(BoxKind::Error, std::string(e.what()) + "\rFirmwareupdate nicht möglich");
    return finish();
  }
  const HexScan scan = ScanHexFile(file);
  const int32_t lineCount = scan.lines;
  if (scan.badLine != 0) {
    io.ShowMessage(BoxKind::Error, "Zeile " + std::to_string(scan.badLine) +
                                       " ist kein gültiger HEX-Datensatz\r"
                                       "Firmwareupdate nicht möglich");
    return finish();
  }

  // 5: confirmation.
  if (!io.Confirm("soll " + name + " wirklich in den Logger gebrannt werden?"))
    return finish();

  // 6..8: status bar, progress bar, log head.
  io.SetStatusColor(clBtnFace);
  io.SetStatusText(1, "");
  io.RepaintStatus();
  view.SetProgressMax(lineCount);
  file.Rewind();
  view.SetProgressPosition(0);
  view.SetProgressVisible(true);
  view.ClearLog();
  view.SetLogVisible(true);
  view.AddLogLine("Firmwareupdate für Logger mit Bootloader");
  view.AddLogLine("neues HEX-File: " + name);
  view.AddLogLine("Filelänge: " + std::to_string(lineCount) + " Zeilen");
  view.AddLogLine(" ");

  // 9, 10: port ready, line silent.
  port.Timeouts().SetReadTotalConstant(kUpdateReadTimeoutMs);
  if (!port.Connected()) port.Open();
  port.PurgeQueues(true, true);
  if (!Drain(port, drainLimitMs)) {
    view.AddLogLine(kDrainBoundLogLine);
    port.PurgeQueues(true, false);
  }

  // 11, 12: wake the bootloader.
  std::string answer;
  for (int attempt = 0; attempt < kTriggerAttempts && answer != "r"; ++attempt) {
    view.AddLogLine("triggere Bootloader");
    port.Write(&kTrigger, 1);
    answer = ReceiveOne(port);
    view.AddLogLine("Antwort:" + answer);
  }
  if (answer != "r") {
    view.AddLogLine("## Bootloader meldet sich nicht");
    io.ShowMessage(BoxKind::Error, "Bootloader meldet sich nicht\rFirmwareupdate nicht möglich");
    return finish();
  }

  // 13, 14: the lines.
  view.AddLogLine("sende HEX-File zum Logger");
  bool done = false;
  std::string line;
  while (!error && !done && file.NextLine(line)) {
    view.AddLogLine(line);
    view.SetProgressPosition(view.ProgressPosition() + 1);
    port.SendText(line);
    answer = ReceiveOne(port);
    view.AddLogLine(answer);
    if (answer != "." && answer != "S") error = true;
    done = answer == "S";
    io.SleepMs(kLinePauseMs);
  }

  // 15..17.
  if (answer == "S")
    io.ShowMessage(BoxKind::Information, "neue Firmware erfolgreich gebrannt");
  else
    error = true;
  finish();
}

}  // namespace firmware
