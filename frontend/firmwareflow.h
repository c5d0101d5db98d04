// The click on "HEX-File  auswählen" as a front end with dialogs runs it: the file
// dialog, the update, the box that reports its outcome, and the progress put away.
#pragma once

#include <string>

#include "frontend/userio.h"
#include "protocol/bootloader.h"

class SerialLine;

// A front end of the update that asks its questions in a box and can put its progress
// and log away.
class FirmwareFrontEnd : public StatusOnUserIO<firmware::FirmwareObserver> {
 public:
  using StatusOnUserIO::StatusOnUserIO;
  bool ConfirmBurn(const std::string& question) override { return io_.Confirm(question); }
  // The progress and the log go, as every update ends that was not broken off by an error.
  virtual void HideProgress() = 0;
};

// From the file dialog (filter and name "*.hex") to the last box. exportFileName receives
// the dialog's file name; cancelled, or the name left at the mask: nothing happens. An
// exception of the file or the port is passed on with progress and log left as they are,
// so that the error box shows the line that failed; the caller hides them afterwards.
void ChooseAndBurnFirmware(UserIO& io, SerialLine& line, FirmwareFrontEnd& frontEnd,
                           std::string& exportFileName, int drainLimitMs = firmware::kDrainLimitMs);
