// Input/output errors of the firmware files, with the German texts the user sees in the
// window's error box.
#pragma once

#include <stdexcept>
#include <string>

namespace firmware {

// "Datei nicht gefunden" (ENOENT), "Dateizugriff verweigert" (EACCES), otherwise
// "E/A-Fehler " followed by the error number.
std::string IoErrorText(int errorNumber);

class EInOutError : public std::runtime_error {
 public:
  explicit EInOutError(int errorNumber)
      : std::runtime_error(IoErrorText(errorNumber)), errorCode_(errorNumber) {}
  int ErrorCode() const { return errorCode_; }

 private:
  int errorCode_;
};

}  // namespace firmware
