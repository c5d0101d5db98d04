#include "protocol/bootloader.h"

#include "formats/hexfile.h"
#include "serial/line.h"
#include "serial/portline.h"

namespace firmware {

namespace {

constexpr char kTrigger = 0x21;
constexpr int kTriggerAttempts = 3;
constexpr int kLinePauseMs = 10;

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

std::string HexBaseName(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

FirmwareBox FirmwareOutcomeBox(const FirmwareResult& result) {
  switch (result.outcome) {
    case FirmwareOutcome::Burnt:
      return {true, BoxKind::Information, "neue Firmware erfolgreich gebrannt"};
    case FirmwareOutcome::Cancelled: return {};
    case FirmwareOutcome::FileTooLarge:
      return {true, BoxKind::Error, result.detail + "\rFirmwareupdate nicht möglich"};
    case FirmwareOutcome::BadLine:
      return {true, BoxKind::Error,
              "Zeile " + std::to_string(result.badLine) +
                  " ist kein gültiger HEX-Datensatz\rFirmwareupdate nicht möglich"};
    case FirmwareOutcome::BootloaderSilent:
      return {true, BoxKind::Error, "Bootloader meldet sich nicht\rFirmwareupdate nicht möglich"};
    case FirmwareOutcome::BurnFailed: return {true, BoxKind::Error, "BRENNFEHLER"};
  }
  return {};
}

FirmwareResult RunFirmwareUpdate(TCustomComPort& port, FirmwareObserver& observer,
                                 const std::string& path, int drainLimitMs) {
  PortLine line(port);
  return RunFirmwareUpdate(line, observer, path, drainLimitMs);
}

FirmwareResult RunFirmwareUpdate(SerialLine& line, FirmwareObserver& observer,
                                 const std::string& path, int drainLimitMs) {
  FirmwareResult result;
  const std::string name = HexBaseName(path);

  // 4: read the file once, count, and check that every line is a record before anything
  // goes out; the lines sent later are these bytes, whatever happens to the file.
  HexLineReader file;
  try {
    file.Open(path);
  } catch (const EHexFileTooLarge& e) {
    result.outcome = FirmwareOutcome::FileTooLarge;
    result.detail = e.what();
    return result;
  }
  const HexScan scan = ScanHexFile(file);
  result.lineCount = scan.lines;
  if (scan.badLine != 0) {
    result.outcome = FirmwareOutcome::BadLine;
    result.badLine = scan.badLine;
    return result;
  }

  // 5: confirmation.
  if (!observer.ConfirmBurn("soll " + name + " wirklich in den Logger gebrannt werden?"))
    return result;

  // 6..8: status, progress, log head.
  ReportStatus(observer, clBtnFace, "");
  file.Rewind();
  observer.UpdateStarted(result.lineCount);
  observer.LogLine("Firmwareupdate für Logger mit Bootloader");
  observer.LogLine("neues HEX-File: " + name);
  observer.LogLine("Filelänge: " + std::to_string(result.lineCount) + " Zeilen");
  observer.LogLine(" ");

  // 9, 10: port ready, line silent.
  if (!line.Connected()) line.Open();
  line.Purge(true, true);
  if (!Drain(line, drainLimitMs)) {
    observer.LogLine(kDrainBoundLogLine);
    line.Purge(true, false);
  }

  // 11, 12: wake the bootloader.
  std::string answer;
  for (int attempt = 0; attempt < kTriggerAttempts && answer != "r"; ++attempt) {
    observer.LogLine("triggere Bootloader");
    line.Write(&kTrigger, 1);
    answer = ReceiveOne(line);
    observer.LogLine("Antwort:" + answer);
  }
  if (answer != "r") {
    observer.LogLine("## Bootloader meldet sich nicht");
    result.outcome = FirmwareOutcome::BootloaderSilent;
    return result;
  }

  // 13, 14: the lines.
  observer.LogLine("sende HEX-File zum Logger");
  bool failed = false;
  bool done = false;
  std::string hexLine;
  while (!failed && !done && file.NextLine(hexLine)) {
    observer.HexLineSending(result.linesSent + 1, hexLine);
    if (!hexLine.empty()) line.Write(hexLine.data(), static_cast<int32_t>(hexLine.size()));
    ++result.linesSent;
    answer = ReceiveOne(line);
    observer.LogLine(answer);
    if (answer != "." && answer != "S") failed = true;
    done = answer == "S";
    observer.Pause(kLinePauseMs);
  }

  // 15..17.
  result.outcome = answer == "S" ? FirmwareOutcome::Burnt : FirmwareOutcome::BurnFailed;
  return result;
}

}  // namespace firmware
