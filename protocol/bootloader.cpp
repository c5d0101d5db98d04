#include "protocol/bootloader.h"

#include "formats/hexfile.h"
#include "serial/line.h"
#include "serial/portline.h"

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

// One answer byte, or "" when none came within the answer time-out.
std::string ReceiveOne(SerialLine& line) {
  char byte = 0;
  if (line.ReadDirect(&byte, 1, kUpdateReadTimeoutMs) != 1) return {};
  return std::string(1, byte);
}

// Discards what the logger sends until the line has been silent for one answer
// time-out, but for no longer than limitMs. False when the bound ended it.
bool Drain(SerialLine& line, int limitMs) {
  const int64_t end = line.NowMs() + limitMs;
  while (!ReceiveOne(line).empty()) {
    if (line.NowMs() >= end) return false;
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
  PortLine line(port);
  RunFirmwareUpdate(line, io, view, exportFileName, drainLimitMs);
}

void RunFirmwareUpdate(SerialLine& line, UserIO& io, FirmwareView& view,
                       std::string& exportFileName, int drainLimitMs) {
  // The reader holds the file's bytes; they go with it however the update ends, and the
  // normal end drops them itself before the last box.
  HexLineReader file;
  bool error = false;

  auto finish = [&] {
    file.Close();
    if (error) io.ShowMessage(BoxKind::Error, "BRENNFEHLER");
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
  if (!io.Confirm("soll " + name + " wirklich in den Logger gebrannt werden?")) return finish();

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
  if (!line.Connected()) line.Open();
  line.Purge(true, true);
  if (!Drain(line, drainLimitMs)) {
    view.AddLogLine(kDrainBoundLogLine);
    line.Purge(true, false);
  }

  // 11, 12: wake the bootloader.
  std::string answer;
  for (int attempt = 0; attempt < kTriggerAttempts && answer != "r"; ++attempt) {
    view.AddLogLine("triggere Bootloader");
    line.Write(&kTrigger, 1);
    answer = ReceiveOne(line);
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
  std::string hexLine;
  while (!error && !done && file.NextLine(hexLine)) {
    view.AddLogLine(hexLine);
    view.SetProgressPosition(view.ProgressPosition() + 1);
    if (!hexLine.empty()) line.Write(hexLine.data(), static_cast<int32_t>(hexLine.size()));
    answer = ReceiveOne(line);
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
