// The firmware update of the second tab: an Intel HEX file is checked, confirmed and
// sent line by line to the logger's bootloader, which answers each line with one byte.
//
// Bootloader protocol: trigger 0x21 ("!") -> ready "r"; each HEX line is sent as stored,
// without its line end and without blanks and tabs after its checksum, and answered "."
// (accepted, next line), "S" (programming finished) or anything else / nothing within
// 1000 ms (failure).
#pragma once

#include <string>

#include "frontend/userio.h"

class TCustomComPort;
class SerialLine;

namespace firmware {

// The progress bar ProgressBar1 and the log memo Memo1 of the tab.
class FirmwareView {
 public:
  virtual ~FirmwareView() = default;
  virtual void SetProgressMax(int) = 0;
  virtual void SetProgressPosition(int) = 0;
  virtual int ProgressPosition() const = 0;
  virtual void SetProgressVisible(bool) = 0;
  virtual void ClearLog() = 0;
  virtual void AddLogLine(const std::string&) = 0;
  virtual void SetLogVisible(bool) = 0;
};

// Texts of the exchange.
inline constexpr const char* kTabSheet2Hint =
    "Bootloader Brücke im Logger setzen, danach Logger einschalten";
inline constexpr const char* kDrainBoundLogLine =
    "Logger sendet ununterbrochen - Trigger wird trotzdem gesendet";

// Time-outs of the exchange.
inline constexpr int kUpdateReadTimeoutMs = 1000;  // one answer byte
inline constexpr int kDrainLimitMs = 5000;         // a logger that never falls silent

// The tab is shown: neutral status bar and the hint in panel 1.
void TabSheet2Show(UserIO& io);

// The click on "HEX-File  auswählen", from the file dialog to the last box.
// exportFileName receives the dialog's file name. The answers are read straight from the
// port with their own time-out; the port's read time-outs are left as they are. Whatever
// way it ends, the file is closed. At the normal end the progress bar and log are hidden
// after the last box; an exception of the file or the port is passed on with both left
// as they are, and the caller hides them once it has reported it. drainLimitMs bounds
// the wait for the line to fall silent before the first trigger.
void RunFirmwareUpdate(SerialLine& line, UserIO& io, FirmwareView& view,
                       std::string& exportFileName, int drainLimitMs = kDrainLimitMs);
// The same over the window's port.
void RunFirmwareUpdate(TCustomComPort& port, UserIO& io, FirmwareView& view,
                       std::string& exportFileName, int drainLimitMs = kDrainLimitMs);

}  // namespace firmware
