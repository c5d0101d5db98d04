#include "frontend/firmwareflow.h"

#include <optional>

void ChooseAndBurnFirmware(UserIO& io, SerialLine& line, FirmwareFrontEnd& frontEnd,
                           std::string& exportFileName, int drainLimitMs) {
  const std::optional<std::string> chosen = io.OpenFileName(firmware::kHexMask, firmware::kHexMask);
  if (!chosen) return frontEnd.HideProgress();
  io.RepaintWindow();
  exportFileName = *chosen;
  if (exportFileName == firmware::kHexMask) return frontEnd.HideProgress();
  const firmware::FirmwareResult result =
      firmware::RunFirmwareUpdate(line, frontEnd, exportFileName, drainLimitMs);
  const firmware::FirmwareBox box = firmware::FirmwareOutcomeBox(result);
  if (box.shown) io.ShowMessage(box.kind, box.text);
  frontEnd.HideProgress();
}
